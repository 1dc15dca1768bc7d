#include <gtest/gtest.h>

#include "display/codecs/dds_codec.h"
#include "display/codecs/dxt_encoder.h"
#include "display/codecs/image_codecs.h"
#include "tests/display/codecs/codec_test_support.h"

namespace zv::codecs {
namespace {

using platform::DxtFormat;
using platform::PixelFormat;

uint32_t Read32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(Dxt, BlocksOfTwoExactColoursSurviveEveryFormat) {
  // Colours that 5-6-5 holds exactly, two per block.
  std::vector<uint32_t> pixels(8 * 4);
  for (int i = 0; i < 32; ++i) pixels[i] = (i % 8 < 4 ? ((i / 8) % 2 ? 0xFFFF0000u : 0xFF0000FFu) : 0xFF00FF00u);
  for (DxtFormat f : {DxtFormat::kDxt1, DxtFormat::kDxt3, DxtFormat::kDxt5}) {
    std::vector<uint8_t> blocks(platform::DxtLevelBytes(f, 8, 4));
    ASSERT_TRUE(EncodeDxt(f, 8, 4, pixels.data(), 8, blocks));
    std::vector<uint32_t> back(32);
    ASSERT_TRUE(platform::DecodeDxt(f, 8, 4, blocks, back.data(), 8));
    EXPECT_EQ(back, pixels);
  }
}

TEST(Dds, SaveRoundsToPowersOfTwoAndWritesTheLevels) {
  platform::SurfacePtr s = test::TestPicture(640, 480, PixelFormat::Rgb565());
  const std::vector<uint8_t> file = EncodeDds(*s);
  ASSERT_GT(file.size(), 128u);
  EXPECT_EQ(Read32(file, 0), 0x20534444u);
  EXPECT_EQ(Read32(file, 4), 124u);
  EXPECT_EQ(Read32(file, 8), 0x21007u);
  EXPECT_EQ(Read32(file, 12), 512u);   // height
  EXPECT_EQ(Read32(file, 16), 1024u);  // width
  EXPECT_EQ(Read32(file, 28), 8u);     // levels down to the shorter side 4
  EXPECT_EQ(Read32(file, 84), 0x31545844u);  // "DXT1"
  EXPECT_EQ(Read32(file, 108), 0x401008u);
  size_t expected = 128;
  for (int i = 0, w = 1024, h = 512; i < 8; ++i, w /= 2, h /= 2) expected += platform::DxtLevelBytes(DxtFormat::kDxt1, w, h);
  EXPECT_EQ(file.size(), expected);
  std::optional<MipmapChain> chain = ReadDds(file);
  ASSERT_TRUE(chain && chain->compressed);
  EXPECT_EQ(chain->LevelCount(), 8);
  EXPECT_EQ(chain->compressed->Width(7), 8);
  EXPECT_EQ(chain->compressed->Height(7), 4);
}

TEST(Dds, ANarrowPictureGetsOneLevel) {
  platform::SurfacePtr s = test::TestPicture(2, 256, PixelFormat::Xrgb8888());
  const std::vector<uint8_t> file = EncodeDds(*s);
  EXPECT_EQ(Read32(file, 28), 0u);
  EXPECT_EQ(file.size(), 128u + platform::DxtLevelBytes(DxtFormat::kDxt1, 2, 256));
  EXPECT_EQ(RoundUpToPowerOfTwo(1), 2);
  EXPECT_EQ(RoundUpToPowerOfTwo(8192), 8192);
  EXPECT_EQ(RoundUpToPowerOfTwo(8193), 16384);
}

TEST(Dds, FlatColoursSurviveASaveAndLoad) {
  platform::SurfacePtr s = test::MakeSurface(16, 8, PixelFormat::Xrgb8888());
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 16; ++x) s->SetPixelAt(x, y, x < 8 ? 0xF80000u : 0x00FC00u);
  const std::vector<uint8_t> file = EncodeDds(*s);
  std::optional<DecodedPicture> p = DecodeDds(file);
  ASSERT_TRUE(p);
  platform::SurfacePtr back = DrawPicture(*p, test::Factory(PixelFormat::Xrgb8888()));
  ASSERT_TRUE(back);
  // Stored as 5-6-5 fields and widened back to full 8-bit values.
  EXPECT_EQ(back->PixelAt(0, 0) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(back->PixelAt(15, 7) & 0xFFFFFF, 0x00FF00u);
}

TEST(Dds, StoredLevelsOfOtherProgramsAreRead) {
  std::optional<MipmapChain> chain = ReadDds(test::FixtureBytes("dxt5.dds"));
  ASSERT_TRUE(chain && chain->compressed);
  EXPECT_EQ(chain->compressed->Format(), DxtFormat::kDxt5);
  EXPECT_EQ(chain->LevelCount(), 4);
  chain = ReadDds(test::FixtureBytes("rgb.dds"));
  ASSERT_TRUE(chain);
  ASSERT_EQ(chain->levels.size(), 1u);
  EXPECT_EQ(chain->levels[0]->Format().bits, 24);
}

TEST(Mipmaps, BoxFilterAveragesAlignedBlocks) {
  platform::SurfacePtr s = test::MakeSurface(3, 2, PixelFormat::Xrgb8888());
  s->SetPixelAt(0, 0, 0x000000), s->SetPixelAt(1, 0, 0x080808);
  s->SetPixelAt(0, 1, 0x101010), s->SetPixelAt(1, 1, 0x181818);
  s->SetPixelAt(2, 0, 0x200000), s->SetPixelAt(2, 1, 0x000020);
  BoxFilter2x2(*s);
  for (int32_t y = 0; y < 2; ++y) {
    EXPECT_EQ(s->PixelAt(0, y), 0x0C0C0Cu);
    EXPECT_EQ(s->PixelAt(1, y), 0x0C0C0Cu);
    EXPECT_EQ(s->PixelAt(2, y), 0x100010u);
  }
}

TEST(Mipmaps, ChainHalvesDownToTheShorterSideFour) {
  platform::SurfacePtr s = test::TestPicture(64, 32, PixelFormat::Rgb565());
  std::optional<MipmapChain> packed = MakeMipmappedTexture(*s, DxtFormat::kDxt3, true);
  ASSERT_TRUE(packed && packed->compressed);
  EXPECT_EQ(packed->LevelCount(), 4);
  EXPECT_EQ(packed->compressed->Width(3), 8);
  std::optional<MipmapChain> plain = MakeMipmappedTexture(*s, DxtFormat::kDxt1, false);
  ASSERT_TRUE(plain);
  ASSERT_EQ(plain->levels.size(), 4u);
  EXPECT_EQ(plain->levels[3]->Width(), 8);
  EXPECT_EQ(plain->levels[3]->Height(), 4);
  EXPECT_EQ(plain->levels[0]->Format(), PixelFormat::Rgb565());
  // A flat picture stays flat at every level.
  platform::SurfacePtr flat = test::MakeSurface(16, 16, PixelFormat::Xrgb8888());
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) flat->SetPixelAt(x, y, 0x336699);
  plain = MakeMipmappedTexture(*flat, DxtFormat::kDxt1, false);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->levels.back()->PixelAt(1, 1), 0x336699u);
}

}  // namespace
}  // namespace zv::codecs
