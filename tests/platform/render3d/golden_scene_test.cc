// The reference scene against its golden image, and the determinism that
// makes a golden image possible.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/surface/convert.h"
#include "platform/surface/png_writer.h"
#include "tests/platform/render3d/golden_scene.h"
#include "tests/support/test_paths.h"

namespace zv::platform {
namespace {

const std::string kGolden = zv::test::SourcePath("tests/platform/render3d/golden/scene.png");

std::vector<uint32_t> Pixels(const Surface& s) {
  std::vector<uint32_t> out(static_cast<size_t>(s.Width()) * s.Height());
  ConvertToXrgb(s, out.data(), s.Width());
  return out;
}

bool ReadPng(const std::string& path, int32_t* w, int32_t* h, std::vector<uint32_t>* pixels) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_BGRA;
  *w = static_cast<int32_t>(image.width);
  *h = static_cast<int32_t>(image.height);
  pixels->resize(static_cast<size_t>(image.width) * image.height);
  bool ok = png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr) != 0;
  for (uint32_t& p : *pixels) p &= 0xFFFFFF;
  return ok;
}

TEST(GoldenScene, RenderingIsDeterministic) {
  SurfacePtr a = test3d::RenderGoldenScene();
  SurfacePtr b = test3d::RenderGoldenScene();
  EXPECT_EQ(Pixels(*a), Pixels(*b));
  SurfacePtr c = test3d::RenderGoldenScene(PixelFormat::Rgb565());
  SurfacePtr d = test3d::RenderGoldenScene(PixelFormat::Rgb565());
  EXPECT_EQ(Pixels(*c), Pixels(*d));
}

// A 24-bit back buffer holds the same 8 bits per channel as a 32-bit one.
TEST(GoldenScene, TwentyFourBitTargetsGetTheThirtyTwoBitPicture) {
  SurfacePtr packed = test3d::RenderGoldenScene(PixelFormat::Rgb888());
  ASSERT_NE(packed, nullptr);
  EXPECT_EQ(packed->Format().bits, 24);
  EXPECT_EQ(Pixels(*packed), Pixels(*test3d::RenderGoldenScene()));
}

// Run with ZV_UPDATE_GOLDEN=1 to write the image anew after an intended
// change of the rasterizer (and look at it before committing it).
TEST(GoldenScene, MatchesTheGoldenImage) {
  SurfacePtr scene = test3d::RenderGoldenScene();
  if (std::getenv("ZV_UPDATE_GOLDEN")) {
    ASSERT_TRUE(WriteSurfacePng(*scene, kGolden));
  }
  int32_t w = 0, h = 0;
  std::vector<uint32_t> golden;
  ASSERT_TRUE(ReadPng(kGolden, &w, &h, &golden)) << kGolden;
  ASSERT_EQ(w, scene->Width());
  ASSERT_EQ(h, scene->Height());
  std::vector<uint32_t> got = Pixels(*scene);
  int differing = 0;
  for (size_t i = 0; i < got.size(); ++i)
    if (got[i] != golden[i]) ++differing;
  EXPECT_EQ(differing, 0) << "of " << got.size() << " pixels";
}

}  // namespace
}  // namespace zv::platform
