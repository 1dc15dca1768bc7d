#include "platform/surface/pixel_format.h"

#include <bit>

namespace zv::platform {
namespace {

int ShiftOf(uint32_t mask) { return mask == 0 ? 0 : std::countr_zero(mask); }
int BitsOf(uint32_t mask) { return std::popcount(mask); }

uint32_t PackField(uint8_t value, uint32_t mask) {
  if (mask == 0) return 0;
  int bits = BitsOf(mask);
  return (static_cast<uint32_t>(value) >> (8 - bits)) << ShiftOf(mask);
}

uint8_t UnpackField(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 0;
  int bits = BitsOf(mask);
  uint32_t field = (pixel & mask) >> ShiftOf(mask);
  // Repeat the field's bits downwards until 8 bits are filled.
  uint32_t out = 0;
  for (int filled = 0; filled < 8; filled += bits) {
    int shift = 8 - filled - bits;
    out |= shift >= 0 ? field << shift : field >> -shift;
  }
  return static_cast<uint8_t>(out);
}

}  // namespace

PixelFormat PixelFormat::Indexed8() {
  PixelFormat f;
  f.bits = 8;
  f.indexed = true;
  return f;
}
PixelFormat PixelFormat::Rgb555() { return PixelFormat{16, 0x7C00, 0x03E0, 0x001F, 0, false, false}; }
PixelFormat PixelFormat::Rgb565() { return PixelFormat{16, 0xF800, 0x07E0, 0x001F, 0, false, false}; }
PixelFormat PixelFormat::Rgb888() { return PixelFormat{24, 0xFF0000, 0x00FF00, 0x0000FF, 0, false, false}; }
PixelFormat PixelFormat::Xrgb8888() {
  return PixelFormat{32, 0xFF0000, 0x00FF00, 0x0000FF, 0, false, false};
}
PixelFormat PixelFormat::Depth16() {
  PixelFormat f;
  f.bits = 16;
  f.depth = true;
  return f;
}

PixelFormat PixelFormat::ForDepth(int bits) {
  switch (bits) {
    case 8: return Indexed8();
    case 16: return Rgb565();
    case 24: return Rgb888();
    case 32: return Xrgb8888();
    default: return PixelFormat{};
  }
}

ChannelLayout ChannelLayout::Of(const PixelFormat& format) {
  ChannelLayout l;
  l.red_shift = ShiftOf(format.red_mask);
  l.green_shift = ShiftOf(format.green_mask);
  l.blue_shift = ShiftOf(format.blue_mask);
  l.red_bits = BitsOf(format.red_mask);
  l.green_bits = BitsOf(format.green_mask);
  l.blue_bits = BitsOf(format.blue_mask);
  return l;
}

uint32_t PackRgb(const PixelFormat& format, uint8_t r, uint8_t g, uint8_t b) {
  return PackField(r, format.red_mask) | PackField(g, format.green_mask) |
         PackField(b, format.blue_mask);
}

uint32_t UnpackRgb(const PixelFormat& format, uint32_t pixel) {
  return static_cast<uint32_t>(UnpackField(pixel, format.red_mask)) << 16 |
         static_cast<uint32_t>(UnpackField(pixel, format.green_mask)) << 8 |
         UnpackField(pixel, format.blue_mask);
}

}  // namespace zv::platform
