#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

namespace zv {

// The index that names no record.
constexpr int32_t kNoRecord = -1;

// Runtime error of a pool that cannot grow.
constexpr int32_t kPoolOutOfMemory = 101;

// A growable array of records addressed by index, with a free list and an
// in-use list threaded through per-record links. Records are appended to
// the in-use list in allocation order; the free list is a stack (last freed,
// first taken) that runs on into the never-used records in index order. The
// array doubles before an allocation that would leave fewer than `reserve`
// records free, so indices stay valid across growth while references into
// the array do not: look records up again after any call that may allocate.
// Every record is default-constructed when its array is made, and again by
// Reset.
template <typename Record>
class RecordPool {
 public:
  // Large enough for any program; beyond it allocations fail (runtime error
  // 101) instead of exhausting the machine.
  static constexpr int32_t kDefaultLimit = 1 << 22;

  RecordPool(int32_t first_capacity, int32_t reserve, int32_t limit = kDefaultLimit)
      : reserve_(reserve), limit_(std::max(limit, first_capacity)) {
    records_.resize(static_cast<size_t>(first_capacity));
    links_.resize(static_cast<size_t>(first_capacity));
    Relink();
  }

  // From now on the pool grows to at most `limit` records (never below its
  // capacity): a machine with less memory, as tests have it.
  void SetLimit(int32_t limit) { limit_ = std::max(limit, Capacity()); }

  // Empties the pool without shrinking it: every record back to its
  // default, every one on the free list in index order.
  void Reset() {
    std::fill(records_.begin(), records_.end(), Record{});
    Relink();
  }

  // A new record at the tail of the in-use list (its contents are whatever
  // the last user left), or kNoRecord when the pool was full and could not
  // grow.
  int32_t Alloc() {
    if (count_ > Capacity() - reserve_) Grow();
    if (count_ >= Capacity()) return kNoRecord;
    const int32_t index = free_head_;
    Link& link = links_[index];
    free_head_ = link.next;
    if (free_head_ < Capacity()) links_[free_head_].prev = kNoRecord;
    link.next = kNoRecord;
    link.in_use = true;
    if (tail_ != kNoRecord) links_[tail_].next = index;
    if (head_ == kNoRecord) {
      head_ = index;
      link.prev = kNoRecord;
    } else {
      link.prev = tail_;
    }
    tail_ = index;
    ++count_;
    return index;
  }

  // Takes the record off the in-use list and pushes it on the free list.
  // False, and nothing changes, when `index` names no record in use (a
  // second free of the same record included).
  bool Free(int32_t index) {
    if (count_ < 1 || !InUse(index)) return false;
    Link& link = links_[index];
    const int32_t prev = link.prev, next = link.next;
    if (prev != kNoRecord) links_[prev].next = next;
    if (next != kNoRecord) links_[next].prev = prev;
    if (head_ == index) head_ = next;
    if (tail_ == index) tail_ = prev;
    link.in_use = false;
    link.prev = kNoRecord;
    link.next = free_head_;
    if (free_head_ < Capacity()) links_[free_head_].prev = index;
    free_head_ = index;
    --count_;
    return true;
  }

  bool InUse(int32_t index) const {
    return index >= 0 && index < Capacity() && links_[index].in_use;
  }

  Record& operator[](int32_t index) { return records_[static_cast<size_t>(index)]; }
  const Record& operator[](int32_t index) const { return records_[static_cast<size_t>(index)]; }

  int32_t Count() const { return count_; }
  int32_t Capacity() const { return static_cast<int32_t>(records_.size()); }
  int32_t Head() const { return head_; }
  int32_t Tail() const { return tail_; }
  int32_t FreeHead() const { return free_head_; }
  // Links of any record, in use or free.
  int32_t Next(int32_t index) const { return links_[index].next; }
  int32_t Prev(int32_t index) const { return links_[index].prev; }

 private:
  struct Link {
    int32_t next = kNoRecord;
    int32_t prev = kNoRecord;
    bool in_use = false;
  };

  void Relink() {
    const int32_t n = Capacity();
    for (int32_t i = 0; i < n; ++i) links_[i] = Link{i + 1, i - 1, false};
    count_ = 0;
    free_head_ = 0;
    head_ = tail_ = kNoRecord;
  }

  // Doubles the array; on failure the pool stays as it was.
  void Grow() {
    const int32_t old_capacity = Capacity();
    if (old_capacity >= limit_) return;
    const int32_t new_capacity = std::min(limit_, std::max(1, old_capacity * 2));
    try {
      records_.resize(static_cast<size_t>(new_capacity));
      links_.resize(static_cast<size_t>(new_capacity));
    } catch (const std::bad_alloc&) {
      records_.resize(static_cast<size_t>(old_capacity));
      links_.resize(static_cast<size_t>(old_capacity));
      return;
    }
    for (int32_t i = old_capacity; i < new_capacity; ++i) links_[i] = Link{i + 1, i - 1, false};
  }

  std::vector<Record> records_;
  std::vector<Link> links_;
  int32_t reserve_;
  int32_t limit_;
  int32_t count_ = 0;
  int32_t free_head_ = 0;
  int32_t head_ = kNoRecord, tail_ = kNoRecord;
};

}  // namespace zv
