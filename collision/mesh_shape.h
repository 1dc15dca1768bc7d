#pragma once

#include <memory>
#include <span>
#include <vector>

#include "collision/box_tree.h"
#include "collision/collision_shape.h"
#include "collision/polytope_shapes.h"

namespace zv {

// A polygon soup: convex pieces over one vertex array, organised in a box
// tree built once when the mesh is completed. The mesh owns its pieces and its
// tree; it owns its vertices only when none were given to it.
class MeshShape : public CollisionShape {
 public:
  MeshShape() = default;

  // The root box under the placement (no margin); a mesh without pieces has
  // the empty box.
  AxisBox Bounds(const Placement& placement) const override;
  bool IsConvex() const override { return false; }
  bool IsDegenerate() const override { return tree_.root() == nullptr; }

  // Where pieces read the vertex array; the field, not the array, so that a
  // base set later reaches every piece.
  const Vector3* const* vertex_base_field() const { return &vertex_base_; }
  bool has_vertex_base() const { return vertex_base_ != nullptr; }
  // A caller-owned array that must outlive the mesh.
  void SetVertexBase(std::span<const Vector3> vertices);
  void SetOwnedVertices(std::vector<Vector3> vertices);

  // Completes the mesh: keeps the pieces whose indices lie inside the vertex
  // array and whose vertices are finite, drops the others, and builds the tree.
  void Complete(std::vector<std::unique_ptr<PolytopeShape>> pieces);

  const BoxTree& tree() const { return tree_; }
  int polytope_count() const { return static_cast<int>(pieces_.size()); }

 private:
  bool IsUsablePiece(const PolytopeShape& piece) const;

  const Vector3* vertex_base_ = nullptr;
  size_t vertex_count_ = 0;
  std::vector<Vector3> owned_vertices_;
  std::vector<std::unique_ptr<PolytopeShape>> pieces_;
  BoxTree tree_;
};

}  // namespace zv
