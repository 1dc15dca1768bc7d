#include "runtime/console/typed_characters.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "platform/input/input.h"
#include "platform/input/key_codes.h"
#include "platform/input/key_numbers.h"
#include "platform/window/window.h"

namespace zv {
namespace {

using Keyboard = TypedCharacters::Keyboard;

// Plays a session written as the keys a person types and what the program
// does, and gives what its questions took, "|" between two questions.
// A character is a key tapped ("/" is Return); {hold K} presses K and
// types its character, {repeat K} types it again held, {up K} lets it go,
// {state K} is K held in the keyboard state before the window's key down
// for it came. The program's reads: {read K} a function for K's key,
// {scancode}, {inkey}, {entry} and {clear} (`clear entry buffer`). {ask}
// is an input line, {press} a `wait key`, which goes on (its key is still
// to be let go) until the program's next step. A question still waiting
// at the end shows "_".
class Session {
 public:
  std::string Play(const std::string& script) {
    for (size_t i = 0; i < script.size(); ++i) {
      if (script[i] != '{') {
        Tap(script[i]);
      } else {
        const size_t end = script.find('}', i);
        Step(script.substr(i + 1, end - i - 1));
        i = end;
      }
      Answer();
    }
    if (pressing_) answers_ += line_.empty() ? "_" : line_;
    else if (asking_) answers_ += line_ + "_";
    return answers_;
  }

 private:
  static int KeyNumber(char c) { return c == '/' ? platform::key::kEnter : std::toupper(static_cast<unsigned char>(c)); }
  static uint8_t Character(char c) { return c == '/' ? '\r' : static_cast<uint8_t>(c); }
  static uint8_t ScanCode(char c) {
    for (int code = 1; code < 256; ++code)
      if (platform::KeyNumberOfScanCode(static_cast<uint8_t>(code)) == KeyNumber(c)) return static_cast<uint8_t>(code);
    return 0;
  }

  void Tap(char c) {
    Step(std::string("hold ") + c);
    Step(std::string("up ") + c);
  }

  void Type(char c) {
    typed_.Add(Character(c));
    ++in_entry_buffer_;
    character_last_ = true;
  }

  void Step(const std::string& step) {
    const char c = step.back();
    if (step.starts_with("hold")) {
      keyboard_[ScanCode(c)] = platform::kKeyHeld;
      typed_.KeyDown(KeyNumber(c), false);
      Type(c);
    } else if (step.starts_with("repeat")) {
      typed_.KeyDown(KeyNumber(c), true);
      Type(c);
    } else if (step.starts_with("up")) {
      keyboard_[ScanCode(c)] = 0;
      typed_.KeyUp(KeyNumber(c));
      character_last_ = false;
    } else if (step.starts_with("state")) {
      keyboard_[ScanCode(c)] = platform::kKeyHeld;
    } else {
      ProgramStep(step);
    }
  }

  void ProgramStep(const std::string& step) {
    const char c = step.back();
    if (pressing_) {
      answers_ += line_.empty() ? "_" : line_;
      pressing_ = asking_ = false;
      typed_.EndQuestion();
    }
    if (step.starts_with("read")) {
      typed_.ReadKey(ScanCode(c), keyboard_);
    } else if (step == "scancode") {
      typed_.ReadLowestKey(keyboard_);
    } else if (step == "inkey") {
      // `inkey$()` gives a character only while nothing came after it.
      if (character_last_) typed_.ReadLastCharacter();
    } else if (step == "entry" || step == "clear") {
      typed_.ReadLastCharacters(in_entry_buffer_);
      if (step == "clear") in_entry_buffer_ = 0;
    } else {
      if (!answers_.empty() || asked_) answers_ += "|";
      asked_ = asking_ = true;
      pressing_ = step == "press";
      line_.clear();
      typed_.BeginQuestion(keyboard_, pressing_ ? TypedCharacters::Question::kPress : TypedCharacters::Question::kLine);
    }
  }

  // An input line takes what waits, up to its Return; a wait key, a press.
  void Answer() {
    if (pressing_ && line_.empty()) {
      if (const auto press = typed_.TakePress()) line_ = *press == '\r' ? "/" : std::string(1, static_cast<char>(*press));
      return;
    }
    while (asking_ && !pressing_) {
      const auto c = typed_.Take();
      if (!c) return;
      if (*c != '\r') {
        line_ += static_cast<char>(*c);
        continue;
      }
      answers_ += line_;
      asking_ = false;
      typed_.EndQuestion();
    }
  }

