#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/surface/surface.h"
#include "tests/platform/surface/surface_test_util.h"

namespace zv::platform {
namespace {

using test::FillPattern;
using test::MakeSurface;
using test::Pattern;

// Every blit behaviour runs in each pixel format the display uses.
class BlitTest : public ::testing::TestWithParam<PixelFormat> {
 protected:
  const PixelFormat& format() const { return GetParam(); }
  uint32_t Mask(uint32_t v) const { return v & format().ValueMask(); }
};

TEST_P(BlitTest, ColourFillWritesExactlyTheRectangle) {
  auto s = MakeSurface(8, 6, format());
  BltFx fx;
  fx.fill_color = 0xA5C3E7F1;
  Rect r{2, 1, 5, 4};
  ASSERT_EQ(s->Blt(&r, nullptr, nullptr, kBltColorFill | kBltWait, &fx), result::kOk);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      bool inside = x >= 2 && x < 5 && y >= 1 && y < 4;
      EXPECT_EQ(s->PixelAt(x, y), inside ? Mask(fx.fill_color) : 0u) << x << "," << y;
    }
}

// A row that holds the colour in all but one pixel gets that one too.
TEST_P(BlitTest, ColourFillCompletesRowsThatHoldTheColourInPart) {
  auto s = MakeSurface(8, 6, format());
  BltFx fx;
  fx.fill_color = 0xA5C3E7F1;
  ASSERT_EQ(s->Blt(nullptr, nullptr, nullptr, kBltColorFill, &fx), result::kOk);
  s->SetPixelAt(7, 2, 0);
  s->SetPixelAt(0, 4, 0);
  ASSERT_EQ(s->Blt(nullptr, nullptr, nullptr, kBltColorFill, &fx), result::kOk);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(s->PixelAt(x, y), Mask(fx.fill_color)) << x << "," << y;
}

TEST_P(BlitTest, BltFastCopiesTheSourceRectangle) {
  auto src = MakeSurface(6, 5, format());
  auto dst = MakeSurface(8, 8, format());
  FillPattern(*src);
  Rect r{1, 1, 4, 3};
  ASSERT_EQ(dst->BltFast(4, 5, src.get(), &r, 0), result::kOk);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      bool inside = x >= 4 && x < 7 && y >= 5 && y < 7;
      EXPECT_EQ(dst->PixelAt(x, y), inside ? Pattern(x - 3, y - 4, format()) : 0u);
    }
}

TEST_P(BlitTest, SourceColourKeySkipsKeyedPixels) {
  auto src = MakeSurface(4, 4, format());
  auto dst = MakeSurface(4, 4, format());
  FillPattern(*src);
  const uint32_t key = Pattern(1, 1, format());
  src->SetPixelAt(2, 3, key);
  src->SetColorKey(ColorKey{key, key});
  BltFx fill;
  fill.fill_color = 0x5A;
  dst->Blt(nullptr, nullptr, nullptr, kBltColorFill, &fill);

  auto check = [&](Surface& d) {
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) {
        bool keyed = (x == 1 && y == 1) || (x == 2 && y == 3);
        EXPECT_EQ(d.PixelAt(x, y), keyed ? Mask(0x5A) : Pattern(x, y, format())) << x << "," << y;
      }
  };
  ASSERT_EQ(dst->BltFast(0, 0, src.get(), nullptr, kBltFastSrcColorKey), result::kOk);
  check(*dst);
  dst->Blt(nullptr, nullptr, nullptr, kBltColorFill, &fill);
  ASSERT_EQ(dst->Blt(nullptr, src.get(), nullptr, kBltKeySrc | kBltWait), result::kOk);
  check(*dst);
}

