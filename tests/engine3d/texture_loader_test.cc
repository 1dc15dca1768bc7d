#include "engine3d/render/texture_loader.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

namespace p = platform;

p::DeviceCaps CapsWith(uint32_t texture_caps, int32_t min_side, int32_t max_side) {
  p::DeviceCaps caps;
  caps.triangle.texture = texture_caps;
  caps.min_texture_width = caps.min_texture_height = min_side;
  caps.max_texture_width = caps.max_texture_height = max_side;
  return caps;
}

std::pair<int32_t, int32_t> Chosen(const p::DeviceCaps& caps, int32_t width, int32_t height) {
  ChooseTextureSize(caps, &width, &height);
  return {width, height};
}

using Size = std::pair<int32_t, int32_t>;

TEST(TextureSize, FollowsTheDevicesRequirements) {
  const p::DeviceCaps square = CapsWith(p::texture_caps::kPow2 | p::texture_caps::kSquareOnly, 0, 0);
  EXPECT_EQ(Chosen(square, 100, 60), Size(128, 128));
  const p::DeviceCaps free = CapsWith(0, 0, 0);
  EXPECT_EQ(Chosen(free, 100, 60), Size(100, 60));
  EXPECT_EQ(Chosen(free, 5, 3), Size(16, 16));  // no minimum named: 16
  const p::DeviceCaps ours = p::SoftwareDeviceCaps(p::DeviceKind::kHal);
  EXPECT_EQ(Chosen(ours, 100, 60), Size(128, 64));
  EXPECT_EQ(Chosen(ours, 1, 1), Size(2, 2));
  EXPECT_EQ(Chosen(ours, 513, 2000), Size(1024, 1024));
  EXPECT_EQ(Chosen(CapsWith(p::texture_caps::kPow2, 1, 256), 300, 20), Size(256, 32));
}

TEST(TextureFormats, ByDepthTakesTheFirstOfTheDepthWithoutAlpha) {
  const std::vector<p::PixelFormat> offered = p::TextureFormats();
  EXPECT_EQ(FindTextureFormatByDepth(offered, 32), p::PixelFormat::Xrgb8888());
  EXPECT_EQ(FindTextureFormatByDepth(offered, 16), p::PixelFormat::Rgb565());
  // No 24-bit format: the last acceptable one.
  EXPECT_EQ(FindTextureFormatByDepth(offered, 24), p::PixelFormat::Xrgb8888());
  const std::vector<p::PixelFormat> alpha_only{p::Argb1555(), p::Argb8888(), p::PixelFormat::Indexed8()};
  EXPECT_FALSE(FindTextureFormatByDepth(alpha_only, 16));
  EXPECT_TRUE(FindExactTextureFormat(offered, p::PixelFormat::Rgb555()));
  EXPECT_FALSE(FindExactTextureFormat(offered, p::PixelFormat::Rgb888()));
}

SourceFormat Dxt(p::DxtFormat f) {
  SourceFormat s;
  s.dxt = f;
  return s;
}

SourceFormat Plain(const p::PixelFormat& f) {
  SourceFormat s;
  s.format = f;
  return s;
}

TEST(TextureFormats, BlockCompressedDataGoWhereTheirAlphaFits) {
  const std::vector<p::PixelFormat> offered = p::TextureFormats();
  EXPECT_EQ(FindTextureFormatForDds(offered, Dxt(p::DxtFormat::kDxt1)), p::Argb1555());
  EXPECT_EQ(FindTextureFormatForDds(offered, Dxt(p::DxtFormat::kDxt3)), p::Argb4444());
  EXPECT_EQ(FindTextureFormatForDds(offered, Dxt(p::DxtFormat::kDxt5)), p::Argb8888());
  // Premultiplied colour has no home on this device: the load fails.
  EXPECT_FALSE(FindTextureFormatForDds(offered, Dxt(p::DxtFormat::kDxt2)));
  EXPECT_FALSE(FindTextureFormatForDds(offered, Dxt(p::DxtFormat::kDxt4)));
  // Without 4-bit alpha, the format with the most alpha.
  const std::vector<p::PixelFormat> no_4444{p::PixelFormat::Rgb565(), p::Argb1555(), p::Argb8888()};
  EXPECT_EQ(FindTextureFormatForDds(no_4444, Dxt(p::DxtFormat::kDxt3)), p::Argb8888());
  // Without any alpha format, colour alone.
  EXPECT_EQ(FindTextureFormatForDds(std::vector<p::PixelFormat>{p::PixelFormat::Rgb565()}, Dxt(p::DxtFormat::kDxt1)),
            p::PixelFormat::Rgb565());
}

TEST(TextureFormats, UncompressedDataMatchTheirFieldWidths) {
  const std::vector<p::PixelFormat> offered = p::TextureFormats();
  EXPECT_EQ(FindTextureFormatForDds(offered, Plain(p::PixelFormat::Rgb888())), p::PixelFormat::Xrgb8888());
  EXPECT_EQ(FindTextureFormatForDds(offered, Plain(p::PixelFormat::Rgb555())), p::PixelFormat::Rgb555());
  EXPECT_EQ(FindTextureFormatForDds(offered, Plain(p::Argb8888())), p::Argb8888());
  p::PixelFormat odd{16, 0xF000, 0x0F00, 0x00F0, 0, false, false};  // 4-4-4 without alpha
  EXPECT_FALSE(FindTextureFormatForDds(offered, Plain(odd)));
}

TEST(TexturePixels, BlackKeepsTheAlphaOfOpaquePixels) {
  EXPECT_EQ(BlackPixelOf(p::Argb1555()), 0x8000u);
  EXPECT_EQ(BlackPixelOf(p::Argb4444()), 0xF000u);
  EXPECT_EQ(BlackPixelOf(p::PixelFormat::Rgb565()), 0u);
  EXPECT_EQ(BlackPixelOf(p::PixelFormat::Indexed8()), 0u);
}

TEST(TexturePixels, SolidColoursScaleEachChannelOntoItsField) {
  EXPECT_EQ(SolidColourPixel(p::PixelFormat::Xrgb8888(), 0x123456), 0x123456u);
  // 128 of 255 in 6 bits is 31.6: truncated.
  EXPECT_EQ(SolidColourPixel(p::PixelFormat::Rgb565(), 0xFF8000), (31u << 11) | (31u << 5));
  EXPECT_EQ(SolidColourPixel(p::PixelFormat::Rgb555(), 0x0000FF), 31u);
}

TEST(TexturePixels, FormatDigitsNameBlockFormats) {
  EXPECT_EQ(DxtFormatOfDigit('3'), p::DxtFormat::kDxt3);
  EXPECT_EQ(DxtFormatOfDigit(49), p::DxtFormat::kDxt1);
  EXPECT_EQ(DxtFormatOfDigit(1), p::DxtFormat::kDxt1);
  EXPECT_EQ(DxtFormatOfDigit('9'), p::DxtFormat::kDxt1);
}

}  // namespace
}  // namespace zv
