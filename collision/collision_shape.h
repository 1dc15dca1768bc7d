#pragma once

#include "collision/axis_box.h"
#include "collision/placement.h"
#include "collision/vector3.h"

namespace zv {

// The library's absolute tolerance: the margin around convex bounding boxes
// and the distance at which the closest-points query stops.
inline constexpr double kCollisionTolerance = 1e-10;

// A shape in its own frame. Shapes are heap objects handed out by the shape
// factories and deleted through this base.
class CollisionShape {
 public:
  virtual ~CollisionShape() = default;
  CollisionShape(const CollisionShape&) = delete;
  CollisionShape& operator=(const CollisionShape&) = delete;

  // The world box of the shape under `placement`.
  virtual AxisBox Bounds(const Placement& placement) const = 0;
  // Meshes are the one non-convex kind; pairs put them first.
  virtual bool IsConvex() const = 0;
  // A shape whose sizes are not finite, or a mesh without pieces, never
  // touches anything. A convex shape of size zero is still its one point:
  // it meets whatever holds that point.
  virtual bool IsDegenerate() const = 0;

 protected:
  CollisionShape() = default;
};

class ConvexShape : public CollisionShape {
 public:
  // Six support queries, one per direction of each world axis, with the
  // tolerance added on every side.
  AxisBox Bounds(const Placement& placement) const override;
  bool IsConvex() const override { return true; }

  // The point of the shape farthest along `direction` (local frame, any
  // length). It never allocates: the solver calls it in its inner loop.
  virtual Vector3 Support(const Vector3& direction) const = 0;
};

}  // namespace zv
