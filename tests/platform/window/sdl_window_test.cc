#include "platform/window/sdl/sdl_window.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "tests/display/x11_window_state.h"
// Last: its macros (None, Bool ...) clash with names in the headers above.
#include <X11/Xlib.h>

namespace zv::platform {
namespace {

TEST(SdlWindow, KeysAreNumberedByPosition) {
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_ESCAPE), key::kEscape);
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_F11), key::kF11);
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_F12), key::kF12);
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_A), 'A');
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_0), '0');
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_RETURN), key::kEnter);
}

// Sets the environment's variables for its lifetime, and then puts back
// what was there.
class Environment {
 public:
  explicit Environment(std::map<std::string, const char*> values) {
    for (const auto& [name, value] : values) {
      const char* was = std::getenv(name.c_str());
      saved_[name] = was ? std::optional<std::string>(was) : std::nullopt;
      value ? ::setenv(name.c_str(), value, 1) : ::unsetenv(name.c_str());
    }
  }
  ~Environment() {
    for (const auto& [name, value] : saved_) value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

// Without a display named a run goes on headless; a display named that
// cannot be reached is a failure that says so.
TEST(SdlWindow, WithoutADisplayNoWindowOpensAndTheErrorSaysWhy) {
  struct Case {
    const char* display;
    const char* video_driver;
    bool named;
    const char* error;
  };
  for (const Case& c : {Case{nullptr, nullptr, false, "no display"}, Case{":0", "dummy", false, "no display"},
                        Case{":nobody", nullptr, true, "cannot open a window on DISPLAY=:nobody: no X server answers"}}) {
    SCOPED_TRACE(c.display ? c.display : "no DISPLAY");
    const Environment environment({{"DISPLAY", c.display}, {"WAYLAND_DISPLAY", nullptr}, {"SDL_VIDEODRIVER", c.video_driver}});
    EXPECT_EQ(DisplayNamed(), c.named);
    std::string error;
    EXPECT_EQ(OpenSdlWindow({}, &error), nullptr);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

// Takes the window's events until `done` holds (or half a minute passes,
// what a loaded machine may take); whether it came to hold.
bool PumpUntil(Window& window, const std::function<bool(const WindowEvent&)>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < end) {
    WindowEvent event;
    while (window.PollEvent(&event))
      if (done(event)) return true;
    if (done(WindowEvent{})) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  return false;
}

// The keyboard grab seen from another client of the X server: while the
// window holds the keyboard, nobody else (the window manager's task-switch
// keys included) can take it.
TEST(SdlWindowUnderAWindowManager, HoldsTheKeyboardWhileAskedAndLetsGo) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
  if (!test::X11WindowManagerRunning()) GTEST_SKIP() << "no window manager: run under tests/support/with_window_manager.sh";
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  std::string error;
  std::unique_ptr<Window> window = OpenSdlWindow({}, &error);
  ASSERT_NE(window, nullptr) << error;
  window->Show();
  ASSERT_TRUE(PumpUntil(*window, [](const WindowEvent& e) { return e.kind == WindowEventKind::kActivate; }));

  Display* other = XOpenDisplay(nullptr);
  ASSERT_NE(other, nullptr);
  auto others_can_grab = [other] {
    const int result = XGrabKeyboard(other, DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync, CurrentTime);
    if (result == GrabSuccess) XUngrabKeyboard(other, CurrentTime);
    XSync(other, False);
    return result == GrabSuccess;
  };
  EXPECT_TRUE(others_can_grab());
  window->GrabKeyboard(true);
  EXPECT_TRUE(PumpUntil(*window, [&](const WindowEvent&) { return !others_can_grab(); }));
  window->GrabKeyboard(false);
  EXPECT_TRUE(PumpUntil(*window, [&](const WindowEvent&) { return others_can_grab(); }));
  XCloseDisplay(other);
}

}  // namespace
}  // namespace zv::platform
