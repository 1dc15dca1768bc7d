#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "platform/present/sdl/sdl_presenter.h"
#include "platform/window/sdl/sdl_window.h"
#include "tests/display/display_fixture.h"
#include "tests/display/x11_window_state.h"

namespace zv::test {
namespace {

namespace op = display_opcode;

// The window commands on the real window, with a window manager running:
// the state they leave is read back from the X server as any other client
// (a task bar, a user's eyes) would see it.
class WindowUnderAWindowManager : public CoreTest {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    if (!X11WindowManagerRunning()) GTEST_SKIP() << "no window manager: run under tests/support/with_window_manager.sh";
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    std::string error;
    window_ = platform::OpenSdlWindow({}, &error);
    ASSERT_NE(window_, nullptr) << error;
    sdl_window_ = static_cast<SDL_Window*>(window_->NativeHandle());
    presenter_ = std::make_unique<platform::SdlPresenter>(sdl_window_);
    DisplayPlatform platform;
    platform.presenter = presenter_.get();
    platform.window = window_.get();
    display_ = std::make_unique<Display>(vm, runtime_, platform);
    adapter_ = std::make_unique<DisplayServiceAdapter>(*display_);
    vm.display = adapter_.get();
    vm.runtime = &runtime_;
    RegisterDisplayHandlers(handlers);
    // As the start-up brings the display up: full screen, 640x480.
    adapter_->SetFullScreenFlag(true);
    ASSERT_TRUE(adapter_->CreateDirectDrawObject(false, true));
    ASSERT_TRUE(adapter_->SetDisplayMode(640, 480, 16));
    adapter_->ResetDrawState(16);
    ASSERT_TRUE(adapter_->CreateSurfacesAndDevice(640, 480));
    window_->Show();
  }
  void TearDown() override {
    adapter_.reset();
    display_.reset();
    presenter_.reset();
    window_.reset();
  }

  // Runs the commands assembled so far, then presents a frame.
  void RunCommands() {
    assembler.Op(kEndOp);
    Run();
    ASSERT_EQ(vm.errors.code, 0);
    assembler = ProgramAssembler();
    display_->PresentFrame();
  }

  // Waits (taking the window's events as the pump would) until the window
  // manager has done what was asked; the last state read either way. The
  // limit only finds a manager that never does it, however loaded the
  // machine.
  X11WindowState WaitFor(const std::function<bool(const X11WindowState&)>& done) {
    X11WindowState state;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
      platform::WindowEvent event;
      while (window_->PollEvent(&event)) {
      }
      state = ReadX11WindowState(sdl_window_);
      if (done(state)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return state;
  }

  RuntimeState runtime_;
  std::unique_ptr<platform::Window> window_;
  SDL_Window* sdl_window_ = nullptr;
  std::unique_ptr<platform::SdlPresenter> presenter_;
  std::unique_ptr<Display> display_;
  std::unique_ptr<DisplayServiceAdapter> adapter_;
};

bool Framed(const X11WindowState& s) { return s.frame[2] > s.frame[0] && s.frame[2] > 0; }
bool Bare(const X11WindowState& s) { return s.frame == std::array<long, 4>{}; }

TEST_F(WindowUnderAWindowManager, WindowOnGivesAFramedWindowWithATitleBar) {
  assembler.Op(op::kWindowOn);
  assembler.Op(op::kSetWindowTitle, {S("zentrovex window test")});
  RunCommands();
  X11WindowState s = WaitFor([](const X11WindowState& s) { return s.viewable && Framed(s); });
  ASSERT_TRUE(s.read);
  EXPECT_TRUE(s.viewable);
  EXPECT_TRUE(Framed(s)) << "frame " << s.frame[0] << " " << s.frame[1] << " " << s.frame[2] << " " << s.frame[3];
  EXPECT_EQ(s.title, "zentrovex window test");
  // `window on` asks for no icon: whatever shows is the desktop's default.
  const std::vector<long> no_icon = s.icon;

  // A popup without a caption is bare; style 1 with a caption and the icon
  // is framed again and carries the program's icon.
  assembler.Op(op::kSetWindowLayout, {I(0), I(0), I(0)});
  RunCommands();
  s = WaitFor(Bare);
  EXPECT_TRUE(Bare(s));
  assembler.Op(op::kSetWindowLayout, {I(1), I(1), I(1)});
  RunCommands();
  s = WaitFor([&](const X11WindowState& s) { return Framed(s) && s.icon != no_icon; });
  EXPECT_TRUE(Framed(s));
  ASSERT_GE(s.icon.size(), 2u);
  EXPECT_NE(s.icon, no_icon);
  // A popup with a caption has a title bar too; the icon goes again.
  assembler.Op(op::kSetWindowLayout, {I(0), I(1), I(0)});
  RunCommands();
  s = WaitFor([&](const X11WindowState& s) { return Framed(s) && s.icon == no_icon; });
  EXPECT_TRUE(Framed(s));
  EXPECT_EQ(s.icon, no_icon);
}

TEST_F(WindowUnderAWindowManager, HideShowMinimiseMaximiseAndRestoreChangeTheWindowsState) {
  assembler.Op(op::kWindowOn);
  RunCommands();
  WaitFor([](const X11WindowState& s) { return s.viewable && Framed(s); });

  assembler.Op(op::kHideWindow);
  RunCommands();
  X11WindowState s = WaitFor([](const X11WindowState& s) { return !s.viewable; });
  EXPECT_FALSE(s.viewable);
  EXPECT_NE(s.wm_state, 3);  // withdrawn, not iconic

  assembler.Op(op::kShowWindow);
  RunCommands();
  s = WaitFor([](const X11WindowState& s) { return s.viewable; });
  EXPECT_TRUE(s.viewable);
  EXPECT_EQ(s.wm_state, 1);

  assembler.Op(op::kMinimiseWindow);
  RunCommands();
  // The window manager marks the window iconic a moment before it hides it.
  s = WaitFor([](const X11WindowState& s) { return s.wm_state == 3 && s.hidden && !s.viewable; });
  EXPECT_EQ(s.wm_state, 3);
  EXPECT_TRUE(s.hidden);
  EXPECT_FALSE(s.viewable);

  assembler.Op(op::kRestoreWindow);
  RunCommands();
  s = WaitFor([](const X11WindowState& s) { return s.wm_state == 1 && s.viewable && !s.hidden; });
  EXPECT_EQ(s.wm_state, 1);
  EXPECT_TRUE(s.viewable);
  EXPECT_FALSE(s.hidden);

  assembler.Op(op::kMaximiseWindow);
  RunCommands();
  s = WaitFor([](const X11WindowState& s) { return s.maximised; });
  EXPECT_TRUE(s.maximised);

  assembler.Op(op::kRestoreWindow);
  RunCommands();
  s = WaitFor([](const X11WindowState& s) { return !s.maximised && s.viewable; });
  EXPECT_FALSE(s.maximised);
  EXPECT_TRUE(s.viewable);
}

}  // namespace
}  // namespace zv::test
