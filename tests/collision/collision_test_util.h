#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "collision/convex_shapes.h"
#include "collision/placement.h"
#include "collision/vector3.h"

namespace zv::testing {

inline double Length(const Vector3& v) { return std::sqrt(Dot(v, v)); }

inline Vector3 Cross(const Vector3& a, const Vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Seeded, so every run sees the same cases.
class Random {
 public:
  explicit Random(unsigned seed) : engine_(seed) {}
  double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(engine_); }
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine_); }
  Vector3 InCube(double half) { return {Uniform(-half, half), Uniform(-half, half), Uniform(-half, half)}; }

  // A rotation from a uniformly drawn unit quaternion.
  Matrix3 Rotation() {
    std::normal_distribution<double> n(0.0, 1.0);
    double w = n(engine_), x = n(engine_), y = n(engine_), z = n(engine_);
    const double len = std::sqrt(w * w + x * x + y * y + z * z);
    w /= len, x /= len, y /= len, z /= len;
    return MakeMatrix3(1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y),  //
                       2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x),  //
                       2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y));
  }

  // A rigid placement as the engine makes them (flags from a matrix).
  Placement RigidPlacement(double spread) {
    Placement t;
    t.basis = Rotation();
    t.origin = InCube(spread);
    t.flags = Placement::kFromMatrix;
    return t;
  }

 private:
  std::mt19937 engine_;
};

// Closed-form distances from a point (in the shape's frame) to the primitives;
// zero inside.
inline double DistanceToBox(const Vector3& p, const Vector3& h) {
  const Vector3 d{std::max(std::fabs(p.x) - h.x, 0.0), std::max(std::fabs(p.y) - h.y, 0.0),
                  std::max(std::fabs(p.z) - h.z, 0.0)};
  return Length(d);
}

inline double DistanceToSphere(const Vector3& p, double r) { return std::max(Length(p) - r, 0.0); }

inline double DistanceToCylinder(const Vector3& p, double r, double h) {
  const double radial = std::max(std::sqrt(p.x * p.x + p.z * p.z) - r, 0.0);
  const double axial = std::max(std::fabs(p.y) - h, 0.0);
  return std::sqrt(radial * radial + axial * axial);
}

// 2D distance from (u, v) to the segment a-b.
inline double SegmentDistance2(double u, double v, double au, double av, double bu, double bv) {
  const double du = bu - au, dv = bv - av;
  const double len2 = du * du + dv * dv;
  double t = len2 > 0 ? ((u - au) * du + (v - av) * dv) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const double eu = u - (au + t * du), ev = v - (av + t * dv);
  return std::sqrt(eu * eu + ev * ev);
}

// The cone's section through its axis is the triangle (0, -h), (r, -h), (0, h)
// in (radial distance, y); a point's distance to the cone is its distance to
// that triangle.
inline double DistanceToCone(const Vector3& p, double r, double h) {
  const double u = std::sqrt(p.x * p.x + p.z * p.z), v = p.y;
  const bool above_base = v >= -h;
  const bool inside_slant = r * (h - v) - 2 * h * u >= 0;  // left of the edge (r, -h) -> (0, h)
  if (above_base && inside_slant) return 0.0;
  return std::min(SegmentDistance2(u, v, 0, -h, r, -h), SegmentDistance2(u, v, r, -h, 0, h));
}

// A primitive together with its closed-form distance, for tests that pair
// shapes at random.
struct Primitive {
  enum Kind { kBox, kSphere, kCylinder, kCone } kind;
  ConvexShape* shape;
  Vector3 half;  // box half extents; x radius and y half height otherwise

  double Distance(const Vector3& local) const {
    switch (kind) {
      case kBox: return DistanceToBox(local, half);
      case kSphere: return DistanceToSphere(local, half.x);
      case kCylinder: return DistanceToCylinder(local, half.x, half.y);
      case kCone: return DistanceToCone(local, half.x, half.y);
    }
    return 0.0;
  }
};

// Distance from a world point to a shape placed rigidly.
inline double WorldDistance(const Primitive& s, const Placement& t, const Vector3& world) {
  return s.Distance(MultiplyTransposed(t.basis, world - t.origin));
}

}  // namespace zv::testing
