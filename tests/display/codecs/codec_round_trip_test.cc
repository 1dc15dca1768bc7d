// What the writers store reads back with the same pixels, and the files
// have the layout other programs expect.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "display/codecs/bmp_codec.h"
#include "display/codecs/file_bytes.h"
#include "display/codecs/image_codecs.h"
#include "display/codecs/tga_codec.h"
#include "platform/paths/file_save.h"
#include "tests/display/codecs/codec_test_support.h"

namespace zv::codecs {
namespace {

namespace fs = std::filesystem;
using platform::PixelFormat;

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_codecs_" + std::to_string(::getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  fs::path folder_;
};

void ExpectSamePixels(const platform::Surface& a, const platform::Surface& b, int tolerance = 0) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x) {
      const uint32_t p = platform::UnpackRgb(a.Format(), a.PixelAt(x, y));
      const uint32_t q = platform::UnpackRgb(b.Format(), b.PixelAt(x, y));
      for (int shift = 0; shift < 24; shift += 8)
        ASSERT_LE(std::abs(static_cast<int>(p >> shift & 255) - static_cast<int>(q >> shift & 255)), tolerance)
            << "at " << x << "," << y;
    }
}

TEST_F(RoundTrip, LosslessFormatsGiveBackEveryPixel) {
  for (PixelFormat format : {PixelFormat::Xrgb8888(), PixelFormat::Rgb565(), PixelFormat::Rgb555(),
                             PixelFormat::Rgb888()})
    for (const char* name : {"a.bmp", "a.tga", "a.png"}) {
      platform::SurfacePtr picture = test::TestPicture(29, 17, format);
      ASSERT_EQ(SaveImageFile(*picture, Path(name)), SaveOutcome::kWritten) << name;
      platform::SurfacePtr back = LoadImageFile(Path(name), test::Factory(format));
      ASSERT_TRUE(back) << name;
      ExpectSamePixels(*picture, *back);
    }
}

TEST_F(RoundTrip, JpegKeepsThePictureAtFullQuality) {
  platform::SurfacePtr picture = test::TestPicture(33, 21, PixelFormat::Xrgb8888());
  // Smooth content: quality 100 keeps it within a few levels.
  for (int32_t y = 0; y < 21; ++y)
    for (int32_t x = 0; x < 33; ++x) picture->SetPixelAt(x, y, platform::PackRgb(picture->Format(), x * 4, y * 6, 90));
  ASSERT_EQ(SaveImageFile(*picture, Path("a.jpg")), SaveOutcome::kWritten);
  platform::SurfacePtr back = LoadImageFile(Path("a.jpg"), test::Factory(PixelFormat::Xrgb8888()));
  ASSERT_TRUE(back);
  ExpectSamePixels(*picture, *back, 6);
}

TEST_F(RoundTrip, SixteenBitFieldsAreWidenedByEightAndFour) {
  platform::SurfacePtr s = test::MakeSurface(2, 1, PixelFormat::Rgb565());
  s->SetPixelAt(0, 0, 0xFFFF);
  s->SetPixelAt(1, 0, 0x0821);  // 1, 1, 1
  for (auto encode : {EncodeBmp, EncodeTga}) {
    const std::vector<uint8_t> file = encode(*s);
    const size_t at = file.size() == 18 + 6 ? 18 : 54;
    EXPECT_EQ(file[at], 248);      // blue
    EXPECT_EQ(file[at + 1], 252);  // green
    EXPECT_EQ(file[at + 2], 248);  // red
    EXPECT_EQ(file[at + 3], 8);
    EXPECT_EQ(file[at + 4], 4);
  }
}

TEST_F(RoundTrip, TargaRowsAreNotPaddedAndBmpRowsAre) {
  platform::SurfacePtr s = test::TestPicture(3, 5, PixelFormat::Xrgb8888());
  const std::vector<uint8_t> tga = EncodeTga(*s);
  EXPECT_EQ(tga.size(), 18u + 9u * 5u);
  EXPECT_EQ(tga[2], 2);
  EXPECT_EQ(tga[16], 24);
  EXPECT_EQ(tga[17], 0);
  const std::vector<uint8_t> bmp = EncodeBmp(*s);
  EXPECT_EQ(bmp.size(), 54u + 12u * 5u);
  EXPECT_EQ(bmp[10], 54);
  EXPECT_EQ(bmp[28], 24);
}

TEST_F(RoundTrip, FormatsWithoutWriterWriteNothing) {
  platform::SurfacePtr s = test::TestPicture(4, 4, PixelFormat::Xrgb8888());
  for (const char* name : {"a.pcx", "a.psd", "a.tif", "a.xyz"}) {
    EXPECT_EQ(SaveImageFile(*s, Path(name)), SaveOutcome::kNoWriter);
    EXPECT_FALSE(fs::exists(Path(name)));
  }
}

TEST_F(RoundTrip, AFailedSaveKeepsTheEarlierFile) {
  const std::string path = Path("keep.tga");
  ASSERT_TRUE(platform::SaveFile(path, std::vector<uint8_t>{1, 2, 3}));
  // Too wide for a Targa header: nothing can be written.
  platform::SurfacePtr wide = test::MakeSurface(70000, 1, PixelFormat::Xrgb8888());
  EXPECT_EQ(SaveImageFile(*wide, path), SaveOutcome::kFailed);
  EXPECT_EQ(ReadFileBytes(path, 100), (std::vector<uint8_t>{1, 2, 3}));
  // A folder that does not exist cannot take the file.
  EXPECT_EQ(SaveImageFile(*wide, Path("no/such/folder/a.bmp")), SaveOutcome::kFailed);
  EXPECT_EQ(fs::directory_iterator(folder_) == fs::directory_iterator(), false);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);  // no temporaries left
}

TEST_F(RoundTrip, PngOfSixteenBitSurfaceIsEightBitRgb) {
  platform::SurfacePtr s = test::TestPicture(5, 5, PixelFormat::Rgb565());
  ASSERT_EQ(SaveImageFile(*s, Path("a.png")), SaveOutcome::kWritten);
  const std::vector<uint8_t> file = ReadFileBytes(Path("a.png"), 1 << 20).value();
  EXPECT_EQ(file[24], 8);  // bit depth
  EXPECT_EQ(file[25], 2);  // colour type RGB
}

}  // namespace
}  // namespace zv::codecs
