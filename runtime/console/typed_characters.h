#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

namespace zv {

// The characters typed at the window, waiting for the program's questions:
// the input line and `wait key`. Each reaches the program once, in the
// order typed, whenever the program comes to ask: a player may type ahead
// of a program that prints, clears the screen or works for some frames
// between two questions. What one question leaves waits for the next.
// Only the program's own look at the keyboard ends that wait (`Claim`): a
// key it has seen some other way was for that, not an answer.
class TypedCharacters {
 public:
  // The most characters that wait. Past it a character is not kept for a
  // question (`inkey$()` and `entry$()` still see it), except that an Enter
  // takes the newest one's place, so that a line typed or pasted beyond it
  // still ends.
  static constexpr size_t kLimit = 4096;

  // A key went down; `repeating` when it types again because it is held.
  // The characters after it are that key's.
  void KeyDown(int key, bool repeating) {
    key_ = key;
    repeats_ = repeating;
    if (!repeating && key == answered_key_) answered_key_ = kNoKey;
  }
  void KeyUp(int key) {
    if (key == answered_key_) answered_key_ = kNoKey;
  }

  void Add(uint8_t c) {
    const Typed typed{c, key_, repeats_};
    repeats_ = false;
    if (typed.repeated && typed.key == answered_key_) return;
    if (text_.size() < kLimit)
      text_.push_back(typed);
    else if (c == kEnter)
      text_.back() = typed;
  }

  // The oldest character waiting.
  std::optional<uint8_t> Take() {
    if (text_.empty()) return std::nullopt;
    const uint8_t c = text_.front().c;
    text_.pop_front();
    return c;
  }

  // The oldest key press waiting: repeats at the front belong to a press
  // already taken. The press answers one question only: its key's repeats
  // go, those waiting and those still to come while it stays held.
  std::optional<uint8_t> TakePress() {
    while (!text_.empty() && text_.front().repeated) text_.pop_front();
    if (text_.empty()) return std::nullopt;
    const Typed press = text_.front();
    text_.pop_front();
    while (!text_.empty() && text_.front().repeated && text_.front().key == press.key) text_.pop_front();
    answered_key_ = press.key;
    return press.c;
  }

  // The program read the keyboard another way (the last character, the
  // entry buffer, a key found held): what was typed so far was for that.
  void Claim() { text_.clear(); }

  void Clear() {
    text_.clear();
    key_ = kNoKey;
    repeats_ = false;
    answered_key_ = kNoKey;
  }

  size_t Waiting() const { return text_.size(); }

 private:
  static constexpr int kNoKey = -1;
  static constexpr uint8_t kEnter = 13;
  struct Typed {
    uint8_t c;
    int key;        // the key that typed it
    bool repeated;  // typed again by a key held down
  };
  std::deque<Typed> text_;
  int key_ = kNoKey;  // the last key down
  bool repeats_ = false;
  // The key whose press answered a `wait key`; its repeats answer nothing
  // until it is let go.
  int answered_key_ = kNoKey;
};

}  // namespace zv
