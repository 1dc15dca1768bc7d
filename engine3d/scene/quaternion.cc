#include "engine3d/scene/quaternion.h"

#include <cmath>

namespace zv {

KeyQuaternion QuaternionSlerp(const KeyQuaternion& a, const KeyQuaternion& b, float t) {
  double dot = double{a.w} * b.w + double{a.x} * b.x + double{a.y} * b.y + double{a.z} * b.z;
  // q and -q are the same rotation: go the shorter way round.
  double sign = 1.0;
  if (dot < 0.0) {
    sign = -1.0;
    dot = -dot;
  }
  double from = 1.0 - t, to = t;
  if (1.0 - dot > 0.001) {
    const double theta = std::acos(std::fmin(dot, 1.0));
    const double sine = std::sin(theta);
    from = std::sin(theta * (1.0 - t)) / sine;
    to = std::sin(theta * t) / sine;
  }
  to *= sign;
  return KeyQuaternion{static_cast<float>(from * a.w + to * b.w), static_cast<float>(from * a.x + to * b.x),
                    static_cast<float>(from * a.y + to * b.y), static_cast<float>(from * a.z + to * b.z)};
}

Matrix4 MatrixFromQuaternion(const KeyQuaternion& q) {
  const float w = q.w, x = q.x, y = q.y, z = q.z;
  Matrix4 m = Matrix4::Identity();
  m.m[0][0] = 1.0f - 2.0f * (y * y + z * z);
  m.m[0][1] = 2.0f * (x * y - w * z);
  m.m[0][2] = 2.0f * (x * z + w * y);
  m.m[1][0] = 2.0f * (x * y + w * z);
  m.m[1][1] = 1.0f - 2.0f * (x * x + z * z);
  m.m[1][2] = 2.0f * (y * z - w * x);
  m.m[2][0] = 2.0f * (x * z - w * y);
  m.m[2][1] = 2.0f * (y * z + w * x);
  m.m[2][2] = 1.0f - 2.0f * (x * x + y * y);
  return m;
}

}  // namespace zv
