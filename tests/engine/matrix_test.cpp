// Matrix calls: exact rectangle maps, degenerate quadrilaterals, scaling and translation.
#include "engine_support.h"

using namespace enginetest;

namespace {

std::vector<Fixed> rect(int left, int top, int right, int bottom) {
  return {left << 16, top << 16, right << 16, top << 16, right << 16, bottom << 16, left << 16, bottom << 16};
}

TEST(Matrices, RectangleToRectangleIsExact) {
  MatrixRecord m;
  auto src = rect(0, 0, 320, 240), dst = rect(10, 20, 170, 140);
  ASSERT_EQ(QuadToQuadMatrix(src.data(), dst.data(), &m), noErr);
  EXPECT_EQ(m.matrix[0][0], 0x8000);
  EXPECT_EQ(m.matrix[1][1], 0x8000);
  EXPECT_EQ(m.matrix[2][0], 10 << 16);
  EXPECT_EQ(m.matrix[2][1], 20 << 16);
  EXPECT_EQ(m.matrix[2][2], 0x40000000);
  EXPECT_EQ(m.matrix[0][1] | m.matrix[1][0] | m.matrix[0][2] | m.matrix[1][2], 0);

  // The plugin's 16-bit wrap gives a right edge left of the left one: a mirror.
  auto wrapped = rect(0, 0, -25536, 10);
  ASSERT_EQ(QuadToQuadMatrix(src.data(), wrapped.data(), &m), noErr);
  FixedPoint corner{320 << 16, 240 << 16};
  ASSERT_EQ(TransformFixedPoints(&m, &corner, 1), noErr);
  // Scales such as -79.8 have no exact 16.16 form; the corner lands within 1/64 pixel.
  EXPECT_NEAR(corner.x, -25536 * 65536.0, 1024);
  EXPECT_NEAR(corner.y, 10 << 16, 1024);
}

TEST(Matrices, DegenerateSourcesGiveAnErrorAndNoMatrix) {
  MatrixRecord m;
  SetIdentityMatrix(&m);
  TranslateMatrix(&m, 3 << 16, 0);
  MatrixRecord before = m;
  auto flat = rect(0, 0, 0, 240), dst = rect(0, 0, 100, 100);
  EXPECT_EQ(QuadToQuadMatrix(flat.data(), dst.data(), &m), paramErr);
  EXPECT_TRUE(EqualMatrix(&m, &before));
  std::vector<Fixed> line = {0, 0, 1 << 16, 1 << 16, 2 << 16, 2 << 16, 3 << 16, 3 << 16};
  EXPECT_EQ(QuadToQuadMatrix(line.data(), dst.data(), &m), paramErr);
  EXPECT_TRUE(EqualMatrix(&m, &before));
}

TEST(Matrices, GeneralQuadrilateralsMapTheirCorners) {
  MatrixRecord m;
  auto src = rect(0, 0, 100, 100);
  std::vector<Fixed> dst = {0, 0, 200 << 16, 20 << 16, 180 << 16, 150 << 16, 10 << 16, 100 << 16};
  ASSERT_EQ(QuadToQuadMatrix(src.data(), dst.data(), &m), noErr);
  EXPECT_EQ(GetMatrixType(&m), perspectiveMatrixType);
  FixedPoint p[4] = {{0, 0}, {100 << 16, 0}, {100 << 16, 100 << 16}, {0, 100 << 16}};
  ASSERT_EQ(TransformFixedPoints(&m, p, 4), noErr);
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(p[i].x, dst[2 * i], 256) << i;
    EXPECT_NEAR(p[i].y, dst[2 * i + 1], 256) << i;
  }
}

TEST(Matrices, ScaleAboutAPointThenTranslate) {
  MatrixRecord m;
  SetIdentityMatrix(&m);
  ScaleMatrix(&m, 2 << 16, 3 << 16, 10 << 16, 10 << 16);
  FixedPoint p{10 << 16, 20 << 16};
  TransformFixedPoints(&m, &p, 1);
  EXPECT_EQ(p.x, 10 << 16);  // the centre stays
  EXPECT_EQ(p.y, 40 << 16);
  TranslateMatrix(&m, 1 << 16, -(1 << 16));
  EXPECT_EQ(GetMatrixType(&m), scaleTranslateMatrixType);
  EXPECT_EQ(m.matrix[2][0], -(10 << 16) + (1 << 16));
  EXPECT_EQ(m.matrix[2][1], -(20 << 16) - (1 << 16));
}

}  // namespace
