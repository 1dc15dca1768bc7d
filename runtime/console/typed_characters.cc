#include "runtime/console/typed_characters.h"

#include <algorithm>
#include <vector>

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
  if (k.read == k.press) k.read.reset();
  if (key_ == key) key_ = kNoKey;
}

void TypedCharacters::Add(uint8_t c) {
  const bool keyed = ValidKey(key_);
  const uint32_t press = keyed ? keys_[static_cast<size_t>(key_)].press : 0;
  const bool play = keyed && keys_[static_cast<size_t>(key_)].read == press;
  const Typed typed{c, key_, press, repeats_, asking_, play, false, ++typed_};
  last_ = typed;
  // A key down types one character; any more before the next key down
  // (a composed text) belong to no key.
  key_ = kNoKey;
  repeats_ = false;
  // Once a question has begun a press the program read goes alone: the
  // Return held to end a game's loop, repeating, answers nothing.
  if (play && asking_) return;
  if (c != kEnter && line_letters_ >= kLineLimit) {
    // The line keeps its play, though not the letter.
    if (play) text_.back().play = true;
    return;
  }
  if (text_.size() >= kLimit) DropOldestLine();
  if (text_.size() >= kLimit) return;
  Push(typed);
}

bool TypedCharacters::ReadKey(uint8_t scan_code, const Keyboard& keyboard) {
  if ((keyboard[scan_code] & platform::kKeyHeld) == 0) return false;
  ReadKeyNumber(platform::KeyNumberOfScanCode(scan_code));
  return true;
}

uint8_t TypedCharacters::ReadLowestKey(const Keyboard& keyboard) {
  for (size_t scan_code = 1; scan_code < keyboard.size(); ++scan_code)
    if (keyboard[scan_code] != 0) {
      ReadKeyNumber(platform::KeyNumberOfScanCode(static_cast<uint8_t>(scan_code)));
      return static_cast<uint8_t>(scan_code);
    }
  return 0;
}

void TypedCharacters::ReadLastCharacter() {
  if (!last_) return;
  if (ValidKey(last_->key)) {
    ReadPress(last_->key, last_->press);
    return;
  }
  // A composed letter belongs to no key: it alone was read.
  for (Typed& t : text_)
    if (t.count == last_->count) t.play = true;
}

void TypedCharacters::ReadLastCharacters(size_t count) {
  for (auto t = text_.rbegin(); t != text_.rend() && typed_ - t->count < count; ++t) t->play = true;
}

// The key found down is read by its press: the one the window's events
// show down, or the next one when the keyboard state is ahead of them.
void TypedCharacters::ReadKeyNumber(int key) {
  if (key <= 0 || !ValidKey(key)) return;
  const Key& k = keys_[static_cast<size_t>(key)];
  ReadPress(key, k.down ? k.press : k.press + 1);
}

void TypedCharacters::ReadPress(int key, uint32_t press) {
  Key& k = keys_[static_cast<size_t>(key)];
  if (k.read == press) return;
  k.read = press;
  for (Typed& t : text_)
    if (t.key == key && t.press == press) t.play = true;
}

void TypedCharacters::BeginQuestion(const Keyboard& keyboard, Question question) {
  asking_ = true;
  const std::array<bool, 256> held = HeldKeys(keyboard);
  for (size_t key = 1; key < keys_.size(); ++key) {
    Key& k = keys_[key];
    // A press found held whose key down never came, and whose key is up
    // now, is no press to wait for.
    if (k.read == k.press + 1 && !Held(k, held, key)) k.read.reset();
  }
  DropLinesOfPlay(question);
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
  // Taken from a line typed before the question, the press leaves the rest
  // of that line, as far as it too was typed before, to the waits for a key
  // (three keys tapped ahead end three of them) but to no input line, which
  // part of a line would answer wrongly. What came once the question had
  // begun answers the questions after it. A Return taken ends its line:
  // what follows is a line of its own, which the press marks nothing of.
  if (!press.asked && press.c != kEnter) {
    for (Typed& t : text_) {
      if (!t.asked) t.taken_from = true;
      if (t.c == kEnter) break;
    }
  }
  if (ValidKey(press.key)) {
    keys_[static_cast<size_t>(press.key)].read = press.press;
    DropPress(press.key, press.press);
  }
  return press.c;
}

void TypedCharacters::Clear() {
  text_.clear();
  enters_ = line_letters_ = 0;
  keys_ = {};
  key_ = kNoKey;
  repeats_ = asking_ = false;
  last_.reset();
}

std::array<bool, 256> TypedCharacters::HeldKeys(const Keyboard& keyboard) {
  std::array<bool, 256> held{};
  for (size_t scan_code = 0; scan_code < keyboard.size(); ++scan_code)
    if (keyboard[scan_code] & platform::kKeyHeld)
      held[static_cast<size_t>(platform::KeyNumberOfScanCode(static_cast<uint8_t>(scan_code)))] = true;
  return held;
}

void TypedCharacters::DropLinesOfPlay(Question question) {
  std::deque<Typed> kept;
  std::vector<Typed> line;
  bool play = false;
  for (const Typed& t : text_) {
    line.push_back(t);
    play = play || t.play || (question == Question::kLine && t.taken_from);
    if (t.c != kEnter && &t != &text_.back()) continue;
    // A Return alone, typed before an input line began, is a stray press
    // during play (or a second one after an answer): it answers nothing.
    const bool empty = question == Question::kLine && line.size() == 1 && t.c == kEnter;
    if (!play && !empty) kept.insert(kept.end(), line.begin(), line.end());
    line.clear();
    play = false;
  }
  text_ = std::move(kept);
  Recount();
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
