#pragma once

#include <span>
#include <vector>

#include "collision/axis_box.h"
#include "collision/polytope_shapes.h"

namespace zv {

// One node of a mesh's box tree, in the mesh's frame. A leaf holds one piece;
// an internal node holds two children, the upper one over the pieces on the
// high side of its split.
struct BoxTreeNode {
  AxisBox box;
  bool is_leaf = true;
  const PolytopeShape* polytope = nullptr;  // leaves
  const BoxTreeNode* upper = nullptr;       // internal nodes
  const BoxTreeNode* lower = nullptr;       // internal nodes

  // The largest half extent, which decides which tree a pair walk descends.
  double Size() const { return std::max(box.half_extent.x, std::max(box.half_extent.y, box.half_extent.z)); }
};

// n leaves in tree order and n - 1 internal nodes, each array allocated once.
// The root is the first internal node, the single leaf of a one-piece tree, or
// null for a tree without pieces.
class BoxTree {
 public:
  BoxTree() = default;
  BoxTree(BoxTree&&) = default;
  BoxTree& operator=(BoxTree&&) = default;
  BoxTree(const BoxTree&) = delete;
  BoxTree& operator=(const BoxTree&) = delete;

  // Fits a leaf around each piece and splits each node at its centre along its
  // longest axis. The pieces must read valid vertices; they are not owned.
  static BoxTree Build(std::span<const PolytopeShape* const> pieces);

  const BoxTreeNode* root() const { return root_; }
  const std::vector<BoxTreeNode>& leaves() const { return leaves_; }
  const std::vector<BoxTreeNode>& internal_nodes() const { return nodes_; }

 private:
  std::vector<BoxTreeNode> leaves_;
  std::vector<BoxTreeNode> nodes_;
  const BoxTreeNode* root_ = nullptr;
};

// Whether two boxes in different frames may overlap, by the three face axes
// of each: e is b's centre seen from a's frame minus a's centre, d the reverse.
// Edge-edge axes are not tried, so a few separated pairs pass.
bool BoxesMayOverlap(const AxisBox& a, const AxisBox& b, const Placement& b_to_a, const Matrix3& abs_b_to_a,
                     const Placement& a_to_b, const Matrix3& abs_a_to_b);

}  // namespace zv
