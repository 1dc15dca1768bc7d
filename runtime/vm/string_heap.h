#pragma once

#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// Thrown where a text longer than a string holds would be stored; the run
// ends with error 107, "String too long", at the command that made it.
class TextTooLong : public std::runtime_error {
 public:
  TextTooLong();
};

// The texts that string slots refer to. A slot holds a 32-bit handle; handle 0
// is "no string" and reads as the empty text, as does any handle that is not
// live, so a damaged slot can never reach outside the heap.
//
// Texts live in a deque, so a view of one text stays valid while other texts
// are made; it ends when that text is assigned or released.
class StringHeap {
 public:
  // The longest text a string holds, whatever it comes from: 16 MiB with its
  // terminator, as much as a network message carries. Make and Assign
  // throw TextTooLong for a longer one, so that no text is cut unsaid.
  static constexpr size_t kMaxLength = (size_t{16} << 20) - 1;

  StringHeap();

  uint32_t Make(std::string_view text);
  // Replaces the text of a live handle in place; `text` may view any text of
  // this heap, including the handle's own.
  void Assign(uint32_t handle, std::string_view text);
  void Release(uint32_t handle);

  bool IsLive(uint32_t handle) const {
    return handle != 0 && handle < live_.size() && live_[handle];
  }
  std::string_view View(uint32_t handle) const {
    return IsLive(handle) ? std::string_view(texts_[handle]) : std::string_view();
  }

  size_t LiveCount() const { return live_count_; }
  void Clear();

 private:
  std::deque<std::string> texts_;
  std::vector<uint8_t> live_;
  std::vector<uint32_t> free_;
  size_t live_count_ = 0;
};

}  // namespace zv
