#pragma once

#include "engine3d/objects/matrix_math.h"

namespace zv {

// Rx(ax) x Ry(ay) x Rz(az), angles in radians.
void RotationFromAngles(Matrix4& out, float ax, float ay, float az);

// The angles (radians, each in 0..2 pi) that turn the view direction +z
// towards the direction from the first point to the second: about y, then
// about x; z is 0.
Vector3f DirectionToAngles(const Vector3f& from, const Vector3f& to);

// Euler angles of the upper 3x3 block (radians) about x, y, z, for the
// order the engine uses (x first, no repetition, even parity, static
// frame).
Vector3f EulerFromMatrix(const Matrix4& m);
// The same in degrees.
Vector3f MatrixToEulerAngles(const Matrix4& m);

// matrix = matrix x R for each of ax, ay, az (degrees) in turn that is not 0,
// R the rotation about x, y and z respectively.
void RotateMatrixByAngles(Matrix4& matrix, float ax, float ay, float az);

}  // namespace zv
