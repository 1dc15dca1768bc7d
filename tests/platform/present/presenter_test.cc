#include <gtest/gtest.h>

#include "platform/present/headless/headless_presenter.h"

namespace zv::platform {
namespace {

SurfacePtr Filled(int32_t w, int32_t h, const PixelFormat& format, uint32_t value) {
  SurfaceDesc desc;
  desc.width = w;
  desc.height = h;
  desc.format = format;
  SurfacePtr s = Surface::Create(desc);
  BltFx fx;
  fx.fill_color = value;
  s->Blt(nullptr, nullptr, nullptr, kBltColorFill, &fx);
  return s;
}

TEST(HeadlessPresenter, KeepsTheLastFrameAfterGamma) {
  HeadlessPresenter presenter;
  EXPECT_EQ(presenter.LastFrame(), nullptr);
  EXPECT_FALSE(presenter.WriteScreenshot("/tmp/never.png"));

  auto frame = Filled(4, 3, PixelFormat::Rgb565(), 0xF800);
  ASSERT_TRUE(presenter.Present(*frame, nullptr));
  ASSERT_NE(presenter.LastFrame(), nullptr);
  EXPECT_EQ(presenter.LastFrame()->PixelAt(3, 2), 0xFF0000u);

  GammaRamp half = GammaRamp::Identity();
  for (int i = 0; i < 256; ++i) half.red[i] = static_cast<uint16_t>(i * 128);
  ASSERT_TRUE(presenter.Present(*frame, &half));
  EXPECT_EQ(presenter.LastFrame()->PixelAt(0, 0), 0x7F0000u);
  EXPECT_EQ(presenter.PresentCount(), 2);

  auto bigger = Filled(8, 2, PixelFormat::Xrgb8888(), 0x123456);
  ASSERT_TRUE(presenter.Present(*bigger, nullptr));
  EXPECT_EQ(presenter.LastFrame()->Width(), 8);
  EXPECT_EQ(presenter.LastFrame()->PixelAt(7, 1), 0x123456u);
}

// Whatever is drawn into the frame, or done to its palette and ramp, after
// it was presented stays out of the picture kept for screenshots.
TEST(HeadlessPresenter, KeepsTheFrameAsItWasPresented) {
  HeadlessPresenter presenter;
  auto frame = Filled(4, 3, PixelFormat::Indexed8(), 7);
  auto palette = std::make_shared<Palette>();
  palette->SetEntry(7, PaletteEntry{0x12, 0x34, 0x56});
  frame->SetPalette(palette);
  GammaRamp ramp = GammaRamp::Identity();
  ASSERT_TRUE(presenter.Present(*frame, &ramp));
  frame->SetPixelAt(1, 1, 8);
  palette->SetEntry(7, PaletteEntry{0xFF, 0xFF, 0xFF});
  ramp.red.fill(0);
  EXPECT_EQ(presenter.LastFrame()->PixelAt(1, 1), 0x123456u);
  EXPECT_EQ(presenter.LastFrame()->PixelAt(3, 2), 0x123456u);
}

TEST(FitPicture, ScalesToTheLimitingSideAndCentres) {
  EXPECT_EQ(FitPicture(Size{640, 480}, Size{1280, 960}), (Rect{0, 0, 1280, 960}));
  EXPECT_EQ(FitPicture(Size{640, 480}, Size{1920, 1080}), (Rect{240, 0, 1680, 1080}));
  EXPECT_EQ(FitPicture(Size{800, 600}, Size{800, 1000}), (Rect{0, 200, 800, 800}));
  EXPECT_TRUE(FitPicture(Size{0, 480}, Size{800, 600}).Empty());
}

TEST(HeadlessPresenter, FullScreenMapsClientPointsBackToThePicture) {
  HeadlessPresenter presenter(DisplayMode{1920, 1080, 32});
  auto frame = Filled(640, 480, PixelFormat::Rgb565(), 0);
  presenter.Present(*frame, nullptr);
  presenter.SetFullScreen(true);
  // Without a client size of its own the picture fills the virtual client.
  EXPECT_EQ(presenter.ClientToPicture(Point{250, 10}), (Point{250, 10}));
  presenter.SetFullScreen(false);
  presenter.SetClientSize(Size{1920, 1080});
  EXPECT_EQ(presenter.ClientToPicture(Point{250, 10}), (Point{250, 10}));
  presenter.SetFullScreen(true);
  // 640x480 scaled to 1440x1080 from x 240.
  EXPECT_EQ(presenter.ClientToPicture(Point{240, 0}), (Point{0, 0}));
  EXPECT_EQ(presenter.ClientToPicture(Point{240 + 720, 540}), (Point{320, 240}));
}

}  // namespace
}  // namespace zv::platform
