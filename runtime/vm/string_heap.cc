#include "runtime/vm/string_heap.h"

#include <algorithm>
#include <string>

namespace zv {
namespace {
// Texts larger than this give their memory back when released.
constexpr size_t kKeepCapacity = 256;
}  // namespace

TextTooLong::TextTooLong()
    : std::runtime_error("a string holds at most " + std::to_string(StringHeap::kMaxLength) + " characters") {}

StringHeap::StringHeap() { Clear(); }

void StringHeap::Clear() {
  texts_.clear();
  live_.clear();
  free_.clear();
  texts_.emplace_back();  // handle 0: no string
  live_.push_back(0);
  live_count_ = 0;
}

uint32_t StringHeap::Make(std::string_view text) {
  if (text.size() > kMaxLength) throw TextTooLong();
  // A failed allocation leaves the heap as it was.
  uint32_t handle;
  if (!free_.empty()) {
    handle = free_.back();
    texts_[handle].assign(text.data(), text.size());
    free_.pop_back();
  } else {
    handle = static_cast<uint32_t>(texts_.size());
    // The free list keeps room for every handle, so that releasing never
    // needs memory (it must work when memory has run out).
    if (free_.capacity() <= live_.size()) free_.reserve(std::max(2 * free_.capacity(), live_.size() + 1));
    live_.push_back(0);
    try {
      texts_.emplace_back(text);
    } catch (...) {
      live_.pop_back();
      throw;
    }
  }
  live_[handle] = 1;
  ++live_count_;
  return handle;
}

void StringHeap::Assign(uint32_t handle, std::string_view text) {
  if (text.size() > kMaxLength) throw TextTooLong();
  if (!IsLive(handle)) return;
  texts_[handle].assign(text.data(), text.size());
}

void StringHeap::Release(uint32_t handle) {
  if (!IsLive(handle)) return;
  std::string& text = texts_[handle];
  if (text.capacity() > kKeepCapacity)
    std::string().swap(text);
  else
    text.clear();
  live_[handle] = 0;
  --live_count_;
  free_.push_back(handle);  // within the room Make kept
}

}  // namespace zv
