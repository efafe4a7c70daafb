// Matrix arithmetic. Affine matrices (the common case) are handled in exact
// fixed point; perspective ones in long double, rounded once at the end.
#include "api_using.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <cstring>

namespace {

using Real = long double;
using M3 = Real[3][3];

constexpr Real kFixed = 65536.0L;
constexpr Real kFract = 1073741824.0L;

void toReal(const MatrixRecord& m, M3 out) {
  for (int r = 0; r < 3; ++r) {
    out[r][0] = m.matrix[r][0] / kFixed;
    out[r][1] = m.matrix[r][1] / kFixed;
    out[r][2] = m.matrix[r][2] / kFract;
  }
}

Fixed roundTo(Real v, Real unit) {
  Real scaled = std::nearbyint(v * unit);
  if (scaled > INT32_MAX) return INT32_MAX;
  if (scaled < INT32_MIN) return INT32_MIN;
  return static_cast<Fixed>(scaled);
}

void fromReal(const M3 in, MatrixRecord& m) {
  for (int r = 0; r < 3; ++r) {
    m.matrix[r][0] = roundTo(in[r][0], kFixed);
    m.matrix[r][1] = roundTo(in[r][1], kFixed);
    m.matrix[r][2] = roundTo(in[r][2], kFract);
  }
}

// out = a * b (row vectors: a point goes through a first).
void multiply(const M3 a, const M3 b, M3 out) {
  M3 t;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) t[r][c] = a[r][0] * b[0][c] + a[r][1] * b[1][c] + a[r][2] * b[2][c];
  std::memcpy(out, t, sizeof t);
}

// The projective map taking the unit square's corners (0,0) (1,0) (1,1) (0,1) to
// the quadrilateral's four points; false when they are degenerate.
bool squareToQuad(const Fixed* q, M3 out) {
  Real x0 = q[0] / kFixed, y0 = q[1] / kFixed, x1 = q[2] / kFixed, y1 = q[3] / kFixed;
  Real x2 = q[4] / kFixed, y2 = q[5] / kFixed, x3 = q[6] / kFixed, y3 = q[7] / kFixed;
  Real sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
  Real a, b, c, d, g, h;
  if (sx == 0 && sy == 0) {
    a = x1 - x0; b = y1 - y0; c = x2 - x1; d = y2 - y1; g = 0; h = 0;
  } else {
    Real dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
    Real det = dx1 * dy2 - dx2 * dy1;
    if (det == 0) return false;
    g = (sx * dy2 - dx2 * sy) / det;
    h = (dx1 * sy - sx * dy1) / det;
    a = x1 - x0 + g * x1; b = y1 - y0 + g * y1;
    c = x3 - x0 + h * x3; d = y3 - y0 + h * y3;
  }
  M3 m = {{a, b, g}, {c, d, h}, {x0, y0, 1}};
  // Degenerate when the linear part collapses the square to a line or point.
  Real det3 = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
              m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (det3 == 0) return false;
  std::memcpy(out, m, sizeof m);
  return true;
}

