#include "collision/matrix3.h"

#include <cmath>

namespace zv {

Matrix3 MakeMatrix3(double a00, double a01, double a02, double a10, double a11, double a12,
                    double a20, double a21, double a22) {
  Matrix3 r;
  r.m[0][0] = a00;
  r.m[0][1] = a01;
  r.m[0][2] = a02;
  r.m[1][0] = a10;
  r.m[1][1] = a11;
  r.m[1][2] = a12;
  r.m[2][0] = a20;
  r.m[2][1] = a21;
  r.m[2][2] = a22;
  return r;
}

double Determinant(const Matrix3& a) {
  const auto& m = a.m;
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) +
         m[0][1] * (m[1][2] * m[2][0] - m[1][0] * m[2][2]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

Matrix3 InvertMatrix3(const Matrix3& a) {
  const auto& m = a.m;
  const double co00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
  const double co01 = m[1][2] * m[2][0] - m[1][0] * m[2][2];
  const double co02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
  const double s = 1.0 / (m[0][0] * co00 + m[0][1] * co01 + m[0][2] * co02);
  return MakeMatrix3(co00 * s, (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * s,
                     (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * s,  //
                     co01 * s, (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * s,
                     (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * s,  //
                     co02 * s, (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * s,
                     (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * s);
}

Matrix3 MultiplyMatrix3(const Matrix3& a, const Matrix3& b) {
  Matrix3 r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    }
  }
  return r;
}

Matrix3 MultiplyTransposedMatrix3(const Matrix3& a, const Matrix3& b) {
  Matrix3 r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      r.m[i][j] = a.m[0][i] * b.m[0][j] + a.m[1][i] * b.m[1][j] + a.m[2][i] * b.m[2][j];
    }
  }
  return r;
}

Matrix3 Transpose(const Matrix3& a) {
  Matrix3 r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[j][i];
  }
  return r;
}

Matrix3 AbsMatrix3(const Matrix3& a) {
  Matrix3 r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r.m[i][j] = std::fabs(a.m[i][j]);
  }
  return r;
}

}  // namespace zv
