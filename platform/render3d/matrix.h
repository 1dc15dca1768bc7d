#pragma once

#include "platform/render3d/types.h"

namespace zv::platform {

// a * b for row vectors: transforming by the result transforms by a, then b.
Matrix4 Multiply(const Matrix4& a, const Matrix4& b);

// The inverse of an affine matrix; false, leaving `out` as it was, when the
// last column is not (0, 0, 0, 1) within 0.001.
bool InvertAffine(Matrix4& out, const Matrix4& m);

// p x m divided by w; false, leaving `out` as it was, when |w| is below 1e-5.
bool TransformPointProjected(Vector3& out, const Vector3& p, const Matrix4& m);

// The matrix that carries normals along with `m`: the inverse transpose of
// its upper 3x3 block, as rows of three (row vectors again). A block that
// cannot be inverted gives zeros, so its normals light nothing.
struct NormalMatrix {
  float m[3][3] = {};
};
NormalMatrix NormalMatrixOf(const Matrix4& m);

}  // namespace zv::platform
