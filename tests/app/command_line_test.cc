#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/event_script.h"
#include "platform/clock/clock.h"
#include "platform/shell/command_arguments.h"

namespace zv {
namespace {

using platform::WindowEventKind;
namespace key = platform::key;

TEST(CommandLine, TheEditorOpensWithOrWithoutAProgram) {
  std::string error;
  auto none = ParseCommandLine({}, &error);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->action, CommandLine::Action::kEditor);
  EXPECT_TRUE(none->file.empty());

  auto edit = ParseCommandLine({"edit", "--events", "s.txt", "--screenshot", "a.png", "--frames", "5", "g.kqa"}, &error);
  ASSERT_TRUE(edit) << error;
  EXPECT_EQ(edit->action, CommandLine::Action::kEditor);
  EXPECT_EQ(edit->events, "s.txt");
  EXPECT_EQ(edit->screenshot, "a.png");
  EXPECT_EQ(edit->frames, 5);
  EXPECT_EQ(edit->file, "g.kqa");

  EXPECT_FALSE(ParseCommandLine({"edit", "a.kqa", "b.kqa"}, &error));
  EXPECT_FALSE(ParseCommandLine({"edit", "--events"}, &error));
  EXPECT_FALSE(ParseCommandLine({"run", "--events", "s.txt", "g.kqa"}, &error));
  EXPECT_NE(error.find("--events"), std::string::npos);
}

// Help asked after a command's name, among its flags, is help, not a file
// or a wrong flag; after the program's file it belongs to the program.
TEST(CommandLine, HelpAmongACommandsFlagsAsksForTheUsage) {
  const std::vector<std::vector<std::string>> asks = {
      {"--help"}, {"-h"}, {"run", "--help"}, {"run", "--headless", "--help"}, {"edit", "--help"},
      {"build", "--help"}, {"build", "g.kqa", "-o", "game", "-h"}};
  std::string error;
  for (const auto& words : asks) {
    auto line = ParseCommandLine(words, &error);
    ASSERT_TRUE(line) << words.back() << ": " << error;
    EXPECT_EQ(line->action, CommandLine::Action::kHelp) << words.size();
  }
  auto run = ParseCommandLine({"run", "g.kqa", "--help"}, &error);
  ASSERT_TRUE(run) << error;
  EXPECT_EQ(run->action, CommandLine::Action::kRun);
  EXPECT_EQ(run->program_args, std::vector<std::string>{"--help"});
}

// The program reads its words as one line, and gets the same words back
// from it as a program it starts with that line would.
TEST(CommandLine, TheProgramsWordsKeepTheirBlanks) {
  std::string error;
  auto run = ParseCommandLine({"run", "g.kqa", "level2", "my file.dat", ""}, &error);
  ASSERT_TRUE(run) << error;
  const std::string line = ProgramCommandLine(run->program_args);
  EXPECT_EQ(line, "level2 \"my file.dat\" \"\"");
  EXPECT_EQ(platform::SplitCommandArguments(line), run->program_args);
  EXPECT_EQ(ProgramCommandLine({}), "");
}

// Everything a script posted, in order, with the clock moved past it all
// at once, as a loaded machine's frame would take it.
std::vector<platform::WindowEvent> Played(const std::string& script) {
  platform::ManualClock clock;
  platform::HeadlessWindow window(clock);
  std::string error;
  EXPECT_TRUE(PlayEventScript(script, window, &error)) << error;
  clock.Advance(10000);
  std::vector<platform::WindowEvent> events;
  platform::WindowEvent e;
  while (window.PollEvent(&e)) events.push_back(e);
  return events;
}

TEST(EventScript, KeysTextAndClicksBecomeWindowEvents) {
  const auto events =
      Played("# a comment\n\nkey ctrl+s\nkey a\nkey shift+a\nkey 7\ntype a\\nb\\\\\nclick 10 20\nwheel -2\nclose\n");
  std::string typed;
  bool control_with_s = false;
  for (const auto& e : events) {
    if (e.kind == WindowEventKind::kCharacter) typed += static_cast<char>(e.a);
    // Control is let go long before the frame: the key event keeps it.
    if (e.kind == WindowEventKind::kKeyDown && e.a == 'S') control_with_s = e.modifiers & platform::modifier::kControl;
  }
  EXPECT_TRUE(control_with_s);
  EXPECT_EQ(typed, "aA7a\rb\\");  // a letter types itself in its case; with Control, nothing
  int downs = 0, wheel = 0, closes = 0;
  for (const auto& e : events) {
    if (e.kind == WindowEventKind::kMouseDown && e.x == 10 && e.y == 20) ++downs;
    if (e.kind == WindowEventKind::kMouseWheel) wheel = e.a;
    if (e.kind == WindowEventKind::kClose) ++closes;
  }
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(wheel, -2);
  EXPECT_EQ(closes, 1);
}

// `type` types as a person does, one key at a time (each let go before
// the next), and in the program's character set: the script's UTF-8 "é"
// and "–" arrive as their Windows-1252 bytes, a letter that page lacks as
// nothing.
TEST(EventScript, TypeGivesOneKeyAtATimeInTheProgramsCharacterSet) {
  platform::ManualClock clock;
  platform::HeadlessWindow window(clock);
  std::string error;
  ASSERT_TRUE(PlayEventScript("type Café –\xE2\x82\xAC\xF0\x9F\x98\x80\\n\n", window, &error)) << error;
  std::string typed;
  std::vector<int> keys_held;
  for (int step = 0; step < 200 && window.PendingEvents() > 0; ++step, clock.Advance(1)) {
    int characters_now = 0;
    platform::WindowEvent e;
    while (window.PollEvent(&e)) {
      if (e.kind == WindowEventKind::kCharacter) {
        typed += static_cast<char>(e.a);
        ++characters_now;
      }
      if (e.kind == WindowEventKind::kKeyDown) keys_held.push_back(e.a);
      if (e.kind == WindowEventKind::kKeyUp) std::erase(keys_held, e.a);
      EXPECT_LE(keys_held.size(), 1u) << "a key went down before the last was let go";
    }
    EXPECT_LE(characters_now, 1) << "at " << step << " ms";
  }
  EXPECT_EQ(typed, "Caf\xE9 \x96\x80\r");
  EXPECT_TRUE(keys_held.empty());
}

TEST(EventScript, ALineItDoesNotKnowIsRefusedWithItsNumber) {
  platform::ManualClock clock;
  platform::HeadlessWindow window(clock);
  std::string error;
  EXPECT_FALSE(PlayEventScript("key f5\nkey nosuchkey\n", window, &error));
  EXPECT_EQ(error, "line 2: unknown key \"nosuchkey\" in: key nosuchkey");
  EXPECT_FALSE(PlayEventScript("click 1\n", window, &error));
  EXPECT_FALSE(PlayEventScript("wait -3\n", window, &error));
}

}  // namespace
}  // namespace zv
