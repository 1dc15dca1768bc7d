#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/present/sdl/sdl_presenter.h"
#include "tests/platform/present/x11_screenshot.h"

namespace zv::platform {
namespace {

class SdlPresenterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr)
      GTEST_SKIP() << "no X display: run under tests/support/with_xvfb.sh to test the real window";
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) GTEST_SKIP() << "SDL video: " << SDL_GetError();
    window_ = SDL_CreateWindow("present test", 0, 0, 320, 240, SDL_WINDOW_SHOWN);
    ASSERT_NE(window_, nullptr) << SDL_GetError();
  }
  void TearDown() override {
    if (window_) SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  SDL_Window* window_ = nullptr;
};

TEST_F(SdlPresenterTest, AFilledFrameShowsItsColourInTheWindow) {
  SdlPresenter presenter(window_);
  ASSERT_TRUE(presenter.Ready()) << SDL_GetError();
  SurfaceDesc desc;
  desc.width = 320;
  desc.height = 240;
  desc.format = PixelFormat::Rgb565();
  auto frame = Surface::Create(desc);
  BltFx fx;
  fx.fill_color = PackRgb(desc.format, 0xF8, 0x80, 0x38);
  frame->Blt(nullptr, nullptr, nullptr, kBltColorFill, &fx);
  // A window manager-less X server maps the window at once; present a few
  // times so the picture is there whatever the renderer buffers.
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(presenter.Present(*frame, nullptr));
    SDL_PumpEvents();
  }
  uint32_t expected = UnpackRgb(desc.format, fx.fill_color);
  EXPECT_EQ(test::X11WindowPixel(window_, 10, 10), expected);
  EXPECT_EQ(test::X11WindowPixel(window_, 300, 200), expected);
}

}  // namespace
}  // namespace zv::platform
