#pragma once

#include <cmath>

namespace zv {

// A point or a direction in double precision. The library uses it for both and
// never normalises implicitly.
struct Vector3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  double operator[](int axis) const { return axis == 0 ? x : axis == 1 ? y : z; }
  double& operator[](int axis) { return axis == 0 ? x : axis == 1 ? y : z; }

  Vector3& operator+=(const Vector3& o) {
    x += o.x;
    y += o.y;
    z += o.z;
    return *this;
  }
  Vector3& operator-=(const Vector3& o) {
    x -= o.x;
    y -= o.y;
    z -= o.z;
    return *this;
  }
  Vector3& operator*=(double s) {
    x *= s;
    y *= s;
    z *= s;
    return *this;
  }
};

inline Vector3 operator+(const Vector3& a, const Vector3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vector3 operator-(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vector3 operator-(const Vector3& a) { return {-a.x, -a.y, -a.z}; }
inline Vector3 operator*(const Vector3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vector3 operator*(double s, const Vector3& a) { return {a.x * s, a.y * s, a.z * s}; }

inline double Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double LengthSquared(const Vector3& a) { return Dot(a, a); }

inline bool IsFinite(const Vector3& a) {
  return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}

// Exact component-wise equality (0.0 equals -0.0). The solver relies on the
// exactness to recognise a support point it has already seen.
inline bool PointsEqual(const Vector3& p, const Vector3& q) {
  return p.x == q.x && p.y == q.y && p.z == q.z;
}

}  // namespace zv
