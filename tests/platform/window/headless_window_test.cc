#include "platform/window/headless/headless_window.h"

#include <gtest/gtest.h>

namespace zv::platform {
namespace {

TEST(HeadlessWindow, HandsOutEventsWhenTheirTimeComesInScriptOrder) {
  ManualClock clock(100);
  HeadlessWindow window(clock);
  window.Post({WindowEventKind::kCharacter, 'b'}, 200);
  window.Post({WindowEventKind::kCharacter, 'a'}, 150);
  window.Post({WindowEventKind::kCharacter, 'c'}, 200);
  WindowEvent e;
  EXPECT_FALSE(window.PollEvent(&e));
  clock.Set(200);
  std::string order;
  while (window.PollEvent(&e)) order += static_cast<char>(e.a);
  EXPECT_EQ(order, "abc");
}

TEST(HeadlessWindow, AKeyIsHeldBetweenItsDownAndUpTimesWhetherOrNotTaken) {
  ManualClock clock(0);
  HeadlessWindow window(clock);
  window.PressKey(key::kEscape, 10, 30);
  EXPECT_FALSE(window.KeyHeld(key::kEscape));
  clock.Set(10);
  EXPECT_TRUE(window.KeyHeld(key::kEscape));
  clock.Set(40);
  EXPECT_FALSE(window.KeyHeld(key::kEscape));
  // The events are still there to be taken: down, its character, up.
  WindowEvent e;
  ASSERT_TRUE(window.PollEvent(&e));
  EXPECT_EQ(e.kind, WindowEventKind::kKeyDown);
  ASSERT_TRUE(window.PollEvent(&e));
  EXPECT_EQ(e.kind, WindowEventKind::kCharacter);
  EXPECT_EQ(e.a, 27);
  ASSERT_TRUE(window.PollEvent(&e));
  EXPECT_EQ(e.kind, WindowEventKind::kKeyUp);
}

// Paced, a script taken late keeps its spacing from when each event is
// taken: a key stays held its scripted 100 ms and the next one comes its
// 20 ms after the release, however late the program looks (a loaded
// machine); unpaced, both keys would be over at the first look.
TEST(HeadlessWindow, APacedScriptKeepsItsSpacingFromWhenEachEventIsTaken) {
  struct Case {
    uint32_t first_look;    // when the program first takes events
    uint32_t release_look;  // how long after that it looks again
  };
  for (const Case c : {Case{0, 100}, Case{40, 100}, Case{5000, 100}, Case{5000, 300}}) {
    SCOPED_TRACE(testing::Message() << "first look at " << c.first_look << ", next " << c.release_look << " later");
    ManualClock clock(0);
    HeadlessWindow window(clock);
    window.KeepPace();
    window.PressKey('A', 0, 100);
    window.PressKey('B', 120, 100);
    auto take_at = [&](uint32_t ms) {
      clock.Set(ms);
      std::string taken;  // a key's press as its letter, its release in lower case
      WindowEvent e;
      while (window.PollEvent(&e)) {
        if (e.kind == WindowEventKind::kKeyDown) taken += static_cast<char>(e.a);
        if (e.kind == WindowEventKind::kKeyUp) taken += static_cast<char>(e.a - 'A' + 'a');
      }
      return taken;
    };
    EXPECT_EQ(take_at(c.first_look), "A");
    EXPECT_EQ(take_at(c.first_look + 99), "");
    EXPECT_TRUE(window.KeyHeld('A'));
    const uint32_t released = c.first_look + c.release_look;
    EXPECT_EQ(take_at(released), "a");
    EXPECT_EQ(take_at(released + 19), "");
    EXPECT_EQ(take_at(released + 20), "B");
    EXPECT_TRUE(window.KeyHeld('B'));
  }
}

TEST(HeadlessWindow, KeepsTheMessageBoxesItWouldHaveShown) {
  ManualClock clock;
  HeadlessWindow window(clock);
  window.ShowMessageBox("Error In Program", "text", MessageBoxIcon::kError);
  ASSERT_EQ(window.MessageBoxes().size(), 1u);
  EXPECT_EQ(window.MessageBoxes()[0].title, "Error In Program");
  EXPECT_FALSE(window.HasDisplay());
}

}  // namespace
}  // namespace zv::platform
