// Transformation matrices, as the Image Compression Manager defines them.
#pragma once

#include <MacTypes.h>

#ifdef __cplusplus
extern "C" {
#endif

// Row-major 3x3: columns 0 and 1 are 16.16 Fixed, column 2 is 2.30 Fract.
// A point maps as x' = m[0][0]x + m[1][0]y + m[2][0], y' = m[0][1]x + m[1][1]y + m[2][1].
typedef struct MatrixRecord {
  Fixed matrix[3][3];
} MatrixRecord;
typedef MatrixRecord* MatrixRecordPtr;

enum {
  identityMatrixType = 0x00,
  translateMatrixType = 0x01,
  scaleMatrixType = 0x02,
  scaleTranslateMatrixType = 0x03,
  linearMatrixType = 0x04,
  linearTranslateMatrixType = 0x05,
  perspectiveMatrixType = 0x06,
};

void SetIdentityMatrix(MatrixRecord* matrix);
void CopyMatrix(const MatrixRecord* m1, MatrixRecord* m2);
Boolean EqualMatrix(const MatrixRecord* m1, const MatrixRecord* m2);
short GetMatrixType(const MatrixRecord* m);
void TranslateMatrix(MatrixRecord* m, Fixed deltaH, Fixed deltaV);
void ScaleMatrix(MatrixRecord* m, Fixed scaleX, Fixed scaleY, Fixed aboutX, Fixed aboutY);
// b := a followed by b.
void ConcatMatrix(const MatrixRecord* a, MatrixRecord* b);
// Both quadrilaterals are four points of two Fixed values (x, y) each.
OSErr QuadToQuadMatrix(const Fixed* source, const Fixed* dest, MatrixRecord* map);
OSErr TransformFixedPoints(const MatrixRecord* m, FixedPoint* fpt, SInt32 count);

#ifdef __cplusplus
}
#endif
