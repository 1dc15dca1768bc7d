#include "runtime/console/typed_characters.h"

#include <algorithm>

#include "platform/input/input.h"
#include "platform/input/key_numbers.h"
#include "platform/window/window.h"

namespace zv {

void TypedCharacters::KeyDown(int key, bool repeating) {
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
  if (!ValidKey(key)) return;
  Key& k = keys_[static_cast<size_t>(key)];
  k.down = false;
  // Its press is over: seen and let go, its characters wait as typed.
  if (k.seen == k.press) k.seen.reset();
  if (k.muted == k.press) k.muted.reset();
  if (key_ == key) key_ = kNoKey;
}

void TypedCharacters::Add(uint8_t c, uint32_t now) {
  const bool keyed = ValidKey(key_);
  const Typed typed{c, key_, keyed ? keys_[static_cast<size_t>(key_)].press : 0, repeats_, now, next_serial_++};
  // A key down types one character; any more before the next key down
  // (a composed text) belong to no key.
  key_ = kNoKey;
  repeats_ = false;
  newest_.reset();
  if (keyed && keys_[static_cast<size_t>(typed.key)].muted == typed.press) return;
  DropOlderThanWindow(now);
  if (text_.size() >= kLimit) return;
  if (c != kEnter && line_letters_ >= kLineLimit) return;
  Push(typed);
  newest_ = typed.serial;
}

void TypedCharacters::BeginQuestion(uint32_t now, const std::array<uint8_t, 256>& keyboard) {
  DropOlderThanWindow(now);
  std::array<bool, 256> held{};
  for (size_t scan_code = 0; scan_code < keyboard.size(); ++scan_code)
    if (keyboard[scan_code] & platform::kKeyHeld)
      held[static_cast<size_t>(platform::KeyNumberOfScanCode(static_cast<uint8_t>(scan_code)))] = true;
  for (size_t key = 1; key < keys_.size(); ++key) {
    Key& k = keys_[key];
    if (k.seen && held[key]) {
      k.muted = k.seen;
      DropPress(static_cast<int>(key), *k.seen);
    } else if (k.muted == k.press + 1 && !held[key]) {
      // A press found held whose key down never came, and whose key is up
      // now, is no press to wait for.
      k.muted.reset();
    }
    k.seen.reset();
  }
}

void TypedCharacters::EndQuestion(uint32_t now) {
  for (Typed& t : text_) t.at = now;
}

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

void TypedCharacters::SawNewestCharacter() {
  if (!newest_) return;
  const auto it = std::find_if(text_.rbegin(), text_.rend(), [&](const Typed& t) { return t.serial == *newest_; });
  newest_.reset();
  if (it == text_.rend()) return;
  if (ValidKey(it->key)) keys_[static_cast<size_t>(it->key)].seen = it->press;
  text_.erase(std::next(it).base());
  Recount();
}

void TypedCharacters::TookHeldKey(uint8_t scan_code) {
  const int key = platform::KeyNumberOfScanCode(scan_code);
  if (key == 0) return;
  Key& k = keys_[static_cast<size_t>(key)];
  k.muted = HeldPress(k);
  DropPress(key, *k.muted);
}

void TypedCharacters::SawHeldKey(uint8_t scan_code) {
  const int key = platform::KeyNumberOfScanCode(scan_code);
  if (key == 0) return;
  Key& k = keys_[static_cast<size_t>(key)];
  k.seen = HeldPress(k);
}

void TypedCharacters::Clear() {
  text_.clear();
  enters_ = line_letters_ = 0;
  keys_ = {};
  key_ = kNoKey;
  repeats_ = false;
  newest_.reset();
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

void TypedCharacters::DropOlderThanWindow(uint32_t now) {
  while (!text_.empty() && now - text_.front().at > kAnswerWindowMs) PopFront();
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
