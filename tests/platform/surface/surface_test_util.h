#pragma once

#include <ostream>
#include <string>

#include "platform/surface/surface.h"

namespace zv::platform::test {

inline SurfacePtr MakeSurface(int32_t w, int32_t h, const PixelFormat& format) {
  SurfaceDesc desc;
  desc.width = w;
  desc.height = h;
  desc.format = format;
  return Surface::Create(desc);
}

// A distinct, non-zero value for every pixel of a small surface.
inline uint32_t Pattern(int32_t x, int32_t y, const PixelFormat& format) {
  return (static_cast<uint32_t>(y * 16 + x + 1) * 0x010203u) & format.ValueMask();
}

inline void FillPattern(Surface& s) {
  for (int32_t y = 0; y < s.Height(); ++y)
    for (int32_t x = 0; x < s.Width(); ++x) s.SetPixelAt(x, y, Pattern(x, y, s.Format()));
}

inline std::string FormatName(const PixelFormat& f) { return std::to_string(f.bits) + "bpp"; }

}  // namespace zv::platform::test

namespace zv::platform {
inline void PrintTo(const PixelFormat& f, std::ostream* os) { *os << f.bits << " bits"; }
}  // namespace zv::platform
