#include "runtime/console/typed_characters.h"

#include <algorithm>

#include "platform/input/input.h"
#include "platform/input/key_numbers.h"
#include "platform/window/window.h"

namespace zv {

void TypedCharacters::KeyDown(int key, bool repeating) {
  looked_at_.reset();
  repeats_ = repeating;
  if (!ValidKey(key)) {
    key_ = kNoKey;
    return;
  }
  Key& k = keys_[static_cast<size_t>(key)];
  if (!repeating) ++k.press;
  k.down = true;
  // A modifier types nothing itself: a character typed with it held comes
  // from a key of its own, even one the window gives no key down for.
  const bool modifier = key == platform::key::kShift || key == platform::key::kControl || key == platform::key::kAlt;
  key_ = modifier ? kNoKey : key;
}

void TypedCharacters::KeyUp(int key) {
  looked_at_.reset();
  if (!ValidKey(key)) return;
  Key& k = keys_[static_cast<size_t>(key)];
  k.down = false;
  if (k.muted == k.press) k.muted.reset();
  if (key_ == key) key_ = kNoKey;
}

void TypedCharacters::Add(uint8_t c) {
  looked_at_.reset();
  const bool keyed = ValidKey(key_);
  const Typed typed{c, key_, keyed ? keys_[static_cast<size_t>(key_)].press : 0, repeats_};
  // A key down types one character; any more before the next key down
  // (a composed text) belong to no key.
  key_ = kNoKey;
  repeats_ = false;
  if (keyed && keys_[static_cast<size_t>(typed.key)].muted == typed.press) {
    AddSeen(c);
    return;
  }
  if (line_is_play_) {
    if (c == kEnter) line_is_play_ = false;
    return;
  }
  if (c != kEnter && line_letters_ >= kLineLimit) return;
  if (text_.size() >= kLimit) DropOldestLine();
  if (text_.size() >= kLimit) return;
  Push(typed);
}

// Once a question has begun, what comes answers it: the press the program
// saw goes alone. Before, its line goes whole.
void TypedCharacters::AddSeen(uint8_t c) {
  if (asking_) return;
  DropRest();
  line_is_play_ = c != kEnter;
}

void TypedCharacters::Look(const Keyboard& keyboard) {
  if (looked_at_ == keyboard) return;
  looked_at_ = keyboard;
  if (!text_.empty() && text_.back().c != kEnter) line_is_play_ = true;
  text_.clear();
  enters_ = line_letters_ = 0;
  const std::array<bool, 256> held = HeldKeys(keyboard);
  for (size_t key = 1; key < keys_.size(); ++key) {
    Key& k = keys_[key];
    if (Held(k, held, key)) k.muted = k.down ? k.press : k.press + 1;
  }
}

void TypedCharacters::BeginQuestion(const Keyboard& keyboard) {
  looked_at_.reset();
  asking_ = true;
  line_is_play_ = false;
  const std::array<bool, 256> held = HeldKeys(keyboard);
  for (size_t key = 1; key < keys_.size(); ++key) {
    Key& k = keys_[key];
    // A press found held whose key down never came, and whose key is up
    // now, is no press to wait for.
    if (k.muted == k.press + 1 && !Held(k, held, key)) k.muted.reset();
  }
}

void TypedCharacters::EndQuestion() { asking_ = false; }

std::optional<uint8_t> TypedCharacters::Take() {
  if (text_.empty()) return std::nullopt;
  const uint8_t c = text_.front().c;
  PopFront();
  return c;
}

std::optional<uint8_t> TypedCharacters::TakePress() {
  while (!text_.empty() && text_.front().repeated) PopFront();
  if (text_.empty()) return std::nullopt;
  const Typed press = text_.front();
  PopFront();
  if (ValidKey(press.key)) {
    keys_[static_cast<size_t>(press.key)].muted = press.press;
    DropPress(press.key, press.press);
  }
  return press.c;
}

void TypedCharacters::Clear() {
  text_.clear();
  enters_ = line_letters_ = 0;
  keys_ = {};
  key_ = kNoKey;
  repeats_ = asking_ = line_is_play_ = false;
  looked_at_.reset();
}

std::array<bool, 256> TypedCharacters::HeldKeys(const Keyboard& keyboard) {
  std::array<bool, 256> held{};
  for (size_t scan_code = 0; scan_code < keyboard.size(); ++scan_code)
    if (keyboard[scan_code] & platform::kKeyHeld)
      held[static_cast<size_t>(platform::KeyNumberOfScanCode(static_cast<uint8_t>(scan_code)))] = true;
  return held;
}

void TypedCharacters::Push(const Typed& typed) {
  text_.push_back(typed);
  if (typed.c == kEnter) {
    ++enters_;
    line_letters_ = 0;
  } else {
    ++line_letters_;
  }
}

void TypedCharacters::PopFront() {
  if (text_.front().c == kEnter)
    --enters_;
  else if (enters_ == 0)
    --line_letters_;
  text_.pop_front();
}

void TypedCharacters::DropRest() {
  while (!text_.empty() && text_.back().c != kEnter) text_.pop_back();
  line_letters_ = 0;
}

void TypedCharacters::DropOldestLine() {
  if (enters_ == 0) return;
  while (text_.front().c != kEnter) PopFront();
  PopFront();
}

void TypedCharacters::DropPress(int key, uint32_t press) {
  const auto of_press = [&](const Typed& t) { return t.key == key && t.press == press; };
  const auto from = std::remove_if(text_.begin(), text_.end(), of_press);
  if (from == text_.end()) return;
  text_.erase(from, text_.end());
  Recount();
}

void TypedCharacters::Recount() {
  enters_ = line_letters_ = 0;
  for (const Typed& t : text_) {
    if (t.c == kEnter) {
      ++enters_;
      line_letters_ = 0;
    } else {
      ++line_letters_;
    }
  }
}

}  // namespace zv
