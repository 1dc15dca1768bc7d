#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace zv {

class StringHeap;

// An array carried by a variable slot: int, float or string elements (a
// string element is a string-heap handle, 0 for the empty string) in one
// flat block of up to five dimensions.
struct ArrayEntry {
  std::vector<uint32_t> elements;
  // Declared upper bound + 1 per dimension; 1 past the array's dimensions.
  std::array<int32_t, 5> sizes{1, 1, 1, 1, 1};
  int32_t dimensions = 0;
  uint32_t generation = 0;         // changes whenever the block is replaced
  bool live = false;
};

// The arrays of the int, float and string variables: entry k belongs to
// variable slot 3000 + k.
class ArrayTable {
 public:
  static constexpr uint32_t kEntries = 6000;
  static constexpr uint32_t kFirstStringEntry = 4000;

  // The room for every entry is taken at once, so no entry ever moves, but
  // the entries are made only as far as a program uses them: a run with
  // few arrays does not pay for the whole table.
  ArrayTable() { entries_.reserve(kEntries); }

  // `entry` is below kEntries.
  ArrayEntry& At(uint32_t entry) {
    if (entry >= entries_.size()) entries_.resize(entry + 1);
    return entries_[entry];
  }
  bool IsArray(uint32_t entry) const { return entry < entries_.size() && entries_[entry].live; }
  // Moves on whenever an entry is released, which every DIM does before it
  // makes the new block: while it stays put no variable became or stopped
  // being an array.
  uint64_t Epoch() const { return epoch_; }

  // Frees one array; string elements are released from `strings`.
  void Release(uint32_t entry, StringHeap& strings);
  void ReleaseAll(StringHeap& strings);

 private:
  std::vector<ArrayEntry> entries_;
  uint64_t epoch_ = 0;
};

}  // namespace zv
