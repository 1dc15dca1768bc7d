#pragma once

#include <cstdint>

#include "platform/surface/surface.h"

namespace zv::codecs {

// Where each colour field of a pixel format lies: its shift and its width
// in bits.
struct MaskShifts {
  uint16_t red_shift = 0, red_bits = 0;
  uint16_t green_shift = 0, green_bits = 0;
  uint16_t blue_shift = 0, blue_bits = 0;
};

// Index of the lowest / highest set bit of `mask`; 1 for a zero mask.
int LowestSetBit(uint32_t mask);
int HighestSetBit(uint32_t mask);
MaskShifts ComputeMaskShifts(const platform::PixelFormat& format);

// One row of the surface as blue, green, red bytes, the way the BMP and TGA
// writers store it: 16-bit fields are multiplied by 8 (5-bit fields) or 4
// (6-bit ones), 24- and 32-bit fields are taken as they are, and an 8-bit
// surface goes through its palette.
void ReadWriterRowBgr(const platform::Surface& surface, int32_t y, uint8_t* out);

// One row as red, green, blue bytes, each field widened to the full 8 bits
// (the PNG and JPEG writers).
void ReadRowRgb(const platform::Surface& surface, int32_t y, uint8_t* out);

}  // namespace zv::codecs