TEST_P(BlitTest, WideKeyedRowsMatchPixelByPixel) {
  // Wide enough for the 16-byte path of every depth, with a ragged tail.
  const int32_t w = 37;
  auto src = MakeSurface(w, 2, format());
  auto dst = MakeSurface(w, 2, format());
  FillPattern(*src);
  for (int32_t x = 0; x < w; x += 3) src->SetPixelAt(x, 1, 0);
  src->SetColorKey(ColorKey{0, 0});
  BltFx fill;
  fill.fill_color = 0x5A;
  dst->Blt(nullptr, nullptr, nullptr, kBltColorFill, &fill);
  ASSERT_EQ(dst->BltFast(0, 0, src.get(), nullptr, kBltFastSrcColorKey), result::kOk);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint32_t s = src->PixelAt(x, y);
      EXPECT_EQ(dst->PixelAt(x, y), s == 0 ? Mask(0x5A) : s) << x << "," << y;
    }
  // The same through the mirrored path: column x shows source column w-1-x.
  dst->Blt(nullptr, nullptr, nullptr, kBltColorFill, &fill);
  BltFx fx;
  fx.mirror_left_right = true;
  ASSERT_EQ(dst->Blt(nullptr, src.get(), nullptr, kBltKeySrc | kBltFx, &fx), result::kOk);
  for (int32_t x = 0; x < w; ++x) {
    uint32_t s = src->PixelAt(w - 1 - x, 1);
    EXPECT_EQ(dst->PixelAt(x, 1), s == 0 ? Mask(0x5A) : s) << x;
  }
}

TEST_P(BlitTest, ColourKeyRangeSkipsEveryValueInside) {
  auto src = MakeSurface(3, 1, format());
  auto dst = MakeSurface(3, 1, format());
  src->SetPixelAt(0, 0, 4);
  src->SetPixelAt(1, 0, 6);
  src->SetPixelAt(2, 0, 9);
  src->SetColorKey(ColorKey{4, 6});
  ASSERT_EQ(dst->BltFast(0, 0, src.get(), nullptr, kBltFastSrcColorKey), result::kOk);
  EXPECT_EQ(dst->PixelAt(0, 0), 0u);
  EXPECT_EQ(dst->PixelAt(1, 0), 0u);
  EXPECT_EQ(dst->PixelAt(2, 0), 9u);
}

TEST_P(BlitTest, KeyedBlitWithoutAKeyFails) {
  auto src = MakeSurface(2, 2, format());
  auto dst = MakeSurface(2, 2, format());
  EXPECT_EQ(dst->BltFast(0, 0, src.get(), nullptr, kBltFastSrcColorKey), result::kNoColorKey);
  EXPECT_EQ(dst->Blt(nullptr, src.get(), nullptr, kBltKeySrc), result::kNoColorKey);
}

TEST_P(BlitTest, MirrorsSwapColumnsRowsOrBoth) {
  auto src = MakeSurface(3, 2, format());
  FillPattern(*src);
  struct Case { bool lr, ud; };
  for (Case c : {Case{true, false}, Case{false, true}, Case{true, true}}) {
    auto dst = MakeSurface(3, 2, format());
    BltFx fx;
    fx.mirror_left_right = c.lr;
    fx.mirror_up_down = c.ud;
    ASSERT_EQ(dst->Blt(nullptr, src.get(), nullptr, kBltFx, &fx), result::kOk);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x)
        EXPECT_EQ(dst->PixelAt(x, y), Pattern(c.lr ? 2 - x : x, c.ud ? 1 - y : y, format()))
            << c.lr << c.ud << " at " << x << "," << y;
  }
}

TEST_P(BlitTest, StretchTakesTheNearestSourcePixel) {
  auto src = MakeSurface(2, 2, format());
  FillPattern(*src);
  auto big = MakeSurface(4, 6, format());
  ASSERT_EQ(big->Blt(nullptr, src.get(), nullptr, kBltWait), result::kOk);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(big->PixelAt(x, y), Pattern(x / 2, y / 3, format()));

  auto wide = MakeSurface(5, 4, format());
  FillPattern(*wide);
  auto small = MakeSurface(2, 2, format());
  ASSERT_EQ(small->Blt(nullptr, wide.get(), nullptr, 0), result::kOk);
  // Destination pixel x takes source column x * 5 / 2.
  EXPECT_EQ(small->PixelAt(0, 0), Pattern(0, 0, format()));
  EXPECT_EQ(small->PixelAt(1, 0), Pattern(2, 0, format()));
  EXPECT_EQ(small->PixelAt(1, 1), Pattern(2, 2, format()));
}

