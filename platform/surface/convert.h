#pragma once

#include <cstdint>

#include "platform/surface/gamma_ramp.h"
#include "platform/surface/surface.h"

namespace zv::platform {

// Writes the surface's pixels as 0x00RRGGBB words, `out_pitch` words per
// row, through the surface's palette (8 bits; black without one) and, when
// given, the gamma ramp.
void ConvertToXrgb(const Surface& surface, uint32_t* out, int32_t out_pitch,
                   const GammaRamp* gamma = nullptr);

// 0x00RRGGBB of one pixel value of the surface's format.
uint32_t PixelValueToRgb(const Surface& surface, uint32_t pixel);

}  // namespace zv::platform
