#pragma once

#include <cstdint>

#include "platform/surface/palette.h"
#include "platform/surface/pixel_format.h"

namespace zv::platform {

// Alpha-aware companions of PackRgb and UnpackRgb for the texture formats:
// colours as 0xAARRGGBB. A format without an alpha field reads as opaque
// and drops the alpha it is given; an 8-bit format reads through its
// palette (opaque; black without one) and cannot be packed to.
uint32_t UnpackArgb(const PixelFormat& format, uint32_t pixel, const Palette* palette = nullptr);
uint32_t PackArgb(const PixelFormat& format, uint32_t argb);

}  // namespace zv::platform
