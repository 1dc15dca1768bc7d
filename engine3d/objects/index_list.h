#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zv {

// A set of record indices (0 and above) kept in the order they joined:
// joining, leaving and asking cost constant time, and a walk goes in
// joining order. The links live in a table indexed by record index, which
// grows to the largest index that joined.
class IndexList {
 public:
  bool Contains(int32_t index) const {
    return index >= 0 && static_cast<size_t>(index) < links_.size() && links_[static_cast<size_t>(index)].joined;
  }

  // Joins at the end; an index already there keeps its place.
  void Append(int32_t index) {
    if (index < 0 || Contains(index)) return;
    if (static_cast<size_t>(index) >= links_.size()) links_.resize(static_cast<size_t>(index) + 1);
    links_[static_cast<size_t>(index)] = Link{tail_, kNone, true};
    if (tail_ == kNone)
      head_ = index;
    else
      links_[static_cast<size_t>(tail_)].next = index;
    tail_ = index;
    ++count_;
  }

  void Remove(int32_t index) {
    if (!Contains(index)) return;
    Link& link = links_[static_cast<size_t>(index)];
    if (link.prev == kNone)
      head_ = link.next;
    else
      links_[static_cast<size_t>(link.prev)].next = link.next;
    if (link.next == kNone)
      tail_ = link.prev;
    else
      links_[static_cast<size_t>(link.next)].prev = link.prev;
    link = Link{};
    --count_;
  }

  void Clear() {
    links_.clear();
    head_ = tail_ = kNone;
    count_ = 0;
  }

  // The indices in joining order.
  std::vector<int32_t> Items() const {
    std::vector<int32_t> items;
    items.reserve(count_);
    for (int32_t i = head_; i != kNone; i = links_[static_cast<size_t>(i)].next) items.push_back(i);
    return items;
  }

  size_t Size() const { return count_; }

 private:
  static constexpr int32_t kNone = -1;
  struct Link {
    int32_t prev = kNone, next = kNone;
    bool joined = false;
  };

  std::vector<Link> links_;
  int32_t head_ = kNone, tail_ = kNone;
  size_t count_ = 0;
};

}  // namespace zv
