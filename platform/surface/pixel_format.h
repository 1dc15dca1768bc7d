#pragma once

#include <cstdint>

namespace zv::platform {

// How the pixels of a surface are laid out: 8 bits indexing a palette, or
// 16, 24 or 32 bits with one contiguous field per colour channel. A depth
// format holds z values rather than colours.
struct PixelFormat {
  int bits = 0;
  uint32_t red_mask = 0, green_mask = 0, blue_mask = 0, alpha_mask = 0;
  bool indexed = false;
  bool depth = false;

  int BytesPerPixel() const { return bits / 8; }
  // Mask of the bits a pixel value occupies.
  uint32_t ValueMask() const { return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u; }

  static PixelFormat Indexed8();
  static PixelFormat Rgb555();
  static PixelFormat Rgb565();
  static PixelFormat Rgb888();
  static PixelFormat Xrgb8888();
  static PixelFormat Depth16();
  // The colour format a display mode of `bits` uses (8, 16, 24 or 32);
  // an empty format (bits 0) for any other depth.
  static PixelFormat ForDepth(int bits);

  friend bool operator==(const PixelFormat&, const PixelFormat&) = default;
};

// Position and width of each colour field, read off the masks.
struct ChannelLayout {
  int red_shift = 0, green_shift = 0, blue_shift = 0;
  int red_bits = 0, green_bits = 0, blue_bits = 0;

  static ChannelLayout Of(const PixelFormat& format);
};

// A pixel value of `format` for 8-bit channels (nearest lower value of each
// field: the low bits are dropped). Not for indexed formats.
uint32_t PackRgb(const PixelFormat& format, uint8_t r, uint8_t g, uint8_t b);
// 0x00RRGGBB of a pixel value of a non-indexed format, each field widened to
// 8 bits by repeating its top bits (so the field maximum becomes 255).
uint32_t UnpackRgb(const PixelFormat& format, uint32_t pixel);

}  // namespace zv::platform
