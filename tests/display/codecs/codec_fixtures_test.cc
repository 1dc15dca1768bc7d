// Files made by other programs load with the pixels that ImageMagick, a
// trusted decoder, gives for them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "display/codecs/image_codecs.h"
#include "tests/display/codecs/codec_test_support.h"

namespace zv::codecs {
namespace {

using platform::PixelFormat;

struct Case {
  const char* file;
  int tolerance;  // per channel
};

// 0x00RRGGBB of every pixel, top row first, as ImageMagick decoded the
// file when the fixtures were made (a binary PPM beside it).
std::vector<uint32_t> ReferencePixels(const std::string& name, int32_t* w, int32_t* h) {
  const std::vector<uint8_t> ppm = test::FixtureBytes("reference/" + name + ".ppm");
  // "P6", width, height, maximum 255, one blank, then the pixels.
  size_t at = 2;
  int32_t fields[3] = {};
  for (int32_t& field : fields) {
    while (at < ppm.size() && std::isspace(ppm[at])) ++at;
    while (at < ppm.size() && std::isdigit(ppm[at])) field = field * 10 + (ppm[at++] - '0');
  }
  ++at;
  *w = fields[0], *h = fields[1];
  std::vector<uint32_t> out;
  if (ppm.size() < 2 || ppm[1] != '6' || fields[2] != 255 || ppm.size() - at < static_cast<size_t>(*w) * *h * 3)
    return out;
  for (size_t i = 0; i < static_cast<size_t>(*w) * *h; ++i, at += 3)
    out.push_back(static_cast<uint32_t>(ppm[at]) << 16 | static_cast<uint32_t>(ppm[at + 1]) << 8 | ppm[at + 2]);
  return out;
}

int ChannelDistance(uint32_t a, uint32_t b) {
  int most = 0;
  for (int shift = 0; shift < 24; shift += 8)
    most = std::max(most, std::abs(static_cast<int>(a >> shift & 255) - static_cast<int>(b >> shift & 255)));
  return most;
}

class FixtureTest : public ::testing::TestWithParam<Case> {};

TEST_P(FixtureTest, LoadsThePixelsOfTheTrustedDecoder) {
  const Case c = GetParam();
  const std::string path = test::Fixture(c.file);
  int32_t w = 0, h = 0;
  const std::vector<uint32_t> expected = ReferencePixels(c.file, &w, &h);
  ASSERT_FALSE(expected.empty()) << "reference decoder cannot read " << c.file;
  platform::SurfacePtr s = LoadImageFile(path, test::Factory(PixelFormat::Xrgb8888()));
  ASSERT_TRUE(s) << c.file;
  ASSERT_EQ(s->Width(), w);
  ASSERT_EQ(s->Height(), h);
  int worst = 0, bad_x = 0, bad_y = 0;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const int d = ChannelDistance(s->PixelAt(x, y) & 0xFFFFFFu, expected[static_cast<size_t>(y) * w + x]);
      if (d > worst) worst = d, bad_x = x, bad_y = y;
    }
  EXPECT_LE(worst, c.tolerance) << c.file << " differs most at " << bad_x << "," << bad_y;
}

// Exact everywhere except where the two decoders may round differently:
// 5-bit fields widened to 8 bits, CMYK, and the in-between colours of
// compressed blocks.
INSTANTIATE_TEST_SUITE_P(
    Files, FixtureTest,
    ::testing::Values(Case{"rgb24.bmp", 0}, Case{"rgb32.bmp", 0}, Case{"rgb565.bmp", 4}, Case{"pal8.bmp", 0},
                      Case{"pal4.bmp", 0}, Case{"mono.bmp", 0}, Case{"rle8.bmp", 0}, Case{"rle8.rle", 0},
                      Case{"core8.bmp", 0}, Case{"rgb24.tga", 0}, Case{"rgb32.tga", 0}, Case{"rle24.tga", 0},
                      Case{"pal8.tga", 0}, Case{"rlepal8.tga", 0}, Case{"grey.tga", 0}, Case{"rgb24top.tga", 0},
                      Case{"rgb16.tga", 1}, Case{"rgb24.pcx", 0}, Case{"pal8.pcx", 0}, Case{"ega16.pcx", 0},
                      Case{"raw.psd", 0}, Case{"rle.psd", 0}, Case{"alpha.psd", 0}, Case{"alpha.tif", 0},
                      Case{"raw.tif", 0}, Case{"lzw.tif", 0}, Case{"grey.tif", 0}, Case{"pal.tif", 1},
                      Case{"deep.tif", 1}, Case{"rgb.png", 0}, Case{"grey.png", 0}, Case{"deep.png", 0},
                      Case{"mono.png", 0}, Case{"interlaced.png", 0}, Case{"grey_alpha.png", 0},
                      Case{"colour.jpg", 0}, Case{"grey.jpg", 0}, Case{"progressive.jpg", 0},
                      Case{"cmyk.jpg", 8}, Case{"dxt1.dds", 8}, Case{"dxt3.dds", 8}, Case{"dxt5.dds", 8},
                      Case{"rgb.dds", 0}),
    [](const ::testing::TestParamInfo<Case>& info) {
      std::string name = info.param.file;
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

// A 1-bit PCX draws 0 black and 1 white whatever its header's palette says
// (ImageMagick takes the header's colours instead).
TEST(PcxFixture, OneBitPicturesAreBlackAndWhite) {
  platform::SurfacePtr s = LoadImageFile(test::Fixture("mono.pcx"), test::Factory(PixelFormat::Xrgb8888()));
  ASSERT_TRUE(s);
  int32_t w = 0, h = 0;
  const std::vector<uint32_t> reference = ReferencePixels("mono.pcx", &w, &h);
  ASSERT_EQ(w, s->Width());
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t p = s->PixelAt(x, y) & 0xFFFFFFu;
      ASSERT_TRUE(p == 0 || p == 0xFFFFFF);
      ASSERT_EQ(p, reference[static_cast<size_t>(y) * w + x] ^ 0xFFFFFFu);  // netpbm's palette: 1 is black
    }
}

// A paletted PNG whose black is transparent loads as plain colours.
TEST(PngFixture, TransparentPaletteEntryLoadsAsItsColour) {
  platform::SurfacePtr s = LoadImageFile(test::Fixture("pal_trns.png"), test::Factory(PixelFormat::Xrgb8888()));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->PixelAt(10, 0) & 0xFFFFFFu, 0u);          // black stays black
  EXPECT_EQ(s->PixelAt(0, 0) & 0xFFFFFFu, 0xFF0000u);   // red patch
}

TEST(Dispatch, ChoosesTheCodecByTheLastThreeLettersInAnyCase) {
  EXPECT_EQ(TypeOfName("PICTURE.BMP"), ImageFileType::kBmp);
  EXPECT_EQ(TypeOfName("a.Rle"), ImageFileType::kBmp);
  EXPECT_EQ(TypeOfName("a.dib"), ImageFileType::kBmp);
  EXPECT_EQ(TypeOfName("photo.jpeg"), ImageFileType::kNone);
  EXPECT_EQ(TypeOfName("scan.tiff"), ImageFileType::kNone);
  EXPECT_EQ(TypeOfName("ab"), ImageFileType::kNone);
  EXPECT_EQ(TypeOfName("x.tif"), ImageFileType::kTiff);
  EXPECT_FALSE(LoadImageFile(test::Fixture("colour.jpg") + ".jpeg", test::Factory(PixelFormat::Xrgb8888())));
}

TEST(Dispatch, LoadsInto16BitSurfacesDroppingLowBits) {
  platform::SurfacePtr s = LoadImageFile(test::Fixture("rgb24.bmp"), test::Factory(PixelFormat::Rgb565()));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->Format(), PixelFormat::Rgb565());
  EXPECT_EQ(s->PixelAt(0, 0), 0xF800u);  // the red patch
  EXPECT_EQ(s->PixelAt(0, 3), 0xFFFFu);  // white
}

}  // namespace
}  // namespace zv::codecs
