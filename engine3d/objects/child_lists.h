#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zv {

// Links from child records to the parent record each points at (an object
// glued to another, an image made into a texture), kept so that the
// children of a parent are found without walking every record: linking,
// unlinking and moving a child cost constant time. Indices are 0 and above;
// the tables grow to the largest index linked.
class ChildLists {
 public:
  // Points `child` at `parent`, leaving the parent it had; a parent below 1
  // only unlinks it.
  void Link(int32_t child, int32_t parent) {
    if (child < 0) return;
    Unlink(child);
    if (parent < 1) return;
    Grow(children_first_, parent);
    Grow(of_child_, child);
    Node& node = of_child_[static_cast<size_t>(child)];
    const int32_t first = children_first_[static_cast<size_t>(parent)].first;
    node = Node{parent, kNone, first};
    if (first != kNone) of_child_[static_cast<size_t>(first)].prev = child;
    children_first_[static_cast<size_t>(parent)].first = child;
  }

  void Unlink(int32_t child) {
    const int32_t parent = ParentOf(child);
    if (parent < 1) return;
    Node& node = of_child_[static_cast<size_t>(child)];
    if (node.prev == kNone)
      children_first_[static_cast<size_t>(parent)].first = node.next;
    else
      of_child_[static_cast<size_t>(node.prev)].next = node.next;
    if (node.next != kNone) of_child_[static_cast<size_t>(node.next)].prev = node.prev;
    node = Node{};
  }

  // The parent `child` points at; 0 when none.
  int32_t ParentOf(int32_t child) const {
    return child >= 0 && static_cast<size_t>(child) < of_child_.size() ? of_child_[static_cast<size_t>(child)].parent
                                                                      : 0;
  }

  // The children of `parent`, the last linked first.
  std::vector<int32_t> ChildrenOf(int32_t parent) const {
    std::vector<int32_t> children;
    if (parent < 1 || static_cast<size_t>(parent) >= children_first_.size()) return children;
    for (int32_t c = children_first_[static_cast<size_t>(parent)].first; c != kNone;
         c = of_child_[static_cast<size_t>(c)].next)
      children.push_back(c);
    return children;
  }

  void Clear() {
    of_child_.clear();
    children_first_.clear();
  }

 private:
  static constexpr int32_t kNone = -1;
  struct Node {
    int32_t parent = 0;
    int32_t prev = kNone, next = kNone;  // siblings
  };
  struct Head {
    int32_t first = kNone;
  };

  template <typename T>
  static void Grow(std::vector<T>& table, int32_t index) {
    if (static_cast<size_t>(index) >= table.size()) table.resize(static_cast<size_t>(index) + 1);
  }

  std::vector<Node> of_child_;        // by child index
  std::vector<Head> children_first_;  // by parent index
};

}  // namespace zv
