#include "engine3d/scene/placed_boxes.h"

#include <utility>

namespace zv {
namespace {

constexpr int32_t kNoLeaf = WorldBoxTree<int32_t>::kNoLeaf;

}  // namespace

const PlacedBoxes::Kept* PlacedBoxes::Find(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return nullptr;
  const Entry& entry = entries_[static_cast<size_t>(index)];
  return entry.made ? &entry.kept : nullptr;
}

PlacedBoxes::Entry* PlacedBoxes::At(int32_t index) {
  if (index < 0) return nullptr;
  if (static_cast<size_t>(index) >= entries_.size()) entries_.resize(static_cast<size_t>(index) + 1);
  return &entries_[static_cast<size_t>(index)];
}

void PlacedBoxes::List(int32_t index, Entry& entry) {
  if (entry.listed) return;
  entry.listed = true;
  not_filed_.push_back(index);
}

void PlacedBoxes::Keep(int32_t index, Kept kept) {
  Entry* entry = At(index);
  if (!entry) return;
  entry->kept = std::move(kept);
  entry->made = true;
  List(index, *entry);
}

void PlacedBoxes::Forget(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return;
  Entry& entry = entries_[static_cast<size_t>(index)];
  entry.made = false;
  List(index, entry);
}

void PlacedBoxes::ForgetAll() {
  entries_.clear();
  not_filed_.clear();
  tree_.Clear();
  unbounded_.clear();
  everything_forgotten_ = true;
}

void PlacedBoxes::Unfile(int32_t index, Entry& entry) {
  if (entry.leaf != kNoLeaf) tree_.Remove(entry.leaf);
  entry.leaf = kNoLeaf;
  unbounded_.erase(index);
}

void PlacedBoxes::FileKept() {
  for (const int32_t index : not_filed_) {
    Entry& entry = entries_[static_cast<size_t>(index)];
    entry.listed = false;
    const AxisBox& reach = entry.kept.reach;
    const bool reaches_nothing = !entry.made || reach.half_extent.x < 0.0;
    if (reaches_nothing || !IsFinite(reach)) {
      Unfile(index, entry);
      if (!reaches_nothing) unbounded_.insert(index);
    } else if (entry.leaf == kNoLeaf) {
      unbounded_.erase(index);
      entry.leaf = tree_.Insert(index, reach);
    } else {
      tree_.Move(entry.leaf, reach);
    }
  }
  not_filed_.clear();
  everything_forgotten_ = false;
}

}  // namespace zv
