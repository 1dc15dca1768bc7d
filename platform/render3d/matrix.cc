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

bool InvertAffine(Matrix4& out, const Matrix4& m) {
  const auto& a = m.m;
  if (std::fabs(a[3][3] - 1.0f) > 0.001f || std::fabs(a[0][3]) > 0.001f || std::fabs(a[1][3]) > 0.001f ||
      std::fabs(a[2][3]) > 0.001f)
    return false;
  const float d = 1.0f / (a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                          a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                          a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]));
  Matrix4 r;
  auto& o = r.m;
  o[0][0] = d * (a[1][1] * a[2][2] - a[1][2] * a[2][1]);
  o[0][1] = -d * (a[0][1] * a[2][2] - a[0][2] * a[2][1]);
  o[0][2] = d * (a[0][1] * a[1][2] - a[0][2] * a[1][1]);
  o[1][0] = -d * (a[1][0] * a[2][2] - a[1][2] * a[2][0]);
  o[1][1] = d * (a[0][0] * a[2][2] - a[0][2] * a[2][0]);
  o[1][2] = -d * (a[0][0] * a[1][2] - a[0][2] * a[1][0]);
  o[2][0] = d * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  o[2][1] = -d * (a[0][0] * a[2][1] - a[0][1] * a[2][0]);
  o[2][2] = d * (a[0][0] * a[1][1] - a[0][1] * a[1][0]);
  for (int j = 0; j < 3; ++j) o[3][j] = -(a[3][0] * o[0][j] + a[3][1] * o[1][j] + a[3][2] * o[2][j]);
  o[3][3] = 1.0f;
  out = r;
  return true;
}

bool TransformPointProjected(Vector3& out, const Vector3& p, const Matrix4& m) {
  const auto& a = m.m;
  const float x = p.x * a[0][0] + p.y * a[1][0] + p.z * a[2][0] + a[3][0];
  const float y = p.x * a[0][1] + p.y * a[1][1] + p.z * a[2][1] + a[3][1];
  const float z = p.x * a[0][2] + p.y * a[1][2] + p.z * a[2][2] + a[3][2];
  const float w = p.x * a[0][3] + p.y * a[1][3] + p.z * a[2][3] + a[3][3];
  if (!(std::fabs(w) >= 1e-5f)) return false;
  out = Vector3{x / w, y / w, z / w};
  return true;
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
