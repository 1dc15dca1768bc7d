#include "collision/world_box_tree.h"

#include <algorithm>

namespace zv {

class CollisionObject;

// ---- Extents ------------------------------------------------------------------------------

BoxTreeExtent BoxTreeExtent::Union(const BoxTreeExtent& a, const BoxTreeExtent& b) {
  BoxTreeExtent u;
  for (int i = 0; i < 3; ++i) {
    u.lower[i] = std::min(a.lower[i], b.lower[i]);
    u.upper[i] = std::max(a.upper[i], b.upper[i]);
  }
  return u;
}

// A quarter of the box's largest side each way: a step of a game's frame
// seldom takes a thing further than that.
BoxTreeExtent BoxTreeExtent::Grown() const {
  constexpr double kMargin = 0.25;
  const Vector3 size = upper - lower;
  const double margin = std::max({size.x, size.y, size.z}) * kMargin;
  BoxTreeExtent grown = *this;
  for (int i = 0; i < 3; ++i) {
    grown.lower[i] -= margin;
    grown.upper[i] += margin;
  }
  return grown;
}

bool BoxTreeExtent::Meets(const BoxTreeExtent& other) const {
  for (int i = 0; i < 3; ++i)
    if (lower[i] > other.upper[i] || other.lower[i] > upper[i]) return false;
  return true;
}

bool BoxTreeExtent::Contains(const BoxTreeExtent& other) const {
  for (int i = 0; i < 3; ++i)
    if (other.lower[i] < lower[i] || other.upper[i] > upper[i]) return false;
  return true;
}

// Surface area: what a search pays to enter a box grows with it.
double BoxTreeExtent::Area() const {
  const Vector3 d = upper - lower;
  return 2.0 * (d.x * d.y + d.y * d.z + d.z * d.x);
}

// ---- Leaves -------------------------------------------------------------------------------

template <class Item>
int32_t WorldBoxTree<Item>::Insert(Item item, const AxisBox& box) {
  const int32_t leaf = TakeNode();
  Node& node = At(leaf);
  node.extent = Extent::Of(box).Grown();
  node.item = item;
  InsertLeaf(leaf);
  return leaf;
}

template <class Item>
void WorldBoxTree<Item>::Move(int32_t leaf, const AxisBox& box) {
  const Extent now = Extent::Of(box);
  if (At(leaf).extent.Contains(now)) return;
  RemoveLeaf(leaf);
  At(leaf).extent = now.Grown();
  InsertLeaf(leaf);
}

template <class Item>
void WorldBoxTree<Item>::Remove(int32_t leaf) {
  RemoveLeaf(leaf);
  FreeNode(leaf);
}

// ---- Nodes --------------------------------------------------------------------------------

template <class Item>
int32_t WorldBoxTree<Item>::TakeNode() {
  if (free_ == kNoLeaf) {
    nodes_.emplace_back();
    return static_cast<int32_t>(nodes_.size() - 1);
  }
  const int32_t index = free_;
  free_ = At(index).parent;
  At(index) = Node{};
  return index;
}

// Free nodes are chained through their parent links.
template <class Item>
void WorldBoxTree<Item>::FreeNode(int32_t index) {
  At(index) = Node{};
  At(index).parent = free_;
  free_ = index;
}

// The node whose place the new extent takes beside it: down the tree the
// way that adds the least area, stopping where a new parent here costs less
// than going on.
template <class Item>
int32_t WorldBoxTree<Item>::BestSibling(const Extent& extent) {
  int32_t index = root_;
  while (!At(index).IsLeaf()) {
    const Node& node = At(index);
    const double area = node.extent.Area();
    const double combined = Extent::Union(node.extent, extent).Area();
    const double here = 2.0 * combined;
    const double inherited = 2.0 * (combined - area);
    auto below = [&](int32_t child) {
      const Node& c = At(child);
      const double joined = Extent::Union(c.extent, extent).Area();
      return (c.IsLeaf() ? joined : joined - c.extent.Area()) + inherited;
    };
    const double left = below(node.left), right = below(node.right);
    if (here < left && here < right) break;
    index = left < right ? node.left : node.right;
  }
  return index;
}

template <class Item>
void WorldBoxTree<Item>::InsertLeaf(int32_t leaf) {
  if (root_ == kNoLeaf) {
    root_ = leaf;
    At(leaf).parent = kNoLeaf;
    return;
  }
  const int32_t sibling = BestSibling(At(leaf).extent);
  const int32_t parent = TakeNode();
  const int32_t above = At(sibling).parent;
  Node& p = At(parent);
  p.parent = above;
  p.left = sibling;
  p.right = leaf;
  p.extent = Extent::Union(At(sibling).extent, At(leaf).extent);
  p.height = At(sibling).height + 1;
  ReplaceChild(above, sibling, parent);
  At(sibling).parent = parent;
  At(leaf).parent = parent;
  RefitUpwards(parent);
}

template <class Item>
void WorldBoxTree<Item>::RemoveLeaf(int32_t leaf) {
  if (leaf == root_) {
    root_ = kNoLeaf;
    return;
  }
  const int32_t parent = At(leaf).parent;
  const int32_t above = At(parent).parent;
  const int32_t sibling = At(parent).left == leaf ? At(parent).right : At(parent).left;
  At(sibling).parent = above;
  ReplaceChild(above, parent, sibling);
  FreeNode(parent);
  At(leaf).parent = kNoLeaf;
  if (above != kNoLeaf) RefitUpwards(above);
}

template <class Item>
void WorldBoxTree<Item>::ReplaceChild(int32_t parent, int32_t child, int32_t heir) {
  if (parent == kNoLeaf)
    root_ = heir;
  else if (At(parent).left == child)
    At(parent).left = heir;
  else
    At(parent).right = heir;
}

template <class Item>
void WorldBoxTree<Item>::RefitUpwards(int32_t index) {
  while (index != kNoLeaf) {
    index = Balance(index);
    Node& node = At(index);
    node.height = 1 + std::max(At(node.left).height, At(node.right).height);
    node.extent = Extent::Union(At(node.left).extent, At(node.right).extent);
    index = node.parent;
  }
}

// A node one of whose sides stands two or more higher than the other gives
// its place to the top of that side.
template <class Item>
int32_t WorldBoxTree<Item>::Balance(int32_t index) {
  const Node& node = At(index);
  if (node.IsLeaf() || node.height < 2) return index;
  const int32_t lean = At(node.right).height - At(node.left).height;
  if (lean > 1) return Rotate(index, node.right);
  if (lean < -1) return Rotate(index, node.left);
  return index;
}

// `up`, a child of `index`, takes its place; `up` keeps the higher of its
// own children and hands the other to `index` where `up` was.
template <class Item>
int32_t WorldBoxTree<Item>::Rotate(int32_t index, int32_t up) {
  Node& down = At(index);
  Node& top = At(up);
  const bool up_was_right = down.right == up;
  const int32_t stays = up_was_right ? down.left : down.right;
  const int32_t keep = At(top.left).height > At(top.right).height ? top.left : top.right;
  const int32_t give = keep == top.left ? top.right : top.left;

  top.parent = down.parent;
  ReplaceChild(top.parent, index, up);
  down.parent = up;
  top.left = index;
  top.right = keep;
  (up_was_right ? down.right : down.left) = give;
  At(give).parent = index;

  down.extent = Extent::Union(At(stays).extent, At(give).extent);
  down.height = 1 + std::max(At(stays).height, At(give).height);
  top.extent = Extent::Union(down.extent, At(keep).extent);
  top.height = 1 + std::max(down.height, At(keep).height);
  return up;
}

// The collision library's objects, and the engine's by record index.
template class WorldBoxTree<CollisionObject*>;
template class WorldBoxTree<int32_t>;

}  // namespace zv
