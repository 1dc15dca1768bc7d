#include "display/pixel_ops.h"
#include "tests/display/display_fixture.h"

namespace zv::test {
namespace {

using platform::PixelFormat;
using platform::Surface;

class PixelOps : public DisplayTest {
 protected:
  platform::SurfacePtr Make(int32_t w, int32_t h, const PixelFormat& f) {
    platform::SurfaceDesc desc;
    desc.width = w;
    desc.height = h;
    desc.format = f;
    return Surface::Create(desc);
  }
};

TEST_F(PixelOps, ChannelMasksAndPixelToRgb) {
  auto s = Make(1, 1, PixelFormat::Rgb565());
  ComputeChannelMasks(display, *s);
  const PresentState& p = display.Presentation();
  EXPECT_EQ(p.channels.red_shift, 11);
  EXPECT_EQ(p.channels.green_shift, 5);
  EXPECT_EQ(p.red_max, 31);
  EXPECT_EQ(p.green_max, 63);
  EXPECT_EQ(PixelToRgb(display, 0xFFFF), 0xFFFFFFu);
  // Half-way fields scale by 255 / maximum and truncate.
  EXPECT_EQ(PixelToRgb(display, (16u << 11) | (32u << 5) | 16u), 0x838183u);
}

TEST_F(PixelOps, ReadSurfacePixelInEachDepth) {
  for (PixelFormat f : {PixelFormat::Rgb555(), PixelFormat::Rgb565(), PixelFormat::Rgb888(),
                        PixelFormat::Xrgb8888()}) {
    auto s = Make(4, 3, f);
    s->SetPixelAt(2, 1, platform::PackRgb(f, 255, 0, 255));
    EXPECT_EQ(ReadSurfacePixel(display, *s, 2, 1), 0xFF00FFu) << f.bits;
    EXPECT_EQ(ReadSurfacePixel(display, *s, 1, 1), 0u);
  }
  auto locked = Make(1, 1, PixelFormat::Xrgb8888());
  locked->SetPixelAt(0, 0, 0x123456);
  platform::LockedRegion region;
  locked->Lock(nullptr, 0, &region);
  EXPECT_EQ(ReadSurfacePixel(display, *locked, 0, 0), 0u);
}

TEST_F(PixelOps, FadeMultipliesEveryChannel) {
  auto s = Make(2, 1, PixelFormat::Xrgb8888());
  s->SetPixelAt(0, 0, 0xC86432);
  s->SetPixelAt(1, 0, 0xFF0101);
  EXPECT_EQ(FadeSurface(display, *s, 100), 1);
  EXPECT_EQ(s->PixelAt(0, 0), 0xC86432u);
  EXPECT_EQ(FadeSurface(display, *s, 50), 1);
  EXPECT_EQ(s->PixelAt(0, 0), 0x643219u);
  EXPECT_EQ(s->PixelAt(1, 0), 0x7F0000u);
  EXPECT_EQ(FadeSurface(display, *s, 101), 0);
  EXPECT_EQ(FadeSurface(display, *s, 0), 1);
  EXPECT_EQ(s->PixelAt(0, 0), 0u);
}

TEST_F(PixelOps, BlurAveragesTheBoxInsideTheSurface) {
  auto s = Make(3, 3, PixelFormat::Rgb565());
  s->SetPixelAt(1, 1, platform::PackRgb(s->Format(), 0xF8, 0xFC, 0xF8));  // all fields full
  auto copy = Make(3, 3, PixelFormat::Rgb565());
  copy->BltFast(0, 0, s.get(), nullptr, 0);

  EXPECT_EQ(BlurSurface(display, *s, 1), 1);
  EXPECT_EQ(s->PixelAt(1, 1), copy->PixelAt(1, 1));
  EXPECT_EQ(BlurSurface(display, *s, 10), 0);

  EXPECT_EQ(BlurSurface(display, *s, 3), 1);
  // Centre: 9 pixels used; corner: 4 (the box leaves the surface).
  EXPECT_EQ(s->PixelAt(1, 1), (31u / 9 << 11) | (63u / 9 << 5) | 31u / 9);
  EXPECT_EQ(s->PixelAt(0, 0), (31u / 4 << 11) | (63u / 4 << 5) | 31u / 4);

  // An even box reaches one pixel further up and left than down and right.
  auto t = Make(3, 1, PixelFormat::Xrgb8888());
  t->SetPixelAt(2, 0, 0x0000FF);
  EXPECT_EQ(BlurSurface(display, *t, 2), 1);
  EXPECT_EQ(t->PixelAt(2, 0), 0x00007Fu);  // (0 + 255) / 2
  EXPECT_EQ(t->PixelAt(1, 0), 0u);         // (0 + 0) / 2
}

TEST_F(PixelOps, BlitHelpersRestoreALostDestination) {
  Start();
  auto image = Make(4, 4, Back().Format());
  Fill(*image, 0x07E0);
  display.Device().device->LoseSurfaces(true);
  EXPECT_EQ(BltFastAt(display, Back(), 10, 10, *image, 0), 1);
  EXPECT_EQ(Back().PixelAt(10, 10), 0x07E0u);
  EXPECT_EQ(BltFastRect(display, Back(), 0, 0, *image, 1, 1, 2, 2, 0), 1);
  EXPECT_EQ(Back().PixelAt(1, 1), 0x07E0u);
  EXPECT_EQ(Back().PixelAt(2, 2), 0u);
  EXPECT_EQ(FillSurfaceRect(Back(), platform::Rect{0, 0, 1, 1}, 0x001F), 1);
  EXPECT_EQ(Back().PixelAt(0, 0), 0x001Fu);
}

TEST_F(PixelOps, ClearBackBufferUsesTheBackgroundColour) {
  Start();
  display.Presentation().background_colour = 0x1234;
  EXPECT_TRUE(display.ClearBackBuffer());
  EXPECT_EQ(Back().PixelAt(639, 479), 0x1234u);
}

}  // namespace
}  // namespace zv::test
