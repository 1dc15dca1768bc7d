// Block decompression: each format's palette rules, partial blocks, and
// data that are too short.
#include <gtest/gtest.h>

#include <vector>

#include "platform/render3d/dxt.h"
#include "platform/render3d/texture.h"
#include "platform/render3d/caps.h"

namespace zv::platform {
namespace {

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

// A colour block: end points and the 16 two-bit indices, texel 0 first.
std::vector<uint8_t> ColourBlock(uint32_t c0, uint32_t c1, const int (&indices)[16]) {
  std::vector<uint8_t> b;
  Put16(b, c0);
  Put16(b, c1);
  uint32_t bits = 0;
  for (int i = 0; i < 16; ++i) bits |= static_cast<uint32_t>(indices[i]) << (2 * i);
  Put16(b, bits & 0xFFFF);
  Put16(b, bits >> 16);
  return b;
}

constexpr int kRamp[16] = {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3};
constexpr int kFirst[16] = {};

std::vector<uint32_t> Decode(DxtFormat f, int w, int h, const std::vector<uint8_t>& data) {
  std::vector<uint32_t> out(static_cast<size_t>(w) * h, 0xDEADBEEF);
  EXPECT_TRUE(DecodeDxt(f, w, h, data, out.data(), static_cast<size_t>(w)));
  return out;
}

TEST(Dxt, Dxt1FourColourAndThreeColourWithTransparentBlack) {
  auto four = Decode(DxtFormat::kDxt1, 4, 4, ColourBlock(0xF800, 0x001F, kRamp));
  EXPECT_EQ(four[0], 0xFFFF0000u);
  EXPECT_EQ(four[1], 0xFF0000FFu);
  EXPECT_EQ(four[2], 0xFFAA0055u);  // (2 red + blue) / 3
  EXPECT_EQ(four[3], 0xFF5500AAu);
  auto three = Decode(DxtFormat::kDxt1, 4, 4, ColourBlock(0x001F, 0xF800, kRamp));
  EXPECT_EQ(three[2], 0xFF7F007Fu);  // halfway
  EXPECT_EQ(three[3], 0x00000000u);  // transparent black
}

TEST(Dxt, Dxt3ExplicitAlphaAndDxt5InterpolatedAlpha) {
  std::vector<uint8_t> dxt3;
  for (int i = 0; i < 8; ++i) dxt3.push_back(static_cast<uint8_t>(0x10 * (2 * i + 1) + 2 * i));  // nibbles 2i, 2i+1
  auto colour = ColourBlock(0x001F, 0xF800, kRamp);  // four-colour mode regardless of order
  dxt3.insert(dxt3.end(), colour.begin(), colour.end());
  auto a = Decode(DxtFormat::kDxt3, 4, 4, dxt3);
  EXPECT_EQ(a[0] >> 24, 0x00u);
  EXPECT_EQ(a[1] >> 24, 0x11u);
  EXPECT_EQ(a[15] >> 24, 0xFFu);
  EXPECT_EQ(a[3] & 0xFFFFFF, 0xAA0055u);  // no transparent entry

  std::vector<uint8_t> dxt5 = {255, 0};
  uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) bits |= static_cast<uint64_t>(i & 7) << (3 * i);
  for (int i = 0; i < 6; ++i) dxt5.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  dxt5.insert(dxt5.end(), colour.begin(), colour.end());
  auto b = Decode(DxtFormat::kDxt5, 4, 4, dxt5);
  EXPECT_EQ(b[0] >> 24, 255u);
  EXPECT_EQ(b[1] >> 24, 0u);
  EXPECT_EQ(b[2] >> 24, 218u);  // (6 x 255 + 0) / 7
  dxt5[0] = 0;
  dxt5[1] = 200;  // six-value mode with 0 and 255 at the end
  auto c = Decode(DxtFormat::kDxt5, 4, 4, dxt5);
  EXPECT_EQ(c[2] >> 24, 40u);
  EXPECT_EQ(c[6] >> 24, 0u);
  EXPECT_EQ(c[7] >> 24, 255u);
}

TEST(Dxt, PartialBlocksWriteOnlyTheImageAndShortDataIsRefused) {
  std::vector<uint8_t> two_blocks = ColourBlock(0xF800, 0xF800, kFirst);
  auto second = ColourBlock(0x07E0, 0x07E0, kFirst);
  two_blocks.insert(two_blocks.end(), second.begin(), second.end());
  std::vector<uint32_t> out(5 * 3 + 1, 7);
  ASSERT_TRUE(DecodeDxt(DxtFormat::kDxt1, 5, 3, two_blocks, out.data(), 5));
  EXPECT_EQ(out[3], 0xFFFF0000u);
  EXPECT_EQ(out[4], 0xFF00FF00u);
  EXPECT_EQ(out[14], 0xFF00FF00u);
  EXPECT_EQ(out[15], 7u);  // nothing past the image
  std::vector<uint32_t> untouched(16, 7);
  two_blocks.pop_back();
  EXPECT_FALSE(DecodeDxt(DxtFormat::kDxt1, 5, 3, two_blocks, untouched.data(), 5));
  EXPECT_FALSE(DecodeDxt(DxtFormat::kDxt1, 0, 3, two_blocks, untouched.data(), 5));
  EXPECT_FALSE(DecodeDxt(static_cast<DxtFormat>(9), 4, 4, two_blocks, untouched.data(), 4));
  for (uint32_t v : untouched) EXPECT_EQ(v, 7u);
  EXPECT_EQ(DxtLevelBytes(DxtFormat::kDxt5, 1, 1), 16u);
  EXPECT_EQ(DxtLevelBytes(DxtFormat::kDxt1, 70000, 4), 0u);
}

TEST(Dxt, ImagesKeepTheirMipLevelsAndDecompressIntoTextures) {
  EXPECT_EQ(DxtImage::Create(DxtFormat::kDxt1, 4, 4, 4), nullptr);  // 4, 2, 1: three levels
  DxtImagePtr image = DxtImage::Create(DxtFormat::kDxt1, 8, 4, 4);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Width(3), 1);
  EXPECT_EQ(image->LevelData(0).size(), 16u);
  auto block = ColourBlock(0x001F, 0x001F, kFirst);  // blue
  std::copy(block.begin(), block.end(), image->LevelData(0).begin());
  std::copy(block.begin(), block.end(), image->LevelData(0).begin() + 8);
  TexturePtr texture = Texture::Create(TextureDesc{8, 4, Argb4444(), 1});
  ASSERT_EQ(texture->BltFromDxt(0, nullptr, *image, 0), 0);
  EXPECT_EQ(texture->Level(0).PixelAt(5, 2), 0xF00Fu);
  EXPECT_NE(texture->BltFromDxt(0, nullptr, *image, 9), 0);
}

}  // namespace
}  // namespace zv::platform
