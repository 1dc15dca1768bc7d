#pragma once

#include "collision/vector3.h"

namespace zv {

// A 3x3 matrix stored row by row; m[i][j] is row i, column j.
struct Matrix3 {
  double m[3][3] = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
};

Matrix3 MakeMatrix3(double a00, double a01, double a02, double a10, double a11, double a12,
                    double a20, double a21, double a22);

double Determinant(const Matrix3& a);
// The adjugate over the determinant. A singular matrix gives infinite or NaN
// elements; callers that cannot accept that check the determinant first.
Matrix3 InvertMatrix3(const Matrix3& a);
Matrix3 MultiplyMatrix3(const Matrix3& a, const Matrix3& b);
// a transposed times b.
Matrix3 MultiplyTransposedMatrix3(const Matrix3& a, const Matrix3& b);
Matrix3 Transpose(const Matrix3& a);
Matrix3 AbsMatrix3(const Matrix3& a);

// a times the column vector v.
inline Vector3 Multiply(const Matrix3& a, const Vector3& v) {
  return {a.m[0][0] * v.x + a.m[0][1] * v.y + a.m[0][2] * v.z,
          a.m[1][0] * v.x + a.m[1][1] * v.y + a.m[1][2] * v.z,
          a.m[2][0] * v.x + a.m[2][1] * v.y + a.m[2][2] * v.z};
}

// Column i of a dotted with v: component i of a transposed times v.
inline double DotColumn(const Matrix3& a, int i, const Vector3& v) {
  return a.m[0][i] * v.x + a.m[1][i] * v.y + a.m[2][i] * v.z;
}

// a transposed times v. Turning a world direction into a shape's frame goes
// through the transpose, which is right for support mappings even when the
// basis scales or shears.
inline Vector3 MultiplyTransposed(const Matrix3& a, const Vector3& v) {
  return {DotColumn(a, 0, v), DotColumn(a, 1, v), DotColumn(a, 2, v)};
}

// Row i of a dotted with v.
inline double DotRow(const Matrix3& a, int i, const Vector3& v) {
  return a.m[i][0] * v.x + a.m[i][1] * v.y + a.m[i][2] * v.z;
}

inline Vector3 Row(const Matrix3& a, int i) { return {a.m[i][0], a.m[i][1], a.m[i][2]}; }

}  // namespace zv
