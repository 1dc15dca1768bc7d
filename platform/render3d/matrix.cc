#include "platform/render3d/matrix.h"

#include <cmath>

namespace zv::platform {

Matrix4 Matrix4::Identity() {
  Matrix4 r;
  for (int i = 0; i < 4; ++i) r.m[i][i] = 1.0f;
  return r;
}

Matrix4 Multiply(const Matrix4& a, const Matrix4& b) {
  Matrix4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                  a.m[i][3] * b.m[3][j];
  return r;
}

NormalMatrix NormalMatrixOf(const Matrix4& m) {
  const auto& a = m.m;
  // Cofactors of the 3x3 block; the inverse transpose is cofactor / det.
  float c[3][3] = {
      {a[1][1] * a[2][2] - a[1][2] * a[2][1], a[1][2] * a[2][0] - a[1][0] * a[2][2],
       a[1][0] * a[2][1] - a[1][1] * a[2][0]},
      {a[0][2] * a[2][1] - a[0][1] * a[2][2], a[0][0] * a[2][2] - a[0][2] * a[2][0],
       a[0][1] * a[2][0] - a[0][0] * a[2][1]},
      {a[0][1] * a[1][2] - a[0][2] * a[1][1], a[0][2] * a[1][0] - a[0][0] * a[1][2],
       a[0][0] * a[1][1] - a[0][1] * a[1][0]},
  };
  float det = a[0][0] * c[0][0] + a[0][1] * c[0][1] + a[0][2] * c[0][2];
  NormalMatrix n;
  if (det == 0.0f || !std::isfinite(det)) return n;
  float inv = 1.0f / det;
  // A normal n (row) maps to n * (M^-1)^T; with M^-1 = adj / det and
  // adj = C^T, (M^-1)^T = C / det: row i of the result is row i of C.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) n.m[i][j] = c[i][j] * inv;
  return n;
}

}  // namespace zv::platform