bool invert(const M3 m, M3 out) {
  Real det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
             m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (det == 0) return false;
  out[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
  out[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
  out[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
  out[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
  out[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
  out[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
  out[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
  out[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
  out[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
  return true;
}

// "[x,y; x,y; x,y; x,y]" in pixels, for the call log.
std::string quadText(const Fixed* q) {
  if (!q) return "NULL";
  std::string s = "[";
  for (int i = 0; i < 4; ++i) {
    if (i) s += "; ";
    for (int k = 0; k < 2; ++k) {
      if (k) s += ',';
      char buf[32];
      auto r = std::to_chars(buf, buf + sizeof buf, double(q[2 * i + k]) / 65536.0);
      s.append(buf, r.ptr);
    }
  }
  return s + "]";
}

bool isAffine(const MatrixRecord& m) { return m.matrix[0][2] == 0 && m.matrix[1][2] == 0 && m.matrix[2][2] == 0x40000000; }

Fixed saturate(int64_t v) { return static_cast<Fixed>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

extern "C" {

void SetIdentityMatrix(MatrixRecord* matrix) {
  if (!matrix) return;
  std::memset(matrix, 0, sizeof *matrix);
  matrix->matrix[0][0] = kFixedOne;
  matrix->matrix[1][1] = kFixedOne;
  matrix->matrix[2][2] = 0x40000000;
}

void CopyMatrix(const MatrixRecord* m1, MatrixRecord* m2) {
  if (m1 && m2) *m2 = *m1;
}

Boolean EqualMatrix(const MatrixRecord* m1, const MatrixRecord* m2) {
  return m1 && m2 && std::memcmp(m1, m2, sizeof *m1) == 0;
}

short GetMatrixType(const MatrixRecord* m) {
  if (!m) return identityMatrixType;
  if (!isAffine(*m)) return perspectiveMatrixType;
  short type = identityMatrixType;
  if (m->matrix[2][0] || m->matrix[2][1]) type |= translateMatrixType;
  if (m->matrix[0][1] || m->matrix[1][0]) return static_cast<short>(type | linearMatrixType);
  if (m->matrix[0][0] != kFixedOne || m->matrix[1][1] != kFixedOne) type |= scaleMatrixType;
  return type;
}

void TranslateMatrix(MatrixRecord* m, Fixed deltaH, Fixed deltaV) {
  if (!m) return;
  if (isAffine(*m)) {
    m->matrix[2][0] = saturate(int64_t(m->matrix[2][0]) + deltaH);
    m->matrix[2][1] = saturate(int64_t(m->matrix[2][1]) + deltaV);
    return;
  }
  MatrixRecord t;
  SetIdentityMatrix(&t);
  t.matrix[2][0] = deltaH;
  t.matrix[2][1] = deltaV;
  ConcatMatrix(m, &t);
  *m = t;
}

void ScaleMatrix(MatrixRecord* m, Fixed scaleX, Fixed scaleY, Fixed aboutX, Fixed aboutY) {
  if (!m) return;
  // Scaling about a point: move it to the origin, scale, move it back.
  MatrixRecord s;
  SetIdentityMatrix(&s);
  s.matrix[0][0] = scaleX;
  s.matrix[1][1] = scaleY;
  s.matrix[2][0] = saturate(int64_t(aboutX) - ((int64_t(aboutX) * scaleX) >> 16));
  s.matrix[2][1] = saturate(int64_t(aboutY) - ((int64_t(aboutY) * scaleY) >> 16));
  ConcatMatrix(m, &s);
  *m = s;
}

void ConcatMatrix(const MatrixRecord* a, MatrixRecord* b) {
  if (!a || !b) return;
  if (isAffine(*a) && isAffine(*b)) {
    // Exact 16.16 products, rounded to nearest.
    auto mul = [](int64_t x, int64_t y) { return x * y; };
    MatrixRecord r;
    SetIdentityMatrix(&r);
    for (int row = 0; row < 3; ++row)
      for (int col = 0; col < 2; ++col) {
        int64_t sum = mul(a->matrix[row][0], b->matrix[0][col]) + mul(a->matrix[row][1], b->matrix[1][col]);
        int64_t rounded = (sum + (int64_t(1) << 15)) >> 16;
        if (row == 2) rounded += b->matrix[2][col];
        r.matrix[row][col] = saturate(rounded);
      }
    *b = r;
    return;
  }
  M3 ra, rb, out;
  toReal(*a, ra);
  toReal(*b, rb);
  multiply(ra, rb, out);
  fromReal(out, *b);
}

OSErr QuadToQuadMatrix(const Fixed* source, const Fixed* dest, MatrixRecord* map) {
  // An image compression call: it answers with its result and leaves the
  // movies error alone.
  QTE_CALL_QUIET("QuadToQuadMatrix", a_.raw("source", quadText(source)).raw("dest", quadText(dest))) {
    if (!source || !dest || !map) return paramErr;
    // Rectangle to rectangle, the common request, is an exact scale and translation.
    auto isRect = [](const Fixed* q) {
      return q[1] == q[3] && q[2] == q[4] && q[5] == q[7] && q[6] == q[0];
    };
    if (isRect(source) && isRect(dest)) {
      int64_t sw = int64_t(source[2]) - source[0], sh = int64_t(source[5]) - source[1];
      if (sw == 0 || sh == 0) return paramErr;
      int64_t dw = int64_t(dest[2]) - dest[0], dh = int64_t(dest[5]) - dest[1];
      auto ratio = [](int64_t n, int64_t d) {
        __int128 v = (__int128)n * 65536;
        __int128 q = v / d, r = v % d;
        if (2 * (r < 0 ? -r : r) >= (d < 0 ? -d : d)) q += ((v < 0) != (d < 0)) ? -1 : 1;
        return q;
      };
      __int128 sx = ratio(dw, sw), sy = ratio(dh, sh);
      __int128 tx = dest[0] - ((__int128)source[0] * sx) / 65536;
      __int128 ty = dest[1] - ((__int128)source[1] * sy) / 65536;
      auto fits = [](__int128 v) { return v >= INT32_MIN && v <= INT32_MAX; };
      if (!fits(sx) || !fits(sy) || !fits(tx) || !fits(ty)) return paramErr;
      SetIdentityMatrix(map);
      map->matrix[0][0] = static_cast<Fixed>(sx);
      map->matrix[1][1] = static_cast<Fixed>(sy);
      map->matrix[2][0] = static_cast<Fixed>(tx);
      map->matrix[2][1] = static_cast<Fixed>(ty);
      return noErr;
    }
    M3 toSource, toDest, fromSource, result;
    if (!squareToQuad(source, toSource) || !squareToQuad(dest, toDest) || !invert(toSource, fromSource))
      return paramErr;
    multiply(fromSource, toDest, result);
    if (result[2][2] == 0) return paramErr;
    Real w = result[2][2];
    for (auto& row : result)
      for (Real& v : row) v /= w;
    fromReal(result, *map);
    return noErr;
  };
}

OSErr TransformFixedPoints(const MatrixRecord* m, FixedPoint* fpt, SInt32 count) {
  if (!m || (!fpt && count > 0) || count < 0) return paramErr;
  M3 r;
  toReal(*m, r);
  for (SInt32 i = 0; i < count; ++i) {
    Real x = fpt[i].x / kFixed, y = fpt[i].y / kFixed;
    Real w = x * r[0][2] + y * r[1][2] + r[2][2];
    if (w == 0) return paramErr;
    fpt[i].x = roundTo((x * r[0][0] + y * r[1][0] + r[2][0]) / w, kFixed);
    fpt[i].y = roundTo((x * r[0][1] + y * r[1][1] + r[2][1]) / w, kFixed);
  }
  return noErr;
}

}  // extern "C"
