#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "display/codecs/decoded_picture.h"
#include "display/codecs/file_bytes.h"
#include "platform/surface/surface.h"
#include "tests/support/test_paths.h"

namespace zv::codecs::test {

inline std::string Fixture(const std::string& name) { return zv::test::SourcePath("tests/display/codecs/fixtures/") + name; }

inline std::vector<uint8_t> FixtureBytes(const std::string& name) {
  return ReadFileBytes(Fixture(name), size_t{1} << 24).value_or(std::vector<uint8_t>{});
}

inline platform::SurfacePtr MakeSurface(int32_t w, int32_t h, platform::PixelFormat format) {
  platform::SurfaceDesc desc;
  desc.width = w;
  desc.height = h;
  desc.format = format;
  return platform::Surface::Create(desc);
}

inline SurfaceFactory Factory(platform::PixelFormat format) {
  return [format](int32_t w, int32_t h) { return MakeSurface(w, h, format); };
}

// A picture with ramps in every channel, flat patches and black.
inline platform::SurfacePtr TestPicture(int32_t w, int32_t h, platform::PixelFormat format) {
  platform::SurfacePtr s = MakeSurface(w, h, format);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t r = static_cast<uint8_t>(x * 13), g = static_cast<uint8_t>(y * 29),
                    b = static_cast<uint8_t>((x ^ y) * 7);
      s->SetPixelAt(x, y, x < 3 ? 0u : platform::PackRgb(format, r, g, b));
    }
  return s;
}

// A TIFF of 8-bit samples, uncompressed, `rows` rows a strip, directory first; a fourth
// sample a pixel is alpha of the kind `alpha` (1 applied to the colours, 2 not).
inline std::vector<uint8_t> MakeTiff(uint32_t width, uint32_t height, uint32_t rows, uint32_t samples, uint16_t alpha,
                                     const std::vector<uint8_t>& pixels) {
  const uint32_t strips = (height + rows - 1) / rows, strip = width * rows * samples, all = width * height * samples;
  const uint32_t entries = samples == 4 ? 11 : 10, arrays = 8 + 2 + 12 * entries + 4;
  const uint32_t data = arrays + 2 * samples + 8 * strips;
  std::vector<uint8_t> b(data, 0);
  auto put = [&b](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
  };
  put(0, 0x2A4949, 4), put(4, 8, 4), put(8, entries, 2);
  const uint32_t offsets = arrays + 2 * samples, counts = offsets + 4 * strips;
  for (uint32_t i = 0; i < samples; ++i) put(arrays + 2 * i, 8, 2);
  for (uint32_t i = 0; i < strips; ++i)
    put(offsets + 4 * i, data + i * strip, 4), put(counts + 4 * i, std::min(strip, all - i * strip), 4);
  const std::array<std::array<uint32_t, 4>, 11> tags = {{  // tag, type (3 short, 4 long), count, value
      {256, 4, 1, width}, {257, 4, 1, height}, {258, 3, samples, arrays}, {259, 3, 1, 1}, {262, 3, 1, 2},
      {273, 4, strips, strips == 1 ? data : offsets}, {277, 3, 1, samples}, {278, 4, 1, rows},
      {279, 4, strips, strips == 1 ? all : counts}, {284, 3, 1, 1}, {338, 3, 1, alpha}}};
  for (uint32_t i = 0; i < entries; ++i) {
    const auto& [tag, type, count, value] = tags[i];
    put(10 + 12 * i, tag, 2), put(12 + 12 * i, type, 2), put(14 + 12 * i, count, 4);
    put(18 + 12 * i, value, type == 3 && count == 1 ? 2 : 4);
  }
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

}  // namespace zv::codecs::test
