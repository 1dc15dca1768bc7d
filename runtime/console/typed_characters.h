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
// A character is play when the program read its key: `inkey$()`,
// `entry$()`, `scancode()` or `wait key` returned it, or a function for
// that key (`key state(n)`, `space key()`, ...) found it down. A look at
// one key reads that key only, so letters typed while a game watches the
// space bar are no play. What was typed before a question began is judged
// in lines when it begins: each finished line (up to its Enter) and the
// unfinished rest answer whole unless one of their characters was play,
// and are then dropped whole, since a part of a line is a wrong answer.
// An empty line (an Enter alone) typed before an input line began answers
// it not: a stray Return during play would give an empty name.
// What is typed once a question has begun answers it, but for the further
// characters of a press the program read (a held key's repeats).
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

  // The program reads the keys. A key function looks at the key of
  // `scan_code` in `keyboard`: true when it is down, and its press is then
  // play, the characters it is still to type included.
  bool ReadKey(uint8_t scan_code, const Keyboard& keyboard);
  // `scancode()`: the lowest scan code held (0 for none), whose press is
  // then play.
  uint8_t ReadLowestKey(const Keyboard& keyboard);
  // `inkey$()` gave the character typed last: its press is play.
  void ReadLastCharacter();
  // `entry$()` gave, or `clear entry buffer` emptied, the `count`
  // characters typed last.
  void ReadLastCharacters(size_t count);

  // What a question takes: a line up to its Enter (the input line), or one
  // press (`wait key`).
  enum class Question { kLine, kPress };
  // A question begins, with `keyboard` showing the keys held now; it has
  // its answer at its end.
  void BeginQuestion(const Keyboard& keyboard, Question question = Question::kLine);
  void EndQuestion();

  // The oldest character waiting.
  std::optional<uint8_t> Take();
  // The oldest key press waiting: repeats at the front belong to a press
  // already taken. The press answers one question only: its repeats go,
  // those waiting and those still to come while it stays held. Taken from
  // a line typed before the question, the rest of that line typed before
  // the question answers no input line after it; further presses of it
  // answer the waits for a key that follow, one each. A Return taken is
  // the end of its line: the lines after it answer as typed.
  std::optional<uint8_t> TakePress();

  void Clear();

 private:
  static constexpr int kNoKey = -1;
  static constexpr uint8_t kEnter = 13;

  struct Typed {
    uint8_t c;
    int key;         // the key that typed it, or kNoKey
    uint32_t press;  // which press of that key
    bool repeated;   // typed again by the key held down
    bool asked;      // typed once a question had begun
    bool play;       // the program read it: its line answers nothing
    bool taken_from;  // its line gave a wait key its press: it answers no input line
    uint64_t count;  // how many characters were typed up to it
  };
  // A key as the window's events show it.
  struct Key {
    bool down = false;
    uint32_t press = 0;  // counts the key's presses; the latest is the one down
    // The press the program read: the one down, or the next one when the
    // program found the key down before its key down came.
    std::optional<uint32_t> read;
  };

  bool ValidKey(int key) const { return key >= 0 && key < static_cast<int>(keys_.size()); }
  // Whether the key is held by the window's events or by the keyboard
  // state, which may be ahead of them.
  static bool Held(const Key& k, const std::array<bool, 256>& held_by_state, size_t key) {
    return k.down || held_by_state[key];
  }
  static std::array<bool, 256> HeldKeys(const Keyboard& keyboard);
  void ReadKeyNumber(int key);
  void ReadPress(int key, uint32_t press);
  // Drops each line waiting that holds a character of play, and before an
  // input line each that a wait key took from and each empty one.
  void DropLinesOfPlay(Question question);
  void Push(const Typed& typed);
  void PopFront();
  void DropOldestLine();
  void DropPress(int key, uint32_t press);
  // Counts the Enters and the letters of the line being typed again, after
  // characters went from the queue other than at its front.
  void Recount();

  std::deque<Typed> text_;
  size_t enters_ = 0;        // Enters waiting
  size_t line_letters_ = 0;  // characters after the last Enter waiting
  std::array<Key, 256> keys_{};
  int key_ = kNoKey;  // the key whose character comes next
  bool repeats_ = false;
  bool asking_ = false;
  uint64_t typed_ = 0;  // characters typed so far
  // The character typed last, for `inkey$()`.
  std::optional<Typed> last_;
};

}  // namespace zv
