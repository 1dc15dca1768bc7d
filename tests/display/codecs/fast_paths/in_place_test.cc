// Loading decodes in place: uncompressed BMP and TGA pictures are drawn
// straight from the file's bytes. Every fixture must draw the same pixels
// that way as through the decoders that own their data, in a 32-bit
// surface (the shuffled rows) and a 16-bit one (the tables), and a damaged
// file must be refused by both alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/codecs/image_codecs.h"
#include "tests/display/codecs/codec_test_support.h"

namespace zv::codecs {
namespace {

using platform::PixelFormat;

const char* const kFixtures[] = {"rgb24.bmp",  "rgb32.bmp",   "rgb565.bmp", "pal8.bmp",  "pal4.bmp",    "mono.bmp",
                                 "rle8.bmp",   "core8.bmp",   "rgb24.tga",  "rgb32.tga", "rgb24top.tga", "rle24.tga",
                                 "pal8.tga",   "rlepal8.tga", "grey.tga",   "rgb16.tga", "rgb24.pcx",   "pal8.pcx",
                                 "ega16.pcx",  "mono.pcx",    "raw.psd",    "rle.psd",   "alpha.psd",   "rgb.png",
                                 "colour.jpg", "dxt1.dds"};

std::vector<uint32_t> Pixels(const platform::Surface& s) {
  std::vector<uint32_t> out;
  for (int32_t y = 0; y < s.Height(); ++y)
    for (int32_t x = 0; x < s.Width(); ++x) out.push_back(s.PixelAt(x, y));
  return out;
}

TEST(InPlace, DrawsWhatTheOwningDecodersDraw) {
  for (const char* name : kFixtures) {
    const std::vector<uint8_t> file = test::FixtureBytes(name);
    ASSERT_FALSE(file.empty()) << name;
    const ImageFileType type = TypeOfName(name);
    const std::optional<DecodedPicture> owning = DecodeImage(type, file);
    const std::optional<DecodedPicture> in_place = DecodeImageInPlace(type, file);
    ASSERT_TRUE(owning) << name;
    ASSERT_TRUE(in_place) << name;
    for (const PixelFormat format : {PixelFormat::Xrgb8888(), PixelFormat::Rgb565()}) {
      const platform::SurfacePtr a = DrawPicture(*owning, test::Factory(format));
      const platform::SurfacePtr b = DrawPicture(*in_place, test::Factory(format));
      ASSERT_TRUE(a && b) << name;
      EXPECT_EQ(Pixels(*a), Pixels(*b)) << name << " at " << format.bits << " bits";
    }
  }
}

TEST(InPlace, PlainRowsStayInTheFile) {
  // 37 pixels of 3 bytes need padding in a picture, 37 of 4 do not; a BMP's
  // rows are padded in the file already.
  for (const char* name : {"rgb24.bmp", "rgb32.bmp", "pal8.bmp", "rgb32.tga"}) {
    const std::vector<uint8_t> file = test::FixtureBytes(name);
    const std::optional<DecodedPicture> p = DecodeImageInPlace(TypeOfName(name), file);
    ASSERT_TRUE(p) << name;
    EXPECT_TRUE(p->storage.empty()) << name;
    EXPECT_GE(p->dib.bits.data(), file.data()) << name;
    EXPECT_LE(p->dib.bits.data() + p->dib.bits.size(), file.data() + file.size()) << name;
  }
  const std::vector<uint8_t> padded = test::FixtureBytes("rgb24.tga");
  const std::optional<DecodedPicture> p = DecodeImageInPlace(ImageFileType::kTga, padded);
  ASSERT_TRUE(p);
  EXPECT_FALSE(p->storage.empty());
}

TEST(InPlace, DamagedFilesAreRefusedAlike) {
  for (const char* name : kFixtures) {
    const std::vector<uint8_t> whole = test::FixtureBytes(name);
    const ImageFileType type = TypeOfName(name);
    uint32_t seed = 99;
    for (int round = 0; round < 40; ++round) {
      std::vector<uint8_t> damaged = whole;
      seed = seed * 1103515245u + 12345u;
      damaged.resize((seed >> 8) % (damaged.size() + 1));
      for (int i = 0; i < 3 && !damaged.empty(); ++i) {
        seed = seed * 1103515245u + 12345u;
        damaged[(seed >> 8) % damaged.size()] ^= static_cast<uint8_t>(1u << (seed >> 28 & 7));
      }
      const bool owning = DecodeImage(type, damaged).has_value();
      const std::optional<DecodedPicture> in_place = DecodeImageInPlace(type, damaged);
      EXPECT_EQ(owning, in_place.has_value()) << name << " round " << round;
      if (in_place) DrawPicture(*in_place, test::Factory(PixelFormat::Xrgb8888()));
    }
  }
}

}  // namespace
}  // namespace zv::codecs
