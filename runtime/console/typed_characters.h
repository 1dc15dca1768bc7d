#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace zv {

// The characters typed at the window for the input line and `wait key`. A
// person types faster than a program's turns come round, so every character
// that arrives between two turns waits here to be taken in order. What the
// turn after its arrival leaves untaken is dropped: keys pressed while the
// program was busy with something else do not answer its next question.
class TypedCharacters {
 public:
  void Add(uint8_t c) { text_.push_back(static_cast<char>(c)); }

  // A turn of the program begins: what the previous turn left goes.
  void StartTurn() {
    text_.erase(0, offered_);
    offered_ = text_.size();
  }

  // The oldest character not yet taken.
  std::optional<uint8_t> Take() {
    if (text_.empty()) return std::nullopt;
    const auto c = static_cast<uint8_t>(text_.front());
    text_.erase(0, 1);
    if (offered_ > 0) --offered_;
    return c;
  }

  // What was typed after the end of a line is kept for one more turn: it
  // answers the program's next question.
  void KeepForNextTurn() { offered_ = 0; }

  void Clear() {
    text_.clear();
    offered_ = 0;
  }

 private:
  std::string text_;
  size_t offered_ = 0;  // characters at the front that a turn has already seen
};

}  // namespace zv
