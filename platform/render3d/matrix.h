#pragma once

#include "platform/render3d/types.h"

namespace zv::platform {

// a * b for row vectors: transforming by the result transforms by a, then b.
Matrix4 Multiply(const Matrix4& a, const Matrix4& b);

// The matrix that carries normals along with `m`: the inverse transpose of
// its upper 3x3 block, as rows of three (row vectors again). A block that
// cannot be inverted gives zeros, so its normals light nothing.
struct NormalMatrix {
  float m[3][3] = {};
};
NormalMatrix NormalMatrixOf(const Matrix4& m);

}  // namespace zv::platform
