#include "platform/render3d/texel_format.h"

#include <bit>

namespace zv::platform {
namespace {

// The field's value widened to 8 bits by repeating its top bits, as
// UnpackRgb widens colour fields.
uint32_t WidenField(uint32_t pixel, uint32_t mask) {
  int bits = std::popcount(mask);
  uint32_t field = (pixel & mask) >> std::countr_zero(mask);
  uint32_t out = 0;
  for (int filled = 0; filled < 8; filled += bits) {
    int shift = 8 - filled - bits;
    out |= shift >= 0 ? field << shift : field >> -shift;
  }
  return out & 0xFF;
}

uint32_t NarrowField(uint32_t value, uint32_t mask) {
  if (mask == 0) return 0;
  int bits = std::popcount(mask);
  return ((value & 0xFF) >> (8 - bits)) << std::countr_zero(mask);
}

}  // namespace

uint32_t UnpackArgb(const PixelFormat& format, uint32_t pixel, const Palette* palette) {
  if (format.indexed) return 0xFF000000u | (palette ? palette->Rgb(static_cast<int>(pixel & 0xFF)) : 0);
  uint32_t alpha = format.alpha_mask ? WidenField(pixel, format.alpha_mask) : 0xFF;
  return alpha << 24 | UnpackRgb(format, pixel);
}

uint32_t PackArgb(const PixelFormat& format, uint32_t argb) {
  return PackRgb(format, static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
                 static_cast<uint8_t>(argb)) |
         NarrowField(argb >> 24, format.alpha_mask);
}

}  // namespace zv::platform