  TypedCharacters typed_;
  Keyboard keyboard_{};
  size_t in_entry_buffer_ = 0;
  bool character_last_ = false;  // no event came after the last character
  bool asked_ = false;
  bool asking_ = false;
  bool pressing_ = false;  // the question is a wait key
  std::string line_;
  std::string answers_;
};

// Lines typed before a question answer it whole, however long ago, unless
// one of their characters was play: the program read its key. Then the
// line is dropped whole; what is typed once the question began answers it.
// A look at one key reads that key only.
TEST(TypedCharacters, ALineWithACharacterOfPlayIsDroppedWhole) {
  struct Case {
    const char* name;
    const char* script;
    const char* answers;
  };
  const Case kCases[] = {
      {"typed ahead through a question, however long the wait between", "{ask}go/look at the door/{ask}",
       "go|look at the door"},
      {"typed ahead before both questions", "go/north/{ask}{ask}", "go|north"},
      {"a key found down makes its line play", "{ask}go/o{hold p}{read p}{up p}en the trap/{ask}", "go|_"},
      {"a look at a key that is up reads nothing", "{ask}go/open the{read p} trap/{ask}", "go|open the trap"},
      {"a look at the space bar reads no letter: the rest typed before the question shows at once",
       "ann{read  }{ask}abel/", "annabel"},
      {"letters a game never read answer; a Return alone typed before the question answers nothing",
       "/{read  }qx{ask}ann/{ask}", "qxann|_"},
      {"an empty line typed before a question goes, one typed once it began answers", "//{ask}/{ask}bob/", "|bob"},
      {"a second Return after an answer answers no later question", "{ask}ann//{ask}bob/", "ann|bob"},
      {"the rest of a key found down goes whole, what is typed after the question began answers",
       "a{hold b}{read b}{up b}c{ask}d/", "d"},
      {"a press held at the look and its repeats answer nothing", "{hold /}{read /}{ask}{repeat /}{up /}ann/", "ann"},
      {"a press found held whose key down comes after the question began goes alone",
       "{state x}{read x}{ask}{hold x}{up x}ann/", "ann"},
      {"a press found held whose key down comes before the question: its line is play",
       "{state x}{read x}{hold x}{up x}ann/{ask}bob/", "bob"},
      {"the Return found held ends a line of its own", "{state /}{read /}{hold /}{up /}ann/{ask}", "ann"},
      {"a press held at the look that types again takes its line with it", "{hold /}{read /}a{repeat /}{up /}b/{ask}",
       "b"},
      {"a press in the state only, let go before the question, is none", "{state x}{read x}{up x}{ask}x/", "x"},
      {"scancode() reads the lowest key held only", "{hold /}cd{scancode}{up /}{ask}ef/", "cdef"},
      {"a key inkey$() gave is play", "{hold a}{inkey}{up a}b/{ask}c/", "c"},
      {"a key inkey$() missed answers", "a{inkey}b/{ask}", "ab"},
      {"entry$() and clear entry buffer read what was typed before them", "bob/{entry}{clear}42/{ask}", "42"},
      {"what comes after entry$() answers", "{entry}bob/{ask}", "bob"},
      {"a wait key takes one press; its repeats answer nothing after it", "{hold /}{repeat /}{press}{repeat /}{up /}bob/{ask}",
       "/|bob"},
      {"a press a wait key took from a line typed before it makes that line play", "ann/{press}{ask}bob/", "a|bob"},
      {"what is typed once the wait key began answers the questions after it", "a{press}bc{press}{press}", "a|b|c"},
      {"keys tapped ahead of three waits for a key end one each", "abc{press}{press}{press}", "a|b|c"},
      {"the rest of a line a wait key took from answers the next wait, not a line", "abc/{press}{press}{ask}d/",
       "a|b|d"},
      {"a Return a wait key took ends its line: the line after it answers", "/bob/{press}{ask}", "/|bob"},
      {"the same with the line begun before the wait key and ended after", "/b{press}ob/{ask}", "/|bob"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Session().Play(c.script), c.answers);
  }
}

// Past the bound a line's further letters are dropped, never its Enter: a
// flood of 5,000 letters still ends its line, and the lines after it come
// whole, whether one line floods or many do. Past the bound on all that
// waits the oldest lines go whole.
TEST(TypedCharacters, AFloodKeepsWholeLinesAndTheLinesAfterIt) {
  const std::string full_line = std::string(TypedCharacters::kLineLimit, 'x') + "\r";
  for (const size_t flooded_lines : {size_t{1}, size_t{10}, size_t{40}}) {
    SCOPED_TRACE(flooded_lines);
    TypedCharacters typed;
    for (size_t line = 0; line < flooded_lines; ++line) {
      for (int i = 0; i < 5000; ++i) typed.Add('x');
      typed.Add('\r');
    }
    for (char c : std::string("bob\r")) typed.Add(static_cast<uint8_t>(c));
    typed.BeginQuestion({});
    std::string taken;
    while (const auto c = typed.Take()) taken += static_cast<char>(*c);
    ASSERT_TRUE(taken.ends_with("bob\r"));
    const size_t lines = (taken.size() - 4) / full_line.size();
    EXPECT_EQ(taken, [&] {
      std::string whole;
      for (size_t i = 0; i < lines; ++i) whole += full_line;
      return whole + "bob\r";
    }());
    EXPECT_EQ(lines, std::min(flooded_lines, TypedCharacters::kLimit / full_line.size()));
  }
  // A character of play past the bound, not kept, still makes its line play.
  TypedCharacters typed;
  for (size_t i = 0; i < TypedCharacters::kLineLimit; ++i) typed.Add('x');
  Keyboard keyboard{};
  keyboard[platform::scan::kY] = platform::kKeyHeld;
  typed.KeyDown('Y', false);
  EXPECT_TRUE(typed.ReadKey(platform::scan::kY, keyboard));
  typed.Add('y');
  typed.KeyUp('Y');
  for (char c : std::string("\rbob\r")) typed.Add(static_cast<uint8_t>(c));
  typed.BeginQuestion({});
  std::string taken;
  while (const auto c = typed.Take()) taken += static_cast<char>(*c);
  EXPECT_EQ(taken, "bob\r");
}

}  // namespace
}  // namespace zv
