#pragma once

#include <cstdint>
#include <vector>

#include "platform/surface/rect.h"
#include "platform/surface/surface.h"

namespace zv::platform {

// One character rendered without smoothing: a bitmap of set and clear
// pixels, most significant bit first in each byte.
struct MonoGlyph {
  int32_t advance = 0;  // pen movement in pixels
  int32_t left = 0;     // pen to the bitmap's first column
  int32_t top = 0;      // baseline up to the bitmap's first row
  int32_t width = 0, rows = 0;
  int32_t pitch = 0;    // bytes per bitmap row
  std::vector<uint8_t> bits;
};

// Sets the pixels under the glyph's set bits to `ink`, the bitmap's top-left
// at (x, y); whatever lies outside the surface is left out.
void PaintMonoGlyph(Surface& target, int32_t x, int32_t y, const MonoGlyph& glyph, uint32_t ink);

// Fills the part of `rect` that lies on the surface.
void FillClipped(Surface& target, Rect rect, uint32_t value);

}  // namespace zv::platform
