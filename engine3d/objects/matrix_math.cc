#include "engine3d/objects/matrix_math.h"

#include "platform/render3d/matrix.h"

#include <cmath>

namespace zv {

void SetMatrixIdentity(Matrix4& m) { m = Matrix4::Identity(); }

void MatrixMultiply(Matrix4& out, const Matrix4& a, const Matrix4& b) {
  Matrix4 product;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += a.m[i][k] * b.m[k][j];
      product.m[i][j] = sum;
    }
  out = product;
}

Matrix4 operator*(const Matrix4& a, const Matrix4& b) {
  Matrix4 out;
  MatrixMultiply(out, a, b);
  return out;
}

int32_t MatrixInvertAffine(Matrix4& out, const Matrix4& m) {
  return platform::InvertAffine(out, m) ? 0 : kInvalidArgument;
}

int32_t TransformPointProject(Vector3f& out, const Vector3f& p, const Matrix4& m) {
  return platform::TransformPointProjected(out, p, m) ? 0 : kInvalidArgument;
}

namespace {

Vector3f Sub(const Vector3f& a, const Vector3f& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vector3f Scale(const Vector3f& v, double s) {
  return {static_cast<float>(v.x * s), static_cast<float>(v.y * s), static_cast<float>(v.z * s)};
}

// up minus its part along the view; empty when nothing is left.
bool Perpendicular(Vector3f& u, const Vector3f& up, const Vector3f& view) {
  u = Sub(up, Scale(view, VectorDot(up, view)));
  return VectorLength(u) >= 1e-6;
}

}  // namespace

int32_t BuildLookAtMatrix(Matrix4& out, const Vector3f& eye, const Vector3f& target, const Vector3f& up) {
  Vector3f view = Sub(target, eye);
  const double length = VectorLength(view);
  if (length < 1e-6) return kInvalidArgument;
  view = Scale(view, 1.0 / length);
  Vector3f u;
  if (!Perpendicular(u, up, view) && !Perpendicular(u, Vector3f{0, 1, 0}, view) &&
      !Perpendicular(u, Vector3f{0, 0, 1}, view))
    return kInvalidArgument;
  u = Scale(u, 1.0 / VectorLength(u));
  Vector3f right;
  VectorCross(right, u, view);
  Matrix4 r = Matrix4::Identity();
  const Vector3f* columns[3] = {&right, &u, &view};
  for (int c = 0; c < 3; ++c) {
    r.m[0][c] = columns[c]->x;
    r.m[1][c] = columns[c]->y;
    r.m[2][c] = columns[c]->z;
    r.m[3][c] = static_cast<float>(-VectorDot(eye, *columns[c]));
  }
  out = r;
  return 0;
}

int32_t BuildProjectionMatrix(Matrix4& out, float fov, float aspect, float near_range, float far_range) {
  if (!(std::fabs(far_range - near_range) >= 0.01f)) return kInvalidArgument;
  const float s = std::sin(fov / 2);
  if (!(std::fabs(s) >= 0.01f)) return kInvalidArgument;
  const float w = std::cos(fov / 2) / s, q = far_range / (far_range - near_range);
  Matrix4 r;
  r.m[0][0] = aspect * w;
  r.m[1][1] = w;
  r.m[2][2] = q;
  r.m[2][3] = 1.0f;
  r.m[3][2] = -q * near_range;
  out = r;
  return 0;
}

void MatrixRotationX(Matrix4& out, float angle) {
  out = Matrix4::Identity();
  const float c = std::cos(angle), s = std::sin(angle);
  out.m[1][1] = c;
  out.m[1][2] = s;
  out.m[2][1] = -s;
  out.m[2][2] = c;
}

void MatrixRotationY(Matrix4& out, float angle) {
  out = Matrix4::Identity();
  const float c = std::cos(angle), s = std::sin(angle);
  out.m[0][0] = c;
  out.m[0][2] = -s;
  out.m[2][0] = s;
  out.m[2][2] = c;
}

void MatrixRotationZ(Matrix4& out, float angle) {
  out = Matrix4::Identity();
  const float c = std::cos(angle), s = std::sin(angle);
  out.m[0][0] = c;
  out.m[0][1] = s;
  out.m[1][0] = -s;
  out.m[1][1] = c;
}

void MatrixTranslation(Matrix4& out, float x, float y, float z) {
  out = Matrix4::Identity();
  out.m[3][0] = x;
  out.m[3][1] = y;
  out.m[3][2] = z;
}

void MatrixScaling(Matrix4& out, float x, float y, float z) {
  out = Matrix4::Identity();
  out.m[0][0] = x;
  out.m[1][1] = y;
  out.m[2][2] = z;
}

double VectorLength(const Vector3f& v) {
  return std::sqrt(static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y +
                   static_cast<double>(v.z) * v.z);
}

double VectorDot(const Vector3f& a, const Vector3f& b) {
  return static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y + static_cast<double>(a.z) * b.z;
}

void VectorCross(Vector3f& out, const Vector3f& a, const Vector3f& b) {
  out = Vector3f{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float WrapAngle(float angle) {
  // -0 (as fmod leaves a whole negative turn) would print as "-0".
  if (!std::isfinite(angle) || angle == 0.0f) return 0.0f;
  if (angle > 0.0f && angle < 360.0f) return angle;
  float wrapped = std::fmod(angle, 360.0f);
  if (wrapped < 0.0f) wrapped += 360.0f;
  // A tiny negative remainder rounds up to 360 when added.
  return wrapped >= 360.0f || wrapped == 0.0f ? 0.0f : wrapped;
}

}  // namespace zv
