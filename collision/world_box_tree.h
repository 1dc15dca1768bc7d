#pragma once

#include <cstdint>
#include <vector>

#include "collision/axis_box.h"
#include "collision/vector3.h"

namespace zv {

// The extent of a box in a tree of boxes: its lower and upper corners.
struct BoxTreeExtent {
  Vector3 lower, upper;
  static BoxTreeExtent Of(const AxisBox& box) { return {box.Lower(), box.Upper()}; }
  static BoxTreeExtent Union(const BoxTreeExtent& a, const BoxTreeExtent& b);
  BoxTreeExtent Grown() const;
  bool Meets(const BoxTreeExtent& other) const;
  bool Contains(const BoxTreeExtent& other) const;
  double Area() const;
};

// The boxes of things in the world (`Item`: the collision library's
// objects, or the engine's by their record indices), in a tree of boxes
// that changes as they move: placing one costs the height of the tree, and
// finding the things whose boxes meet a box walks only the branches whose
// boxes meet it. A leaf holds its thing's box grown by a quarter of its
// largest side each way, so a thing that moves a little keeps its place in
// the tree; what a search finds may therefore lie a little apart and is to
// be tested again. Boxes are to be finite (the caller keeps the others
// elsewhere).
template <class Item>
class WorldBoxTree {
 public:
  static constexpr int32_t kNoLeaf = -1;

  // Files the item's box; returns its leaf.
  int32_t Insert(Item item, const AxisBox& box);
  // The item's box moved: its leaf moves only when the box leaves it.
  void Move(int32_t leaf, const AxisBox& box);
  void Remove(int32_t leaf);

  void Clear() { *this = WorldBoxTree{}; }

  // Calls visit(item) for each item whose leaf meets `box` (touching
  // counts).
  template <class Visit>
  void ForEachMeeting(const AxisBox& box, Visit&& visit) const {
    if (root_ == kNoLeaf) return;
    const Extent wanted = Extent::Of(box);
    stack_.clear();
    stack_.push_back(root_);
    while (!stack_.empty()) {
      const Node& node = nodes_[static_cast<size_t>(stack_.back())];
      stack_.pop_back();
      if (!node.extent.Meets(wanted)) continue;
      if (node.IsLeaf()) {
        visit(node.item);
      } else {
        stack_.push_back(node.left);
        stack_.push_back(node.right);
      }
    }
  }

  int32_t Height() const { return root_ == kNoLeaf ? 0 : nodes_[static_cast<size_t>(root_)].height; }

 private:
  using Extent = BoxTreeExtent;
  struct Node {
    Extent extent;
    int32_t parent = kNoLeaf, left = kNoLeaf, right = kNoLeaf;
    int32_t height = 0;  // 0 for a leaf
    Item item{};
    bool IsLeaf() const { return left == kNoLeaf; }
  };

  Node& At(int32_t index) { return nodes_[static_cast<size_t>(index)]; }
  int32_t TakeNode();
  void FreeNode(int32_t index);
  void InsertLeaf(int32_t leaf);
  void RemoveLeaf(int32_t leaf);
  int32_t BestSibling(const Extent& extent);
  // `child`'s place under `parent` (or at the root, without one) goes to
  // `heir`.
  void ReplaceChild(int32_t parent, int32_t child, int32_t heir);
  // Mends heights and extents from `index` up to the root, turning each
  // lopsided node on the way.
  void RefitUpwards(int32_t index);
  int32_t Balance(int32_t index);
  int32_t Rotate(int32_t index, int32_t up);

  std::vector<Node> nodes_;
  int32_t root_ = kNoLeaf;
  int32_t free_ = kNoLeaf;
  mutable std::vector<int32_t> stack_;
};

}  // namespace zv