TEST_P(BlitTest, StretchedMirroredKeyedBlitCombines) {
  auto src = MakeSurface(2, 1, format());
  src->SetPixelAt(0, 0, 7);
  src->SetPixelAt(1, 0, 3);
  src->SetColorKey(ColorKey{3, 3});
  auto dst = MakeSurface(4, 1, format());
  BltFx fx;
  fx.mirror_left_right = true;
  ASSERT_EQ(dst->Blt(nullptr, src.get(), nullptr, kBltKeySrc | kBltFx, &fx), result::kOk);
  EXPECT_EQ(dst->PixelAt(0, 0), 0u);
  EXPECT_EQ(dst->PixelAt(1, 0), 0u);
  EXPECT_EQ(dst->PixelAt(2, 0), 7u);
  EXPECT_EQ(dst->PixelAt(3, 0), 7u);
}

TEST_P(BlitTest, OverlappingCopiesReadTheOriginalPixels) {
  // Down and right, up and left, along a row: each as if through a copy.
  struct Case { int dx, dy; };
  for (Case c : {Case{2, 1}, Case{-2, -1}, Case{1, 0}, Case{-1, 0}}) {
    auto s = MakeSurface(7, 5, format());
    FillPattern(*s);
    auto expected = MakeSurface(7, 5, format());
    FillPattern(*expected);
    Rect r{2, 1, 5, 4};
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        expected->SetPixelAt(x + c.dx, y + c.dy, Pattern(x, y, format()));
    ASSERT_EQ(s->BltFast(r.left + c.dx, r.top + c.dy, s.get(), &r, 0), result::kOk);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x)
        EXPECT_EQ(s->PixelAt(x, y), expected->PixelAt(x, y)) << c.dx << "," << c.dy << " at " << x << "," << y;
  }
}

TEST_P(BlitTest, OverlappingStretchAndMirrorReadTheOriginalPixels) {
  auto s = MakeSurface(4, 1, format());
  FillPattern(*s);
  BltFx fx;
  fx.mirror_left_right = true;
  ASSERT_EQ(s->Blt(nullptr, s.get(), nullptr, kBltFx, &fx), result::kOk);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(s->PixelAt(x, 0), Pattern(3 - x, 0, format()));

  auto t = MakeSurface(4, 1, format());
  FillPattern(*t);
  Rect from{0, 0, 2, 1}, to{0, 0, 4, 1};
  ASSERT_EQ(t->Blt(&to, t.get(), &from, 0), result::kOk);
  EXPECT_EQ(t->PixelAt(2, 0), Pattern(1, 0, format()));
  EXPECT_EQ(t->PixelAt(3, 0), Pattern(1, 0, format()));
}

INSTANTIATE_TEST_SUITE_P(Formats, BlitTest,
                         ::testing::Values(PixelFormat::Indexed8(), PixelFormat::Rgb565(),
                                           PixelFormat::Rgb555(), PixelFormat::Rgb888(),
                                           PixelFormat::Xrgb8888()),
                         [](const auto& info) {
                           return test::FormatName(info.param) +
                                  (info.param == PixelFormat::Rgb555() ? "_555" : "");
                         });

// The memory of the process the system backs with pages of its own (pages
// only read share the system's zero page and are not counted).
size_t BackedBytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("RssAnon:", 0) == 0) return std::stoul(line.substr(8)) * 1024;
  return 0;
}

// Clearing a surface nobody has drawn on leaves its memory to the system.
TEST(BlitRules, AFillOfWhatTheSurfaceHoldsWritesNothing) {
  constexpr size_t kBytes = size_t{4096} * 2560 * 4;
  auto s = MakeSurface(4096, 2560, PixelFormat::Xrgb8888());  // memory of its own
  ASSERT_NE(s, nullptr);
  const size_t before = BackedBytes();
  BltFx fx;
  ASSERT_EQ(s->Blt(nullptr, nullptr, nullptr, kBltColorFill, &fx), result::kOk);
  EXPECT_LT(BackedBytes(), before + kBytes / 8);
  fx.fill_color = 1;
  ASSERT_EQ(s->Blt(nullptr, nullptr, nullptr, kBltColorFill, &fx), result::kOk);
  EXPECT_GE(BackedBytes(), before + kBytes);
}

