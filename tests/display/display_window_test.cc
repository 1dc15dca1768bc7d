#include <SDL.h>

#include <cstdlib>

#include "platform/present/sdl/sdl_presenter.h"
#include "tests/display/display_fixture.h"
#include "tests/platform/present/x11_screenshot.h"

namespace zv::test {
namespace {

// The display brought up on a real window: a screen filled with one colour
// must show that colour in a screenshot of the window.
class DisplayOnARealWindow : public CoreTest {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr)
      GTEST_SKIP() << "no X display: run under tests/support/with_xvfb.sh to test the real window";
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) GTEST_SKIP() << "SDL video: " << SDL_GetError();
    sdl_window_ = SDL_CreateWindow("display test", 0, 0, 640, 480, SDL_WINDOW_SHOWN);
    ASSERT_NE(sdl_window_, nullptr) << SDL_GetError();
    presenter_ = std::make_unique<platform::SdlPresenter>(sdl_window_);
    ASSERT_TRUE(presenter_->Ready());
    DisplayPlatform platform;
    platform.presenter = presenter_.get();
    display_ = std::make_unique<Display>(vm, runtime_, platform);
    adapter_ = std::make_unique<DisplayServiceAdapter>(*display_);
    vm.display = adapter_.get();
  }
  void TearDown() override {
    adapter_.reset();
    display_.reset();
    presenter_.reset();
    if (sdl_window_) SDL_DestroyWindow(sdl_window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  RuntimeState runtime_;
  SDL_Window* sdl_window_ = nullptr;
  std::unique_ptr<platform::SdlPresenter> presenter_;
  std::unique_ptr<Display> display_;
  std::unique_ptr<DisplayServiceAdapter> adapter_;
};

TEST_F(DisplayOnARealWindow, AFilledScreenShowsItsColour) {
  adapter_->SetFullScreenFlag(false);
  display_->Layout().width = 640;
  display_->Layout().height = 480;
  ASSERT_TRUE(adapter_->CreateDirectDrawObject(false, true));
  adapter_->ResetDrawState(16);
  ASSERT_TRUE(adapter_->CreateSurfacesAndDevice(640, 480));
  const platform::PixelFormat& format = display_->Surfaces().back_buffer->Format();
  display_->Presentation().background_colour = platform::PackRgb(format, 0x20, 0xC0, 0x60);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(display_->ClearBackBuffer());
    ASSERT_TRUE(display_->PresentFrame());
    SDL_PumpEvents();
  }
  uint32_t expected = platform::UnpackRgb(format, display_->Presentation().background_colour);
  EXPECT_EQ(X11WindowPixel(sdl_window_, 5, 5), expected);
  EXPECT_EQ(X11WindowPixel(sdl_window_, 630, 470), expected);
}

}  // namespace
}  // namespace zv::test
