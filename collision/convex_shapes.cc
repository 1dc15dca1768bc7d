#include "collision/convex_shapes.h"

#include <cmath>

namespace zv {
namespace {

// Directions shorter than this have no side to choose.
constexpr double kTinyLength = 1e-10;

bool AllFinite(double a, double b) { return std::isfinite(a) && std::isfinite(b); }

}  // namespace

AxisBox ConvexShape::Bounds(const Placement& t) const {
  // The order of the queries is fixed: polygon pieces move their cursor with
  // every query, so a different order could answer from a different vertex.
  Vector3 lower, upper;
  for (int i = 2; i >= 0; --i) {
    const Vector3 row = Row(t.basis, i);
    lower[i] = Dot(row, Support(-row)) + t.origin[i] - kCollisionTolerance;
  }
  for (int i = 2; i >= 0; --i) {
    const Vector3 row = Row(t.basis, i);
    upper[i] = Dot(row, Support(row)) + t.origin[i] + kCollisionTolerance;
  }
  return AxisBox::FromCorners(lower, upper);
}

BoxShape::BoxShape(const Vector3& h)
    : half_extent_{std::fabs(h.x), std::fabs(h.y), std::fabs(h.z)} {}

Vector3 BoxShape::Support(const Vector3& d) const {
  return {d.x >= 0.0 ? half_extent_.x : -half_extent_.x,
          d.y >= 0.0 ? half_extent_.y : -half_extent_.y,
          d.z >= 0.0 ? half_extent_.z : -half_extent_.z};
}

bool BoxShape::IsDegenerate() const { return !IsFinite(half_extent_); }

ConeShape::ConeShape(double radius, double half_height)
    : radius_(std::fabs(radius)), half_height_(std::fabs(half_height)), sine_(0.0) {
  const double slant = std::sqrt(radius_ * radius_ + 4.0 * half_height_ * half_height_);
  // A cone without any size has no half angle; zero keeps the support finite.
  if (slant > 0.0) sine_ = radius_ / slant;
}

Vector3 ConeShape::Support(const Vector3& d) const {
  const double len = std::sqrt(Dot(d, d));
  if (d.y > len * sine_) return {0.0, half_height_, 0.0};
  const double s = std::sqrt(d.x * d.x + d.z * d.z);
  if (s <= kTinyLength) return {0.0, -half_height_, 0.0};
  return {radius_ * d.x / s, -half_height_, radius_ * d.z / s};
}

bool ConeShape::IsDegenerate() const { return !AllFinite(radius_, half_height_); }

CylinderShape::CylinderShape(double radius, double half_height)
    : radius_(std::fabs(radius)), half_height_(std::fabs(half_height)) {}

Vector3 CylinderShape::Support(const Vector3& d) const {
  const double s = std::sqrt(d.x * d.x + d.z * d.z);
  const double cap = d.y >= 0.0 ? half_height_ : -half_height_;
  if (s <= kTinyLength) return {0.0, cap, 0.0};
  return {radius_ * d.x / s, cap, radius_ * d.z / s};
}

bool CylinderShape::IsDegenerate() const { return !AllFinite(radius_, half_height_); }

SphereShape::SphereShape(double radius) : radius_(std::fabs(radius)) {}

Vector3 SphereShape::Support(const Vector3& d) const {
  const double len = std::sqrt(Dot(d, d));
  if (len <= kTinyLength) return {};
  return d * (radius_ / len);
}

bool SphereShape::IsDegenerate() const { return !std::isfinite(radius_); }

// A shape that memory cannot hold throws: a null shape would leave its
// object without collision and nobody told.
BoxShape* CreateBoxShape(double size_x, double size_y, double size_z) {
  return new BoxShape({size_x / 2.0, size_y / 2.0, size_z / 2.0});
}

ConeShape* CreateConeShape(double radius, double height) { return new ConeShape(radius, height / 2.0); }

CylinderShape* CreateCylinderShape(double radius, double height) {
  return new CylinderShape(radius, height / 2.0);
}

SphereShape* CreateSphereShape(double radius) { return new SphereShape(radius); }

}  // namespace zv