TEST(BlitRules, RectanglesOutsideTheSurfaceOrEmptyAreRefused) {
  auto src = MakeSurface(4, 4, PixelFormat::Rgb565());
  auto dst = MakeSurface(4, 4, PixelFormat::Rgb565());
  Rect outside{2, 2, 5, 4}, negative{-1, 0, 2, 2}, empty{1, 1, 1, 3};
  EXPECT_EQ(dst->BltFast(2, 0, src.get(), nullptr, 0), result::kInvalidRect);
  EXPECT_EQ(dst->BltFast(-1, 0, src.get(), &empty, 0), result::kInvalidRect);
  EXPECT_EQ(dst->BltFast(0, 0, src.get(), &outside, 0), result::kInvalidRect);
  EXPECT_EQ(dst->Blt(&negative, src.get(), nullptr, 0), result::kInvalidRect);
  EXPECT_EQ(dst->Blt(&empty, nullptr, nullptr, kBltColorFill), result::kInvalidRect);
  EXPECT_EQ(dst->Blt(nullptr, src.get(), &outside, 0), result::kInvalidRect);
}

TEST(BlitRules, AClipperCutsTheDestinationAndTheMatchingSourceEdge) {
  auto src = MakeSurface(4, 1, PixelFormat::Xrgb8888());
  FillPattern(*src);
  auto dst = MakeSurface(3, 1, PixelFormat::Xrgb8888());
  dst->SetClipper(std::make_shared<Clipper>());
  Rect d{-2, 0, 2, 1};
  ASSERT_EQ(dst->Blt(&d, src.get(), nullptr, 0), result::kOk);
  EXPECT_EQ(dst->PixelAt(0, 0), Pattern(2, 0, src->Format()));
  EXPECT_EQ(dst->PixelAt(1, 0), Pattern(3, 0, src->Format()));
  EXPECT_EQ(dst->PixelAt(2, 0), 0u);

  // Mirrored, the cut comes off the source's right edge.
  BltFx fx;
  fx.mirror_left_right = true;
  ASSERT_EQ(dst->Blt(&d, src.get(), nullptr, kBltFx, &fx), result::kOk);
  EXPECT_EQ(dst->PixelAt(0, 0), Pattern(1, 0, src->Format()));
  EXPECT_EQ(dst->PixelAt(1, 0), Pattern(0, 0, src->Format()));

  Rect away{5, 0, 9, 1};
  EXPECT_EQ(dst->Blt(&away, src.get(), nullptr, 0), result::kOk);
}

TEST(BlitRules, FormatsConvertThroughRgb) {
  auto src16 = MakeSurface(1, 1, PixelFormat::Rgb565());
  src16->SetPixelAt(0, 0, 0xF800);  // full red
  auto dst32 = MakeSurface(1, 1, PixelFormat::Xrgb8888());
  ASSERT_EQ(dst32->BltFast(0, 0, src16.get(), nullptr, 0), result::kOk);
  EXPECT_EQ(dst32->PixelAt(0, 0), 0xFF0000u);

  auto src8 = MakeSurface(1, 1, PixelFormat::Indexed8());
  src8->SetPixelAt(0, 0, 5);
  EXPECT_EQ(dst32->BltFast(0, 0, src8.get(), nullptr, 0), result::kNoPalette);
  auto palette = std::make_shared<Palette>();
  palette->SetEntry(5, PaletteEntry{0x12, 0x34, 0x56, 0});
  src8->SetPalette(palette);
  ASSERT_EQ(dst32->BltFast(0, 0, src8.get(), nullptr, 0), result::kOk);
  EXPECT_EQ(dst32->PixelAt(0, 0), 0x123456u);

  auto dst8 = MakeSurface(1, 1, PixelFormat::Indexed8());
  EXPECT_EQ(dst8->BltFast(0, 0, src16.get(), nullptr, 0), result::kInvalidPixelFormat);
}

}  // namespace
}  // namespace zv::platform
