#pragma once

#include "engine3d/objects/matrix_math.h"

namespace zv {

// A rotation as the model files store it: the scalar w first, then x, y, z.
// Nothing here normalises: a key is used as the file wrote it.
struct KeyQuaternion {
  float w = 0, x = 0, y = 0, z = 0;
  friend bool operator==(const KeyQuaternion&, const KeyQuaternion&) = default;
};

// The spherical interpolation from `a` (t = 0) to `b` (t = 1) along the
// shorter arc; nearly equal rotations are blended linearly, where the arc's
// sine would be too small to divide by.
KeyQuaternion QuaternionSlerp(const KeyQuaternion& a, const KeyQuaternion& b, float t);

// The rotation matrix of the quaternion for row vectors (p' = p x M), in
// the model files' sense: the matrix that turns a frame as its rotation key
// says. The last row and column are those of the identity.
Matrix4 MatrixFromQuaternion(const KeyQuaternion& q);

}  // namespace zv
