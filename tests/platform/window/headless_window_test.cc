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
