#include "engine3d/scene/rotation.h"

#include <cfloat>
#include <cmath>

namespace zv {
namespace {

constexpr float kFullTurn = 6.2831855f;

// Into [0, 2 pi) by one turn at most.
float OneTurnIntoRange(float angle) {
  if (angle < 0.0f) angle += kFullTurn;
  if (angle >= kFullTurn) angle -= kFullTurn;
  return angle;
}

}  // namespace

void RotationFromAngles(Matrix4& out, float ax, float ay, float az) {
  Matrix4 x, y, z;
  MatrixRotationX(x, ax);
  MatrixRotationY(y, ay);
  MatrixRotationZ(z, az);
  out = x * y * z;
}

Vector3f DirectionToAngles(const Vector3f& from, const Vector3f& to) {
  const Vector3f d{to.x - from.x, to.y - from.y, to.z - from.z};
  const float ay = OneTurnIntoRange(std::atan2(d.x, d.z));
  Matrix4 back;
  MatrixRotationY(back, -ay);
  const float turned_y = d.x * back.m[0][1] + d.y * back.m[1][1] + d.z * back.m[2][1];
  const float turned_z = d.x * back.m[0][2] + d.y * back.m[1][2] + d.z * back.m[2][2];
  const float ax = OneTurnIntoRange(-std::atan2(turned_y, turned_z));
  return Vector3f{ax, ay, 0.0f};
}

Vector3f EulerFromMatrix(const Matrix4& m) {
  const auto& a = m.m;
  const double cy = std::sqrt(static_cast<double>(a[0][0]) * a[0][0] + static_cast<double>(a[1][0]) * a[1][0]);
  if (cy > 16 * FLT_EPSILON) {
    return Vector3f{static_cast<float>(std::atan2(a[2][1], a[2][2])), static_cast<float>(std::atan2(-a[2][0], cy)),
                    static_cast<float>(std::atan2(a[1][0], a[0][0]))};
  }
  return Vector3f{static_cast<float>(std::atan2(-a[1][2], a[1][1])), static_cast<float>(std::atan2(-a[2][0], cy)),
                  0.0f};
}

Vector3f MatrixToEulerAngles(const Matrix4& m) {
  Matrix4 upper;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) upper.m[r][c] = m.m[r][c];
  const Vector3f e = EulerFromMatrix(upper);
  return Vector3f{e.x * kRadiansToDegrees, e.y * kRadiansToDegrees, e.z * kRadiansToDegrees};
}

void RotateMatrixByAngles(Matrix4& matrix, float ax, float ay, float az) {
  Matrix4 r;
  if (ax != 0.0f) {
    MatrixRotationX(r, ax * kDegreesToRadians);
    matrix = matrix * r;
  }
  if (ay != 0.0f) {
    MatrixRotationY(r, ay * kDegreesToRadians);
    matrix = matrix * r;
  }
  if (az != 0.0f) {
    MatrixRotationZ(r, az * kDegreesToRadians);
    matrix = matrix * r;
  }
}

}  // namespace zv
