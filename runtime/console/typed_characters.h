#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

namespace zv {

// The characters typed at the window, waiting for the program's questions:
// the input line and `wait key`. Each reaches the program once, in the
// order typed, so a player may type ahead of a program that prints, clears
// the screen or works for some frames between two questions.
//
// A character answers a question typed while that question waits or at
// most kAnswerWindowMs before it began; older ones are keys pressed during
// play, and go when the next question begins. A character typed ahead while
// an earlier question waited was typed as an answer, not in play: its age
// counts from that question's end, so a slow question (a long line to take
// on a slow machine) does not age the answer typed after it. Nor does a key the program
// has seen another way answer a question. A key-state function names the
// key it asks about: a press it finds held was the program's, and none of
// its characters answers a question. `scancode()` only tells that some key
// is down, and a loop on it mostly waits for every key to go up while the
// player types on: a press it finds, and the press whose character
// `inkey$()` gave, answer nothing only while still held when the question
// begins. Let go before, they wait as typed, so such a loop keeps the
// answer typed ahead. The character `inkey$()` gave answers nothing.
class TypedCharacters {
 public:
  static constexpr uint32_t kAnswerWindowMs = 1000;
  // The most letters of one line that wait; past it the line's further
  // letters are dropped, never its Enter, so a line typed or pasted beyond
  // it still ends and the lines after it come whole.
  static constexpr size_t kLineLimit = 4096;
  // The most characters that wait at all. Characters too old to answer
  // anything leave as new ones come, so only a flood of lines within one
  // window can reach it; past it new characters are dropped.
  static constexpr size_t kLimit = 65536;

  // The window's key events (key numbers 0..255); a repeat is a held key
  // typing again. The characters after a key down are that key's.
  void KeyDown(int key, bool repeating);
  void KeyUp(int key);
  // A character typed at `now` (milliseconds).
  void Add(uint8_t c, uint32_t now);

  // A question begins at `now`: characters too old to answer it go, and so
  // do those of the presses the program saw that `keyboard` (by scan code,
  // as the input poll left it) shows still held; the rest of such a press
  // answers nothing either.
  void BeginQuestion(uint32_t now, const std::array<uint8_t, 256>& keyboard);
  // The question has its answer at `now`: what still waits was typed ahead
  // for the questions after it.
  void EndQuestion(uint32_t now);

  // The oldest character waiting.
  std::optional<uint8_t> Take();
  // The oldest key press waiting: repeats at the front belong to a press
  // already taken. The press answers one question only: its repeats go,
  // those waiting and those still to come while it stays held.
  std::optional<uint8_t> TakePress();

  // `inkey$()` gave the newest character.
  void SawNewestCharacter();
  // A key-state function found the key at `scan_code` held.
  void TookHeldKey(uint8_t scan_code);
  // `scancode()` found the key at `scan_code` held.
  void SawHeldKey(uint8_t scan_code);

  void Clear();
  size_t Waiting() const { return text_.size(); }

 private:
  static constexpr int kNoKey = -1;
  static constexpr uint8_t kEnter = 13;

  struct Typed {
    uint8_t c;
    int key;         // the key that typed it, or kNoKey
    uint32_t press;  // which press of that key
    bool repeated;   // typed again by the key held down
    uint32_t at;     // when it was typed
    uint64_t serial;
  };
  // A key as the window's events show it.
  struct Key {
    bool down = false;
    uint32_t press = 0;  // counts the key's presses; the latest is the one down
    // The press the program saw, and the press that answers nothing: the
    // one down, or the next one when its key down is still to come.
    std::optional<uint32_t> seen;
    std::optional<uint32_t> muted;
  };

  bool ValidKey(int key) const { return key >= 0 && key < static_cast<int>(keys_.size()); }
  // The press of a key that the keyboard state shows held: the one down,
  // or the next when its key down is still to come (the keyboard state may
  // be ahead of the window's events).
  static uint32_t HeldPress(const Key& k) { return k.down ? k.press : k.press + 1; }
  void Push(const Typed& typed);
  void PopFront();
  void DropOlderThanWindow(uint32_t now);
  void DropPress(int key, uint32_t press);
  // Counts the letters of the line being typed again, after characters
  // went from the middle of the queue.
  void Recount();

  std::deque<Typed> text_;
  size_t enters_ = 0;        // Enters waiting
  size_t line_letters_ = 0;  // characters after the last Enter waiting
  std::array<Key, 256> keys_{};
  int key_ = kNoKey;  // the key whose character comes next
  bool repeats_ = false;
  uint64_t next_serial_ = 1;
  std::optional<uint64_t> newest_;  // the serial of the newest character, while it waits
};

}  // namespace zv
