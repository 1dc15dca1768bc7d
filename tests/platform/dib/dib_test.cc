#include <gtest/gtest.h>

#include <vector>

#include "platform/dib/dib.h"

namespace zv::platform {
namespace {

SurfacePtr MakeSurface(int32_t w, int32_t h, PixelFormat format = PixelFormat::Xrgb8888()) {
  SurfaceDesc desc;
  desc.width = w;
  desc.height = h;
  desc.format = format;
  return Surface::Create(desc);
}

// The picture views `data`, which must outlive it.
Dib Picture(int32_t w, int32_t h, uint16_t bits, const std::vector<uint8_t>& data,
            uint32_t compression = dib_compression::kRgb) {
  Dib dib;
  dib.width = w;
  dib.height = h;
  dib.bit_count = bits;
  dib.compression = compression;
  dib.bits = data;
  return dib;
}

Dib Picture(int32_t, int32_t, uint16_t, std::vector<uint8_t>&&, uint32_t = 0) = delete;

void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

std::vector<uint8_t> InfoHeader(int32_t w, int32_t h, uint16_t bits, uint32_t compression, uint32_t used) {
  std::vector<uint8_t> b;
  Put32(b, 40);
  Put32(b, static_cast<uint32_t>(w));
  Put32(b, static_cast<uint32_t>(h));
  Put16(b, 1);
  Put16(b, bits);
  Put32(b, compression);
  for (int i = 0; i < 3; ++i) Put32(b, 0);
  Put32(b, used);
  Put32(b, 0);
  return b;
}

TEST(Dib, TwentyFourBitRowsRunBottomUp) {
  // Rows of 2 pixels padded to 8 bytes; the first row is the bottom one.
  const std::vector<uint8_t> data = {0, 0, 255, 0, 255, 0, 0, 0,    // bottom: red, green
                                     255, 0, 0, 255, 255, 255, 0, 0};  // top: blue, white
  SurfacePtr s = MakeSurface(2, 2);
  ASSERT_EQ(StretchDibBits(*s, Rect{0, 0, 2, 2}, Picture(2, 2, 24, data), Rect{0, 0, 2, 2}), 2);
  EXPECT_EQ(s->PixelAt(0, 0), 0x0000FFu);
  EXPECT_EQ(s->PixelAt(1, 0), 0xFFFFFFu);
  EXPECT_EQ(s->PixelAt(0, 1), 0xFF0000u);
  EXPECT_EQ(s->PixelAt(1, 1), 0x00FF00u);
}

TEST(Dib, ANegativeHeightRunsTopDown) {
  const std::vector<uint8_t> data = {0, 0, 255, 0, 255, 0, 0, 0};
  SurfacePtr s = MakeSurface(1, 2);
  ASSERT_EQ(StretchDibBits(*s, Rect{0, 0, 1, 2}, Picture(1, -2, 32, data), Rect{0, 0, 1, 2}), 2);
  EXPECT_EQ(s->PixelAt(0, 0), 0xFF0000u);
  EXPECT_EQ(s->PixelAt(0, 1), 0x0000FFu);
}

TEST(Dib, PalettePicturesOfOneFourAndEightBits) {
  const std::vector<uint8_t> one_bits = {0b10100000, 0, 0, 0}, four_bits = {0x12, 0x30, 0, 0},
                             eight_bits = {2, 1, 9, 0};  // index 9 lies past the table
  Dib one = Picture(3, 1, 1, one_bits);
  one.colours = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  Dib four = Picture(3, 1, 4, four_bits);
  four.colours.resize(4);
  four.colours[1] = {0, 0, 255, 0};
  four.colours[2] = {0, 255, 0, 0};
  four.colours[3] = {255, 0, 0, 0};
  Dib eight = Picture(3, 1, 8, eight_bits);
  eight.colours = four.colours;
  SurfacePtr s = MakeSurface(3, 3);
  StretchDibBits(*s, Rect{0, 0, 3, 1}, one, Rect{0, 0, 3, 1});
  StretchDibBits(*s, Rect{0, 1, 3, 2}, four, Rect{0, 0, 3, 1});
  StretchDibBits(*s, Rect{0, 2, 3, 3}, eight, Rect{0, 0, 3, 1});
  EXPECT_EQ(s->PixelAt(0, 0), 0xFFFFFFu);
  EXPECT_EQ(s->PixelAt(1, 0), 0u);
  EXPECT_EQ(s->PixelAt(2, 0), 0xFFFFFFu);
  EXPECT_EQ(s->PixelAt(0, 1), 0xFF0000u);
  EXPECT_EQ(s->PixelAt(1, 1), 0x00FF00u);
  EXPECT_EQ(s->PixelAt(2, 1), 0x0000FFu);
  EXPECT_EQ(s->PixelAt(0, 2), 0x00FF00u);
  EXPECT_EQ(s->PixelAt(2, 2), 0u);
}

TEST(Dib, SixteenBitPixelsAreFiveFiveFiveUnlessMasksSayOtherwise) {
  SurfacePtr s = MakeSurface(1, 2);
  const std::vector<uint8_t> red555 = {0x00, 0x7C, 0, 0}, green565 = {0xE0, 0x07, 0, 0};
  StretchDibBits(*s, Rect{0, 0, 1, 1}, Picture(1, 1, 16, red555), Rect{0, 0, 1, 1});
  EXPECT_EQ(s->PixelAt(0, 0), 0xFF0000u);
  Dib fields = Picture(1, 1, 16, green565, dib_compression::kBitFields);
  fields.masks = {0xF800, 0x07E0, 0x001F};
  StretchDibBits(*s, Rect{0, 1, 1, 2}, fields, Rect{0, 0, 1, 1});
  EXPECT_EQ(s->PixelAt(0, 1), 0x00FF00u);
}

TEST(Dib, ConvertsToTheSurfacesFormat) {
  SurfacePtr s = MakeSurface(1, 1, PixelFormat::Rgb565());
  const std::vector<uint8_t> red = {0, 0, 255, 0};
  StretchDibBits(*s, Rect{0, 0, 1, 1}, Picture(1, 1, 24, red), Rect{0, 0, 1, 1});
  EXPECT_EQ(s->PixelAt(0, 0), 0xF800u);
}

TEST(Dib, StretchesByNearestPixelAndClipsToTheSurface) {
  const std::vector<uint8_t> data = {0, 0, 255, 255, 0, 0, 0, 0};  // red, blue
  SurfacePtr s = MakeSurface(5, 5);
  EXPECT_EQ(StretchDibBits(*s, Rect{-2, 1, 6, 3}, Picture(2, 1, 24, data), Rect{0, 0, 2, 1}), 1);
  EXPECT_EQ(s->PixelAt(0, 1), 0xFF0000u);
  EXPECT_EQ(s->PixelAt(1, 2), 0xFF0000u);
  EXPECT_EQ(s->PixelAt(2, 1), 0x0000FFu);
  EXPECT_EQ(s->PixelAt(4, 2), 0x0000FFu);
  EXPECT_EQ(s->PixelAt(0, 0), 0u);
  EXPECT_EQ(s->PixelAt(0, 3), 0u);
}

TEST(Dib, RunLengthDataDrawsRunsLiteralsAndMovesAndSkipsTheRest) {
  // 4 x 3 picture, bottom row first.
  const std::vector<uint8_t> data = {
      2, 1,           // two pixels of colour 1
      0, 0,           // end of row 0
      0, 3, 2, 1, 2, 0,  // three literal pixels 2 1 2, padded
      0, 2, 0, 1,     // move down one row: row 1's rest and row 2's start are skipped
      1, 1,           // row 2 column 3
      0, 1};          // end of the picture
  Dib dib = Picture(4, 3, 8, data, dib_compression::kRle8);
  dib.colours = {{0, 0, 0, 0}, {0, 0, 255, 0}, {255, 0, 0, 0}};
  SurfacePtr s = MakeSurface(4, 3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) s->SetPixelAt(x, y, 0x777777);
  ASSERT_EQ(StretchDibBits(*s, Rect{0, 0, 4, 3}, dib, Rect{0, 0, 4, 3}), 3);
  // Bottom row (surface row 2).
  EXPECT_EQ(s->PixelAt(0, 2), 0xFF0000u);
  EXPECT_EQ(s->PixelAt(1, 2), 0xFF0000u);
  EXPECT_EQ(s->PixelAt(2, 2), 0x777777u);
  // Row 1: the literals, then skipped.
  EXPECT_EQ(s->PixelAt(0, 1), 0x0000FFu);
  EXPECT_EQ(s->PixelAt(1, 1), 0xFF0000u);
  EXPECT_EQ(s->PixelAt(2, 1), 0x0000FFu);
  EXPECT_EQ(s->PixelAt(3, 1), 0x777777u);
  // Top row: only column 3.
  EXPECT_EQ(s->PixelAt(2, 0), 0x777777u);
  EXPECT_EQ(s->PixelAt(3, 0), 0xFF0000u);
}

TEST(Dib, FourBitRunsAlternateTheirTwoColours) {
  const std::vector<uint8_t> data = {5, 0x12, 0, 1};
  Dib dib = Picture(5, 1, 4, data, dib_compression::kRle4);
  dib.colours = {{0, 0, 0, 0}, {0, 0, 255, 0}, {255, 0, 0, 0}};
  SurfacePtr s = MakeSurface(5, 1);
  StretchDibBits(*s, Rect{0, 0, 5, 1}, dib, Rect{0, 0, 5, 1});
  EXPECT_EQ(s->PixelAt(0, 0), 0xFF0000u);
  EXPECT_EQ(s->PixelAt(1, 0), 0x0000FFu);
  EXPECT_EQ(s->PixelAt(4, 0), 0xFF0000u);
}

TEST(Dib, TruncatedOrMalformedDataDrawsNothingUnsafe) {
  SurfacePtr s = MakeSurface(8, 8);
  // Rows shorter than the header says.
  const std::vector<uint8_t> short_rows(40);
  EXPECT_EQ(StretchDibBits(*s, Rect{0, 0, 8, 8}, Picture(8, 8, 24, short_rows), Rect{0, 0, 8, 8}), 0);
  // Run-length data that stops halfway, runs past the row's end, a literal
  // longer than the data.
  const std::vector<uint8_t> rle = {200, 1, 0, 0, 0, 50, 1, 2};
  Dib dib = Picture(8, 8, 8, rle, dib_compression::kRle8);
  dib.colours = {{0, 0, 0, 0}, {0, 0, 255, 0}};
  EXPECT_EQ(StretchDibBits(*s, Rect{0, 0, 8, 8}, dib, Rect{0, 0, 8, 8}), 8);
  EXPECT_EQ(s->PixelAt(7, 7), 0xFF0000u);
  // A source rectangle outside the picture.
  EXPECT_EQ(StretchDibBits(*s, Rect{0, 0, 8, 8}, dib, Rect{0, 0, 9, 8}), 0);
  // A run-length picture that claims to be top-down.
  dib.height = -8;
  EXPECT_EQ(StretchDibBits(*s, Rect{0, 0, 8, 8}, dib, Rect{0, 0, 8, 8}), 0);
}

TEST(Dib, ReadsInfoBlocks) {
  std::vector<uint8_t> info = InfoHeader(3, -2, 8, dib_compression::kRgb, 2);
  for (uint8_t c : {10, 20, 30, 0, 40, 50, 60, 0}) info.push_back(c);
  Dib dib;
  ASSERT_TRUE(ReadDibInfo(info, &dib));
  EXPECT_EQ(dib.width, 3);
  EXPECT_EQ(dib.height, -2);
  ASSERT_EQ(dib.colours.size(), 2u);
  EXPECT_EQ(dib.colours[1].red, 60);
  // Bit fields after a 40-byte header.
  std::vector<uint8_t> fields = InfoHeader(1, 1, 16, dib_compression::kBitFields, 0);
  Put32(fields, 0xF800);
  Put32(fields, 0x07E0);
  Put32(fields, 0x001F);
  ASSERT_TRUE(ReadDibInfo(fields, &dib));
  EXPECT_EQ(dib.masks[1], 0x07E0u);
  // The old core header with three-byte colours.
  std::vector<uint8_t> core;
  Put32(core, 12);
  Put16(core, 2);
  Put16(core, 2);
  Put16(core, 1);
  Put16(core, 1);
  for (uint8_t c : {1, 2, 3, 4, 5, 6}) core.push_back(c);
  ASSERT_TRUE(ReadDibInfo(core, &dib));
  EXPECT_EQ(dib.colours[1].blue, 4);
}

TEST(Dib, RefusesInfoBlocksItCannotDraw) {
  Dib dib;
  EXPECT_FALSE(ReadDibInfo(InfoHeader(3, 2, 8, dib_compression::kRgb, 0), &dib));  // no colour table
  EXPECT_FALSE(ReadDibInfo(InfoHeader(0, 2, 24, dib_compression::kRgb, 0), &dib));
  EXPECT_FALSE(ReadDibInfo(InfoHeader(100000, 2, 24, dib_compression::kRgb, 0), &dib));
  EXPECT_FALSE(ReadDibInfo(InfoHeader(2, -2147483647 - 1, 24, dib_compression::kRgb, 0), &dib));
  EXPECT_FALSE(ReadDibInfo(InfoHeader(2, 2, 7, dib_compression::kRgb, 0), &dib));
  EXPECT_FALSE(ReadDibInfo(InfoHeader(2, 2, 24, dib_compression::kRle8, 0), &dib));
  EXPECT_FALSE(ReadDibInfo(InfoHeader(2, 2, 24, 4, 0), &dib));
  EXPECT_FALSE(ReadDibInfo(std::vector<uint8_t>(11), &dib));
}

TEST(Dib, GetDibBitsGivesPaddedBgrRowsBottomFirst) {
  SurfacePtr s = MakeSurface(3, 2, PixelFormat::Rgb565());
  s->SetPixelAt(0, 0, 0xF800);  // top-left red
  s->SetPixelAt(2, 1, 0x001F);  // bottom-right blue
  std::vector<uint8_t> out(2 * DibStride(3, 24), 0xAA);
  ASSERT_EQ(DibStride(3, 24), 12u);
  ASSERT_EQ(GetDibBits(*s, 0, 2, 24, out), 2);
  EXPECT_EQ(out[6], 255);   // bottom row, third pixel: blue first
  EXPECT_EQ(out[8], 0);
  EXPECT_EQ(out[9], 0);     // padding
  EXPECT_EQ(out[12 + 2], 255);  // top row, first pixel: red last
  std::vector<uint8_t> small(DibStride(3, 32));
  EXPECT_EQ(GetDibBits(*s, 1, 5, 32, small), 1);
  EXPECT_EQ(small[2], 255);
  EXPECT_EQ(GetDibBits(*s, 2, 1, 24, out), 0);
  EXPECT_EQ(GetDibBits(*s, 0, 1, 16, out), 0);
}

}  // namespace
}  // namespace zv::platform
