#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/event_script.h"
#include "platform/clock/clock.h"

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

// Everything a script posted, in order, with the clock moved past it all.
std::vector<platform::WindowEvent> Played(const std::string& script, bool* control_held_at_s = nullptr) {
  platform::ManualClock clock;
  platform::HeadlessWindow window(clock);
  std::string error;
  EXPECT_TRUE(PlayEventScript(script, window, &error)) << error;
  std::vector<platform::WindowEvent> events;
  for (int step = 0; step < 200; ++step, clock.Advance(1)) {
    platform::WindowEvent e;
    while (window.PollEvent(&e)) {
      if (control_held_at_s && e.kind == WindowEventKind::kKeyDown && e.a == 'S')
        *control_held_at_s = window.KeyHeld(key::kControl);
      events.push_back(e);
    }
  }
  return events;
}

TEST(EventScript, KeysTextAndClicksBecomeWindowEvents) {
  bool control_held = false;
  const auto events = Played("# a comment\n\nkey ctrl+s\ntype a\\nb\\\\\nclick 10 20\nwheel -2\nclose\n", &control_held);
  EXPECT_TRUE(control_held);
  std::string typed;
  for (const auto& e : events)
    if (e.kind == WindowEventKind::kCharacter) typed += static_cast<char>(e.a);
  EXPECT_EQ(typed, "Sa\rb\\");  // the S key types its letter too
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

TEST(EventScript, ALineItDoesNotKnowIsRefusedWithItsNumber) {
  platform::ManualClock clock;
  platform::HeadlessWindow window(clock);
  std::string error;
  EXPECT_FALSE(PlayEventScript("key f5\nkey nosuchkey\n", window, &error));
  EXPECT_EQ(error, "line 2: key nosuchkey");
  EXPECT_FALSE(PlayEventScript("click 1\n", window, &error));
  EXPECT_FALSE(PlayEventScript("wait -3\n", window, &error));
}

}  // namespace
}  // namespace zv
