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
// the screen, waits or works for some frames between two questions,
// however long that takes.
//
// What was typed before a question began is judged in lines: each finished
// line (up to its Enter) and the unfinished rest are kept or dropped whole,
// never cut, since a part of a line is a wrong answer. A line is play when
// the program looked at the keyboard after one of its characters was typed
// (a key function, `scancode()`, `inkey$()`): a program that reads keys is
// playing, and the keys it was given answer nothing. A look therefore drops
// every line typed so far, and the rest of the line being typed up to its
// Enter. The presses held at a look are play too, their characters still
// to come and their repeats included. What is typed after a question began
// answers it, whatever came before.
class TypedCharacters {
 public:
  using Keyboard = std::array<uint8_t, 256>;  // by scan code, as the input poll leaves it

  // The most letters of one line that wait; past it the line's further
  // letters are dropped, never its Enter, so a line typed or pasted beyond
  // it still ends and the lines after it come whole.
  static constexpr size_t kLineLimit = 4096;
  // The most characters that wait at all; past it the oldest lines go
  // whole to make room.
  static constexpr size_t kLimit = 65536;

  // The window's key events (key numbers 0..255); a repeat is a held key
  // typing again. The characters after a key down are that key's.
  void KeyDown(int key, bool repeating);
  void KeyUp(int key);
  void Add(uint8_t c);

  // The program read the keys; `keyboard` is what it read.
  void Look(const Keyboard& keyboard);

  // A question begins, with `keyboard` showing the keys held now; it has
  // its answer at its end.
  void BeginQuestion(const Keyboard& keyboard);
  void EndQuestion();

  // The oldest character waiting.
  std::optional<uint8_t> Take();
  // The oldest key press waiting: repeats at the front belong to a press
  // already taken. The press answers one question only: its repeats go,
  // those waiting and those still to come while it stays held.
  std::optional<uint8_t> TakePress();

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
  };
  // A key as the window's events show it.
  struct Key {
    bool down = false;
    uint32_t press = 0;  // counts the key's presses; the latest is the one down
    // The press that answers nothing: the one down, or the next one when
    // its key down is still to come.
    std::optional<uint32_t> muted;
  };

  bool ValidKey(int key) const { return key >= 0 && key < static_cast<int>(keys_.size()); }
  // Whether the key is held by the window's events or by the keyboard
  // state, which may be ahead of them.
  static bool Held(const Key& k, const std::array<bool, 256>& held_by_state, size_t key) {
    return k.down || held_by_state[key];
  }
  static std::array<bool, 256> HeldKeys(const Keyboard& keyboard);
  // A muted press typed a character: the program saw it.
  void AddSeen(uint8_t c);
  void Push(const Typed& typed);
  void PopFront();
  void DropRest();
  void DropOldestLine();
  void DropPress(int key, uint32_t press);
  // Counts the letters of the line being typed again, after characters
  // went from the queue other than at its front.
  void Recount();

  std::deque<Typed> text_;
  size_t enters_ = 0;        // Enters waiting
  size_t line_letters_ = 0;  // characters after the last Enter waiting
  std::array<Key, 256> keys_{};
  int key_ = kNoKey;  // the key whose character comes next
  bool repeats_ = false;
  bool asking_ = false;
  // The line being typed began before a look: up to its Enter it is play.
  bool line_is_play_ = false;
  // What the last look saw: a program that reads the keys many times a
  // frame finds them as its last look left them.
  std::optional<Keyboard> looked_at_;
};

}  // namespace zv
