#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zv {

// The characters typed at the window for the input line and `wait key`. A
// person types faster than a program's turns come round, so every character
// that arrives between two turns waits here to be taken in order. What the
// turn after its arrival leaves untaken is dropped: keys pressed while the
// program was busy with something else do not answer its next question.
class TypedCharacters {
 public:
  // A key's next character is one it types again while held down.
  void KeyDown(bool repeating) { next_repeats_ = repeating; }

  void Add(uint8_t c) {
    text_.push_back({c, next_repeats_});
    next_repeats_ = false;
  }

  // A turn of the program begins: what the previous turn left goes.
  void StartTurn() {
    text_.erase(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(offered_));
    offered_ = text_.size();
  }

  // The oldest character not yet taken.
  std::optional<uint8_t> Take() {
    if (text_.empty()) return std::nullopt;
    const uint8_t c = text_.front().c;
    text_.erase(text_.begin());
    if (offered_ > 0) --offered_;
    return c;
  }

  // The oldest character of a new key press: a key held down until it
  // repeats is still one press.
  std::optional<uint8_t> TakePress() {
    while (!text_.empty() && text_.front().repeated) Take();
    return Take();
  }

  // What was typed after the end of a line is kept for one more turn: it
  // answers the program's next question.
  void KeepForNextTurn() { offered_ = 0; }

  void Clear() {
    text_.clear();
    offered_ = 0;
    next_repeats_ = false;
  }

 private:
  struct Typed {
    uint8_t c;
    bool repeated;
  };
  std::vector<Typed> text_;
  size_t offered_ = 0;  // characters at the front that a turn has already seen
  bool next_repeats_ = false;
};

}  // namespace zv
