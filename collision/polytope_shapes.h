#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "collision/collision_shape.h"

namespace zv {

// A convex piece of a mesh shape: a few indices into the mesh's vertex array.
// The piece reads the array through the mesh's vertex-base field, so a base
// set on the mesh after the piece was made takes effect at once.
class PolytopeShape : public ConvexShape {
 public:
  bool IsDegenerate() const override { return indices_.empty(); }

  int count() const { return static_cast<int>(indices_.size()); }
  const std::vector<uint32_t>& indices() const { return indices_; }
  const Vector3& Vertex(int position) const { return (*vertex_base_)[indices_[position]]; }

 protected:
  // `indices` must not be empty: a piece without vertices has no support point.
  PolytopeShape(const Vector3* const* vertex_base, std::span<const uint32_t> indices)
      : vertex_base_(vertex_base), indices_(indices.begin(), indices.end()) {}

  // The vertex with the greatest dot product; the earliest wins a tie.
  Vector3 PointSetSupport(const Vector3& d) const;

 private:
  const Vector3* const* vertex_base_;
  std::vector<uint32_t> indices_;
};

class PointSetShape : public PolytopeShape {
 public:
  PointSetShape(const Vector3* const* vertex_base, std::span<const uint32_t> indices)
      : PolytopeShape(vertex_base, indices) {}
  Vector3 Support(const Vector3& d) const override { return PointSetSupport(d); }
};

// The vertices of a convex polygon in ring order. Support climbs along the
// ring from the last answer, so queries in close directions take few steps.
class PolygonShape : public PolytopeShape {
 public:
  PolygonShape(const Vector3* const* vertex_base, std::span<const uint32_t> indices)
      : PolytopeShape(vertex_base, indices) {}
  Vector3 Support(const Vector3& d) const override;
  int cursor() const { return cursor_; }

 private:
  // The only state a query changes; it carries over to the next query,
  // whatever the direction, object or pair.
  mutable int cursor_ = 0;
};

class PolyhedronShape : public PolytopeShape {
 public:
  PolyhedronShape(const Vector3* const* vertex_base, std::span<const uint32_t> indices)
      : PolytopeShape(vertex_base, indices) {}
  Vector3 Support(const Vector3& d) const override { return PointSetSupport(d); }
};

}  // namespace zv
