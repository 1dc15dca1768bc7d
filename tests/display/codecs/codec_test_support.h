#pragma once

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

}  // namespace zv::codecs::test
