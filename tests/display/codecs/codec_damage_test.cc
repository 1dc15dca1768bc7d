// Damaged files are refused: short data, headers that claim more than the
// file holds, sizes out of range. None of them may crash or allocate a
// picture of the claimed size.
#include <gtest/gtest.h>

#include <cstring>
#include <string_view>

#include "display/codecs/bmp_codec.h"
#include "display/codecs/dds_codec.h"
#include "display/codecs/image_codecs.h"
#include "display/codecs/jpeg_codec.h"
#include "display/codecs/pcx_codec.h"
#include "display/codecs/png_codec.h"
#include "display/codecs/psd_codec.h"
#include "display/codecs/tga_codec.h"
#include "tests/display/codecs/codec_test_support.h"
#include "tests/support/peak_memory.h"

namespace zv::codecs {
namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v), b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF), Put16(b, at + 2, v >> 16);
}
void Put32Be(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

const char* const kFixtures[] = {"rgb24.bmp", "pal8.bmp",  "rle8.bmp",     "core8.bmp", "rgb24.tga",
                                 "rle24.tga", "rlepal8.tga", "rgb16.tga",  "rgb24.pcx", "pal8.pcx",
                                 "ega16.pcx", "raw.psd",   "rle.psd",      "lzw.tif",   "raw.tif",
                                 "rgb.png",   "interlaced.png", "colour.jpg", "progressive.jpg", "dxt1.dds",
                                 "dxt5.dds",  "rgb.dds"};

TEST(DamagedFiles, EveryPrefixDecodesSafelyAndShortOnesAreRefused) {
  for (const char* name : kFixtures) {
    const std::vector<uint8_t> whole = test::FixtureBytes(name);
    ASSERT_FALSE(whole.empty()) << name;
    const ImageFileType type = TypeOfName(name);
    for (size_t length = 0; length < whole.size(); length += 1 + length / 16) {
      std::vector<uint8_t> prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
      std::optional<DecodedPicture> p = DecodeImage(type, std::move(prefix));
      // Every format refuses a file cut before the last third, where its
      // pixel data end (an 8-bit PCX keeps its palette in the last 769
      // bytes, and loads black without it).
      const size_t palette = std::string_view(name) == "pal8.pcx" ? 769 : 0;
      if (length + palette < whole.size() * 2 / 3) {
        EXPECT_FALSE(p) << name << " cut to " << length;
      }
      if (p) {
        EXPECT_GT(p->Width(), 0) << name;
      }
    }
  }
}

TEST(DamagedFiles, FlippedBytesNeverCrash) {
  for (const char* name : kFixtures) {
    const std::vector<uint8_t> whole = test::FixtureBytes(name);
    const ImageFileType type = TypeOfName(name);
    uint32_t seed = 12345;
    for (int round = 0; round < 60; ++round) {
      std::vector<uint8_t> damaged = whole;
      for (int i = 0; i < 4; ++i) {
        seed = seed * 1103515245u + 12345u;
        damaged[(seed >> 8) % damaged.size()] ^= static_cast<uint8_t>(1u << (seed >> 28 & 7));
      }
      std::optional<DecodedPicture> p = DecodeImage(type, std::move(damaged));
      if (p) {
        const platform::SurfacePtr s = DrawPicture(*p, test::Factory(platform::PixelFormat::Xrgb8888()));
        EXPECT_TRUE(s) << name;
      }
    }
  }
}

TEST(DamagedFiles, HugeBmpSizesAreRefusedBeforeAllocation) {
  std::vector<uint8_t> file = test::FixtureBytes("rgb24.bmp");
  Put32(file, 18, 30000);
  Put32(file, 22, 30000);
  EXPECT_FALSE(DecodeBmp(file));
  file = test::FixtureBytes("rgb24.bmp");
  Put32(file, 22, 0x80000000u);  // the most negative height
  EXPECT_FALSE(DecodeBmp(file));
  file = test::FixtureBytes("rgb24.bmp");
  Put32(file, 18, 0xFFFFFFF0u);  // negative width
  EXPECT_FALSE(DecodeBmp(file));
  file = test::FixtureBytes("rle8.bmp");
  Put32(file, 18, 16000);
  Put32(file, 22, 16000);
  EXPECT_FALSE(DecodeBmp(file));
}

TEST(DamagedFiles, BmpPaletteOrPixelsPastTheEndAreRefused) {
  std::vector<uint8_t> file = test::FixtureBytes("pal8.bmp");
  file.resize(14 + 40 + 100);  // the colour table runs past the end
  EXPECT_FALSE(DecodeBmp(file));
  file = test::FixtureBytes("rgb24.bmp");
  Put32(file, 10, 0x7FFFFFF0u);  // pixel data far beyond the file
  EXPECT_FALSE(DecodeBmp(file));
}

TEST(DamagedFiles, TruncatedRunLengthDataIsRefused) {
  for (const char* name : {"rle24.tga", "rlepal8.tga", "pal8.pcx", "rle.psd"}) {
    std::vector<uint8_t> file = test::FixtureBytes(name);
    file.resize(file.size() / 3);
    EXPECT_FALSE(DecodeImage(TypeOfName(name), file)) << name;
  }
  // A run-length bitmap cut inside its codes is refused (every prefix,
  // above); one that skips pixels with a move, or ends early with the end
  // code, leaves the rest of the picture as it was: it is whole.
  std::vector<uint8_t> file = test::FixtureBytes("rle8.bmp");
  file.resize(file[10] | file[11] << 8);  // cut where the codes start; 10 bytes of codes follow
  for (const uint8_t code : {9, 5, 0, 2, 5, 1, 3, 7, 0, 1}) file.push_back(code);  // run, move, run, end
  Put32(file, 34, 10);
  EXPECT_TRUE(DecodeBmp(file));
}

TEST(DamagedFiles, HugeSizesInOtherHeadersAreRefused) {
  std::vector<uint8_t> tga = test::FixtureBytes("rgb24.tga");
  Put16(tga, 12, 65535), Put16(tga, 14, 65535);
  EXPECT_FALSE(DecodeTga(tga));
  std::vector<uint8_t> pcx = test::FixtureBytes("rgb24.pcx");
  Put16(pcx, 8, 60000), Put16(pcx, 10, 60000);
  EXPECT_FALSE(DecodePcx(pcx));
  Put16(pcx, 4, 10), Put16(pcx, 8, 5);  // xmax below xmin
  EXPECT_FALSE(DecodePcx(pcx));
  std::vector<uint8_t> psd = test::FixtureBytes("rle.psd");
  Put32Be(psd, 14, 0x7FFFFFFF), Put32Be(psd, 18, 0x7FFFFFFF);
  EXPECT_FALSE(DecodePsd(psd));
  std::vector<uint8_t> dds = test::FixtureBytes("dxt1.dds");
  Put32(dds, 12, 16384), Put32(dds, 16, 16384);
  EXPECT_FALSE(ReadDds(dds));
  Put32(dds, 12, 0), Put32(dds, 16, 0);
  EXPECT_FALSE(ReadDds(dds));
}

TEST(DamagedFiles, HugeSizesInCompressedHeadersAreRefused) {
  // PNG: IHDR says 100000 x 100000 (its CRC no longer matches either).
  std::vector<uint8_t> png = test::FixtureBytes("rgb.png");
  Put32Be(png, 16, 100000), Put32Be(png, 20, 100000);
  EXPECT_FALSE(DecodePng(png));
  // JPEG: the frame header of a small file claims 60000 x 60000.
  std::vector<uint8_t> jpg = test::FixtureBytes("colour.jpg");
  for (size_t i = 0; i + 9 < jpg.size(); ++i)
    if (jpg[i] == 0xFF && (jpg[i + 1] == 0xC0 || jpg[i + 1] == 0xC2)) {
      jpg[i + 5] = 0xEA, jpg[i + 6] = 0x60, jpg[i + 7] = 0xEA, jpg[i + 8] = 0x60;
      break;
    }
  EXPECT_FALSE(DecodeJpeg(jpg));
}

// The PNG checksum of a chunk's type and data, so that a header changed
// here is still whole.
uint32_t PngCrc(const uint8_t* bytes, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void SetPngSize(std::vector<uint8_t>& b, uint32_t width, uint32_t height) {
  Put32Be(b, 16, width), Put32Be(b, 20, height);
  Put32Be(b, 29, PngCrc(&b[12], 17));
}

void SetJpegSize(std::vector<uint8_t>& b, uint16_t width, uint16_t height) {
  for (size_t i = 0; i + 9 < b.size(); ++i)
    if (b[i] == 0xFF && (b[i + 1] == 0xC0 || b[i + 1] == 0xC2)) {
      b[i + 5] = static_cast<uint8_t>(height >> 8), b[i + 6] = static_cast<uint8_t>(height);
      b[i + 7] = static_cast<uint8_t>(width >> 8), b[i + 8] = static_cast<uint8_t>(width);
      return;
    }
}


TEST(DamagedFiles, APictureLargerThanTheLimitsIsNotedAsSuch) {
  // Each header widened to 20000 pixels, whole otherwise.
  const struct {
    const char* name;
    void (*widen)(std::vector<uint8_t>&);
  } cases[] = {
      {"rgb24.bmp", [](std::vector<uint8_t>& b) { Put32(b, 18, 20000); }},
      {"rgb24.tga", [](std::vector<uint8_t>& b) { Put16(b, 12, 20000); }},
      {"rgb24.pcx", [](std::vector<uint8_t>& b) { Put16(b, 4, 0), Put16(b, 8, 19999); }},
      {"rle.psd", [](std::vector<uint8_t>& b) { Put32Be(b, 18, 20000); }},
      {"dxt1.dds", [](std::vector<uint8_t>& b) { Put32(b, 16, 20000); }},
      {"rgb.png", [](std::vector<uint8_t>& b) { SetPngSize(b, 20000, 23); }},
      {"rgb.png", [](std::vector<uint8_t>& b) { SetPngSize(b, 1u << 24, 61); }},
      {"colour.jpg", [](std::vector<uint8_t>& b) { SetJpegSize(b, 20000, 23); }},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> file = test::FixtureBytes(c.name);
    c.widen(file);
    DecodeNotes notes;
    // Refused before anything is made for its size (a file of a few hundred
    // bytes costs what its bytes could decode to, not what it claims).
    const zv::test::PeakMemoryWatch watch;
    if (!watch.Available()) GTEST_SKIP() << "the kernel cannot reset this process's peak memory";
    EXPECT_FALSE(DecodeImage(TypeOfName(c.name), file, &notes)) << c.name;
    EXPECT_LT(watch.RiseKb(), 4096u) << c.name;
    EXPECT_TRUE(notes.too_large) << c.name;
    // Cut short, the same file is broken, not too large.
    file = test::FixtureBytes(c.name);
    file.resize(20);
    notes = {};
    EXPECT_FALSE(DecodeImage(TypeOfName(c.name), file, &notes)) << c.name;
    EXPECT_FALSE(notes.too_large) << c.name;
  }
}

// A TIFF cut inside its strips, or claiming 16384 x 4096 pixels with no
// data, is refused; the claim costs no more than the file can give.
TEST(DamagedFiles, ATiffCutShortIsRefused) {
  std::vector<uint8_t> file = test::MakeTiff(8, 8, 2, 3, 0, std::vector<uint8_t>(8 * 8 * 3, 200));
  ASSERT_TRUE(DecodeImage(ImageFileType::kTiff, file));
  file.resize(file.size() - 24 * 3);  // the last strip and half of the one before
  EXPECT_FALSE(DecodeImage(ImageFileType::kTiff, file));
  const zv::test::PeakMemoryWatch watch;
  if (!watch.Available()) GTEST_SKIP() << "the kernel cannot reset this process's peak memory";
  EXPECT_FALSE(DecodeImage(ImageFileType::kTiff, test::MakeTiff(16384, 4096, 4096, 3, 0, {})));
#ifdef ZV_UNDER_SANITIZERS
  // The sanitizers mark the taken raster in a shadow an eighth of its size.
  EXPECT_LT(watch.RiseKb(), 4096u + 16384u * 4096 * 4 / 8 / 1024);
#else
  EXPECT_LT(watch.RiseKb(), 4096u);
#endif
}

TEST(DamagedFiles, UnsupportedVariantsLoadNothing) {
  std::vector<uint8_t> psd = test::FixtureBytes("raw.psd");
  psd[23] = 16;  // depth 16
  EXPECT_FALSE(DecodePsd(psd));
  psd = test::FixtureBytes("raw.psd");
  psd[25] = 1;  // greyscale mode
  EXPECT_FALSE(DecodePsd(psd));
  std::vector<uint8_t> pcx = test::FixtureBytes("rgb24.pcx");
  pcx[0] = 11;
  EXPECT_FALSE(DecodePcx(pcx));
  std::vector<uint8_t> bmp = test::FixtureBytes("rgb24.bmp");
  bmp[0] = 'X';
  EXPECT_FALSE(DecodeBmp(bmp));
}

}  // namespace
}  // namespace zv::codecs
