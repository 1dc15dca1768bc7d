#pragma once

#include "collision/collision_shape.h"

namespace zv {

// The primitive shapes. Negative sizes are taken by their magnitude: a support
// mapping over a negative extent would point away from the direction asked.

class BoxShape : public ConvexShape {
 public:
  explicit BoxShape(const Vector3& half_extent);
  Vector3 Support(const Vector3& d) const override;
  bool IsDegenerate() const override;
  const Vector3& half_extent() const { return half_extent_; }

 private:
  Vector3 half_extent_;
};

// Axis local y, apex at (0, +h, 0), base circle of radius r at y = -h.
class ConeShape : public ConvexShape {
 public:
  ConeShape(double radius, double half_height);
  Vector3 Support(const Vector3& d) const override;
  bool IsDegenerate() const override;
  double radius() const { return radius_; }
  double half_height() const { return half_height_; }
  double sine() const { return sine_; }

 private:
  double radius_;
  double half_height_;
  double sine_;  // of the half angle at the apex
};

// Axis local y, caps at y = +h and y = -h.
class CylinderShape : public ConvexShape {
 public:
  CylinderShape(double radius, double half_height);
  Vector3 Support(const Vector3& d) const override;
  bool IsDegenerate() const override;
  double radius() const { return radius_; }
  double half_height() const { return half_height_; }

 private:
  double radius_;
  double half_height_;
};

class SphereShape : public ConvexShape {
 public:
  explicit SphereShape(double radius);
  Vector3 Support(const Vector3& d) const override;
  bool IsDegenerate() const override;
  double radius() const { return radius_; }

 private:
  double radius_;
};

// The factories of the flat interface. Sizes are full sizes (the shapes keep
// halves); the caller owns the result until it deletes it.
BoxShape* CreateBoxShape(double size_x, double size_y, double size_z);
ConeShape* CreateConeShape(double radius, double height);
CylinderShape* CreateCylinderShape(double radius, double height);
SphereShape* CreateSphereShape(double radius);

}  // namespace zv
