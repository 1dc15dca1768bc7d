#pragma once

#include <cstdint>

#include "platform/render3d/types.h"

namespace zv {

// The engine's matrices are the device's: 16 floats for row vectors, a
// point p transforms as p x M, the translation in the last row; element
// (i, j) is m[i][j].
using Matrix4 = platform::Matrix4;

using Vector3f = platform::Vector3;

// The result code of the routines that can refuse their input; the output
// is left as it was on failure.
constexpr int32_t kInvalidArgument = static_cast<int32_t>(0x80070057u);

// Degrees to radians as the object, limb and camera transforms convert, and
// back as the queries report.
constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kRadiansToDegrees = 57.29578f;

void SetMatrixIdentity(Matrix4& m);
// out = a x b; out may be a or b.
void MatrixMultiply(Matrix4& out, const Matrix4& a, const Matrix4& b);
Matrix4 operator*(const Matrix4& a, const Matrix4& b);
// The inverse of an affine matrix (last column 0, 0, 0, 1 within 0.001).
int32_t MatrixInvertAffine(Matrix4& out, const Matrix4& m);
// out = (x', y', z') / w'; fails when |w'| < 1e-5.
int32_t TransformPointProject(Vector3f& out, const Vector3f& p, const Matrix4& m);
// The view matrix from eye towards target; up falls back to (0, 1, 0) and
// (0, 0, 1) when it runs along the view.
int32_t BuildLookAtMatrix(Matrix4& out, const Vector3f& eye, const Vector3f& target, const Vector3f& up);
int32_t BuildProjectionMatrix(Matrix4& out, float fov, float aspect, float near_range, float far_range);
void MatrixRotationX(Matrix4& out, float angle);
void MatrixRotationY(Matrix4& out, float angle);
void MatrixRotationZ(Matrix4& out, float angle);
void MatrixTranslation(Matrix4& out, float x, float y, float z);
void MatrixScaling(Matrix4& out, float x, float y, float z);

double VectorLength(const Vector3f& v);
double VectorDot(const Vector3f& a, const Vector3f& b);
void VectorCross(Vector3f& out, const Vector3f& a, const Vector3f& b);

// Any finite angle brought into [0, 360); NaN and infinities give 0.
float WrapAngle(float angle);

}  // namespace zv
