#pragma once

#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/surface/color_key.h"
#include "platform/surface/rect.h"
#include "platform/surface/result.h"

namespace zv::platform {

class Surface;

// Pixel values of 1 to 4 bytes, little-endian as display memory holds them.
inline uint32_t ReadPixel(const uint8_t* p, int bytes) {
  switch (bytes) {
    case 1: return p[0];
    case 2: { uint16_t v; std::memcpy(&v, p, 2); return v; }
    case 3: return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                   static_cast<uint32_t>(p[2]) << 16;
    default: { uint32_t v; std::memcpy(&v, p, 4); return v; }
  }
}

inline void WritePixel(uint8_t* p, int bytes, uint32_t v) {
  switch (bytes) {
    case 1: p[0] = static_cast<uint8_t>(v); break;
    case 2: { uint16_t w = static_cast<uint16_t>(v); std::memcpy(p, &w, 2); break; }
    case 3:
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
      p[2] = static_cast<uint8_t>(v >> 16);
      break;
    default: std::memcpy(p, &v, 4); break;
  }
}

struct BlitOptions {
  std::optional<ColorKey> key;
  bool mirror_left_right = false;
  bool mirror_up_down = false;
};

// Fills `rect` (inside the surface) with the low bits of `value`.
void FillPixels(Surface& dest, const Rect& rect, uint32_t value);

// Copies source rectangle `s` onto destination rectangle `d`, stretched by
// nearest pixel when the sizes differ, mirrored and colour-keyed by
// `options`; only the part of `d` inside `visible` is written. Both
// rectangles are valid for their surfaces (`d` may reach outside the
// destination where `visible` cuts it). Source and destination may be the
// same surface, overlapping. Pixels convert when the formats differ.
Result BlitPixels(Surface& dest, const Rect& d, const Rect& visible, const Surface& src,
                  const Rect& s, const BlitOptions& options);

}  // namespace zv::platform
