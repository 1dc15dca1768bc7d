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

inline void PutLe(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// A little-endian TIFF of 8-bit samples, uncompressed, `rows` rows a strip,
// its directory first (where a file cut short keeps it). Four samples a
// pixel carry alpha of the kind `alpha` (1 applied to the colours, 2 not).
inline std::vector<uint8_t> MakeTiff(uint32_t width, uint32_t height, uint32_t rows, int samples, uint16_t alpha,
                                     const std::vector<uint8_t>& pixels) {
  const uint32_t strips = (height + rows - 1) / rows, strip_bytes = width * rows * static_cast<uint32_t>(samples);
  std::vector<std::array<uint32_t, 4>> entries = {  // tag, type (3 short, 4 long), count, value
      {256, 4, 1, width}, {257, 4, 1, height}, {258, 3, uint32_t(samples), 8}, {259, 3, 1, 1}, {262, 3, 1, 2},
      {273, 4, strips, 0}, {277, 3, 1, uint32_t(samples)}, {278, 4, 1, rows}, {279, 4, strips, 0}, {284, 3, 1, 1}};
  if (samples == 4) entries.push_back({338, 3, 1, alpha});
  std::vector<uint8_t> b(8 + 2 + 12 * entries.size() + 4, 0);
  b[0] = b[1] = 'I', b[2] = 42, b[4] = 8;
  auto array_at = [&](uint32_t count, uint32_t size, auto value) {
    const size_t at = b.size();
    b.resize(at + count * size);
    for (uint32_t i = 0; i < count; ++i) PutLe(b, at + size * i, value(i), static_cast<int>(size));
    return static_cast<uint32_t>(at);
  };
  const uint32_t data_at = static_cast<uint32_t>(b.size()) + 2 * static_cast<uint32_t>(samples) + 8 * strips;
  for (auto& e : entries) {
    if (e[0] == 258) e[3] = array_at(e[2], 2, [](uint32_t) { return 8u; });
    auto offset = [&](uint32_t i) { return data_at + i * strip_bytes; };
    auto count = [&](uint32_t i) { return std::min(strip_bytes, width * height * static_cast<uint32_t>(samples) - i * strip_bytes); };
    if (e[0] == 273) e[3] = strips == 1 ? offset(0) : array_at(strips, 4, offset);
    if (e[0] == 279) e[3] = strips == 1 ? count(0) : array_at(strips, 4, count);
  }
  b.resize(data_at, 0);
  PutLe(b, 8, static_cast<uint32_t>(entries.size()), 2);
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t at = 10 + 12 * i;
    PutLe(b, at, entries[i][0], 2), PutLe(b, at + 2, entries[i][1], 2), PutLe(b, at + 4, entries[i][2], 4);
    PutLe(b, at + 8, entries[i][3], entries[i][1] == 3 && entries[i][2] == 1 ? 2 : 4);
  }
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

}  // namespace zv::codecs::test
