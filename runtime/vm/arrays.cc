#include "runtime/vm/arrays.h"

#include "runtime/vm/string_heap.h"

namespace zv {

void ArrayTable::Release(uint32_t entry, StringHeap& strings) {
  if (entry >= kEntries) return;
  ++epoch_;
  ArrayEntry& a = At(entry);
  if (entry >= kFirstStringEntry)
    for (uint32_t handle : a.elements) strings.Release(handle);
  uint32_t generation = a.generation + 1;
  a = ArrayEntry{};
  a.generation = generation;
}

void ArrayTable::ReleaseAll(StringHeap& strings) {
  for (uint32_t k = 0; k < entries_.size(); ++k)
    if (entries_[k].live) Release(k, strings);
}

}  // namespace zv
