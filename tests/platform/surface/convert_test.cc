#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/surface/convert.h"
#include "platform/surface/png_writer.h"
#include "tests/platform/surface/surface_test_util.h"

namespace zv::platform {
namespace {

using test::MakeSurface;

TEST(ConvertToXrgb, WidensEveryFormat) {
  auto s16 = MakeSurface(2, 1, PixelFormat::Rgb565());
  s16->SetPixelAt(0, 0, 0x07E0);  // full green
  s16->SetPixelAt(1, 0, 0x8410);  // each field at its half
  uint32_t out[2];
  ConvertToXrgb(*s16, out, 2);
  EXPECT_EQ(out[0], 0x00FF00u);
  EXPECT_EQ(out[1], 0x848284u);
  // The same values read in another 16-bit format right after, and back.
  auto s555 = MakeSurface(2, 1, PixelFormat::Rgb555());
  s555->SetPixelAt(0, 0, 0x07E0);
  s555->SetPixelAt(1, 0, 0x8410);
  ConvertToXrgb(*s555, out, 2);
  EXPECT_EQ(out[0], 0x08FF00u);
  EXPECT_EQ(out[1], 0x080084u);
  ConvertToXrgb(*s16, out, 2);
  EXPECT_EQ(out[1], 0x848284u);

  auto s24 = MakeSurface(1, 1, PixelFormat::Rgb888());
  s24->SetPixelAt(0, 0, 0xABCDEF);
  ConvertToXrgb(*s24, out, 1);
  EXPECT_EQ(out[0], 0xABCDEFu);

  auto s8 = MakeSurface(1, 1, PixelFormat::Indexed8());
  s8->SetPixelAt(0, 0, 9);
  ConvertToXrgb(*s8, out, 1);
  EXPECT_EQ(out[0], 0u);  // no palette: black
  auto palette = std::make_shared<Palette>();
  palette->SetEntry(9, PaletteEntry{1, 2, 3, 0});
  s8->SetPalette(palette);
  ConvertToXrgb(*s8, out, 1);
  EXPECT_EQ(out[0], 0x010203u);
}

TEST(ConvertToXrgb, MapsEachChannelThroughTheGammaRamp) {
  auto s = MakeSurface(1, 1, PixelFormat::Xrgb8888());
  s->SetPixelAt(0, 0, 0x804020);
  GammaRamp ramp = GammaRamp::Identity();
  ramp.red[0x80] = 0x1234;
  ramp.green[0x40] = 0xFF00;
  ramp.blue[0x20] = 0;
  uint32_t out;
  ConvertToXrgb(*s, &out, 1, &ramp);
  EXPECT_EQ(out, 0x12FF00u);
}

struct PngImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

PngImage ReadPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  PngImage out;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
  image.format = PNG_FORMAT_RGB;
  out.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr)) return out;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  return out;
}

TEST(WriteSurfacePng, WritesThePixelsAsRgb) {
  auto s = MakeSurface(3, 2, PixelFormat::Rgb565());
  s->SetPixelAt(0, 0, 0xF800);
  s->SetPixelAt(2, 1, 0x001F);
  std::string path = (std::filesystem::temp_directory_path() /
                      ("zv_surface_" + std::to_string(getpid()) + ".png")).string();
  ASSERT_TRUE(WriteSurfacePng(*s, path));
  PngImage image = ReadPng(path);
  std::remove(path.c_str());
  ASSERT_EQ(image.width, 3);
  ASSERT_EQ(image.height, 2);
  EXPECT_EQ(image.rgb[0], 255);
  EXPECT_EQ(image.rgb[1], 0);
  EXPECT_EQ(image.rgb[3 * 5 + 2], 255);
  EXPECT_EQ(image.rgb[3 * 5 + 0], 0);
}

TEST(WriteSurfacePng, FailsCleanlyOnAnUnwritablePath) {
  auto s = MakeSurface(1, 1, PixelFormat::Rgb565());
  EXPECT_FALSE(WriteSurfacePng(*s, "/nonexistent-folder/x.png"));
}

}  // namespace
}  // namespace zv::platform
