#include "runtime/console/typed_characters.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/input/input.h"
#include "platform/input/key_codes.h"
#include "platform/window/window.h"

namespace zv {
namespace {

namespace scan = platform::scan;
namespace key = platform::key;
using Keyboard = std::array<uint8_t, 256>;

constexpr uint32_t kAsked = 10000;  // when the question begins

std::string TakeAll(TypedCharacters& typed) {
  std::string taken;
  while (const auto c = typed.Take()) taken += static_cast<char>(*c);
  return taken;
}

// A key pressed and its character typed, at `at`.
void Press(TypedCharacters& typed, int key_number, char c, uint32_t at = kAsked - 100) {
  typed.KeyDown(key_number, false);
  typed.Add(static_cast<uint8_t>(c), at);
}

// Typed shortly before the question or while it waits, a character answers
// it; typed longer ago, during play, it does not.
TEST(TypedCharacters, AnswerWhatWasTypedInTheLastSecondOrWhileTheQuestionWaits) {
  struct Case {
    uint32_t typed_before_ms;
    bool answers;
  };
  for (const Case& c : {Case{0, true}, Case{400, true}, Case{1000, true}, Case{1001, false}, Case{60000, false}}) {
    SCOPED_TRACE(c.typed_before_ms);
    TypedCharacters typed;
    Press(typed, 'Q', 'q', kAsked - c.typed_before_ms);
    typed.KeyUp('Q');
    typed.BeginQuestion(kAsked, {});
    EXPECT_EQ(TakeAll(typed), std::string(c.answers ? "q" : ""));
    // However long the question then waits.
    Press(typed, 'A', 'a', kAsked + 5000);
    EXPECT_EQ(TakeAll(typed), "a");
  }
}

// An answer typed ahead while an earlier question waits keeps however long
// that question then takes (a long line on a slow machine); it ages only
// from that question's end.
TEST(TypedCharacters, AnAnswerTypedAheadAgesFromTheEndOfTheQuestionBefore) {
  TypedCharacters typed;
  typed.BeginQuestion(kAsked, {});
  for (char c : std::string("a\rbob\r")) typed.Add(static_cast<uint8_t>(c), kAsked + 100);
  EXPECT_EQ(typed.Take(), 'a');
  EXPECT_EQ(typed.Take(), '\r');
  typed.EndQuestion(kAsked + 2000);
  typed.BeginQuestion(kAsked + 2900, {});
  EXPECT_EQ(TakeAll(typed), "bob\r");
  typed.Add('z', kAsked + 3000);
  typed.EndQuestion(kAsked + 3000);
  typed.BeginQuestion(kAsked + 4001, {});
  EXPECT_EQ(TakeAll(typed), "");
}

// What the program saw another way answers no question: a press a
// key-state function found held, with every character it types; the
// character `inkey$()` gave; a press `scancode()` found held, or whose
// character `inkey$()` gave, that is still held when the question begins,
// with the characters it types later. Such a press let go before the
// question waits as typed, as do the keys pressed while a seen key is held.
TEST(TypedCharacters, APressTheProgramSawAnswersNothing) {
  struct Case {
    const char* name;
    std::function<void(TypedCharacters&, Keyboard&)> before;  // before the question; the keys held at it
    std::function<void(TypedCharacters&)> after;               // while it waits
    std::string answer;
  };
  const Case kCases[] = {
      {"found held by scancode() and still held",
       [](TypedCharacters& t, Keyboard& k) {
         Press(t, 'X', 'x');
         t.SawHeldKey(scan::kX);
         k[scan::kX] = platform::kKeyHeld;
       },
       [](TypedCharacters& t) {
         t.KeyDown('X', true);
         t.Add('x', kAsked + 600);
         t.KeyUp('X');
         Press(t, 'Y', 'y', kAsked + 700);
       },
       "y"},
      {"found held by scancode(), let go before the question",
       [](TypedCharacters& t, Keyboard&) {
         Press(t, 'X', 'x');
         t.SawHeldKey(scan::kX);
         t.KeyUp('X');
       },
       [](TypedCharacters&) {}, "x"},
      {"found held by a key-state function, let go before the question",
       [](TypedCharacters& t, Keyboard&) {
         Press(t, 'X', 'x');
         t.TookHeldKey(scan::kX);
         t.KeyUp('X');
         Press(t, 'X', 'x');
       },
       [](TypedCharacters&) {}, "x"},
      {"found held by scancode() before its key down came",
       [](TypedCharacters& t, Keyboard& k) {
         t.SawHeldKey(scan::kX);
         k[scan::kX] = platform::kKeyHeld;
       },
       [](TypedCharacters& t) {
         Press(t, 'X', 'x', kAsked + 10);
         t.KeyUp('X');
         Press(t, 'X', 'x', kAsked + 200);
       },
       "x"},
      {"the name typed while the Return seen is held",
       [](TypedCharacters& t, Keyboard& k) {
         Press(t, key::kEnter, '\r');
         t.TookHeldKey(scan::kEnter);
         Press(t, 'A', 'a');
         k[scan::kEnter] = k[scan::kA] = platform::kKeyHeld;
       },
       [](TypedCharacters& t) {
         t.KeyUp(key::kEnter);
         Press(t, 'N', 'n', kAsked + 50);
         Press(t, key::kEnter, '\r', kAsked + 100);
       },
       "an\r"},
      {"the keypad's Enter found held by scancode()",
       [](TypedCharacters& t, Keyboard& k) {
         Press(t, key::kEnter, '\r');
         t.SawHeldKey(scan::kKeypadEnter);
         k[scan::kKeypadEnter] = platform::kKeyHeld;
       },
       [](TypedCharacters&) {}, ""},
      {"characters without a key down of their own, typed as seen keys are held",
       [](TypedCharacters& t, Keyboard& k) {
         t.KeyDown(key::kShift, false);
         t.Add(':', kAsked - 100);
         Press(t, 'A', 'A');
         t.Add('!', kAsked - 100);  // composed after the A
         t.TookHeldKey(scan::kLeftShift);
         t.SawHeldKey(scan::kA);
         k[scan::kLeftShift] = k[scan::kA] = platform::kKeyHeld;
       },
       [](TypedCharacters&) {}, ":!"},
      {"inkey$ gave the newest character",
       [](TypedCharacters& t, Keyboard&) {
         Press(t, 'A', 'a');
         t.KeyUp('A');
         Press(t, 'B', 'b');
         t.SawNewestCharacter();
         t.SawNewestCharacter();
       },
       [](TypedCharacters&) {}, "a"},
      {"inkey$ gave it and its key is still held",
       [](TypedCharacters& t, Keyboard& k) {
         Press(t, 'B', 'b');
         t.SawNewestCharacter();
         k[scan::kB] = platform::kKeyHeld;
       },
       [](TypedCharacters& t) {
         t.KeyDown('B', true);
         t.Add('b', kAsked + 600);
       },
       ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TypedCharacters typed;
    Keyboard keyboard{};
    c.before(typed, keyboard);
    typed.BeginQuestion(kAsked, keyboard);
    c.after(typed);
    EXPECT_EQ(TakeAll(typed), c.answer);
  }
}

// Past the bound a line's further letters are dropped, never its Enter: a
// flood of 5,000 letters still ends its line, and the lines after it come
// whole, whether one line floods or many do.
TEST(TypedCharacters, AFloodKeepsEveryEnterAndTheLinesAfterIt) {
  for (const int flooded_lines : {1, 10}) {
    SCOPED_TRACE(flooded_lines);
    TypedCharacters typed;
    std::string expected;
    for (int line = 0; line < flooded_lines; ++line) {
      for (int i = 0; i < 5000; ++i) typed.Add('x', kAsked);
      typed.Add('\r', kAsked);
      expected += std::string(TypedCharacters::kLineLimit, 'x') + "\r";
    }
    for (char c : std::string("bob\r")) typed.Add(static_cast<uint8_t>(c), kAsked);
    typed.BeginQuestion(kAsked, {});
    EXPECT_EQ(TakeAll(typed), expected + "bob\r");
  }
}

}  // namespace
}  // namespace zv
