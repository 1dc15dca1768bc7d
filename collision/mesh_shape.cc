#include "collision/mesh_shape.h"

#include <cmath>
#include <utility>

namespace zv {

AxisBox MeshShape::Bounds(const Placement& t) const {
  const BoxTreeNode* root = tree_.root();
  if (root == nullptr) return AxisBox::Empty();
  AxisBox box;
  box.centre = Apply(t, root->box.centre);
  box.half_extent = Multiply(AbsMatrix3(t.basis), root->box.half_extent);
  return box;
}

void MeshShape::SetVertexBase(std::span<const Vector3> vertices) {
  owned_vertices_.clear();
  vertex_base_ = vertices.data();
  vertex_count_ = vertices.size();
}

void MeshShape::SetOwnedVertices(std::vector<Vector3> vertices) {
  owned_vertices_ = std::move(vertices);
  vertex_base_ = owned_vertices_.data();
  vertex_count_ = owned_vertices_.size();
}

bool MeshShape::IsUsablePiece(const PolytopeShape& piece) const {
  if (piece.count() == 0 || vertex_base_ == nullptr) return false;
  for (uint32_t index : piece.indices()) {
    if (index >= vertex_count_ || !IsFinite(vertex_base_[index])) return false;
  }
  return true;
}

void MeshShape::Complete(std::vector<std::unique_ptr<PolytopeShape>> pieces) {
  pieces_.clear();
  for (auto& piece : pieces) {
    if (IsUsablePiece(*piece)) pieces_.push_back(std::move(piece));
  }
  std::vector<const PolytopeShape*> order;
  order.reserve(pieces_.size());
  for (const auto& piece : pieces_) order.push_back(piece.get());
  tree_ = BoxTree::Build(order);
}

}  // namespace zv
