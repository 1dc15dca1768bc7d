#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/render3d/dxt.h"

namespace zv::codecs {

// Compresses one level of 0xAARRGGBB pixels (`pitch` pixels from one row to
// the next) into `out`, which holds DxtLevelBytes(format, width, height)
// bytes. Blocks that reach past the picture's edge repeat its last row and
// column. Endpoints come from the block's extent along its main colour
// direction; each texel takes the nearest of the block's colours. False
// for a size out of range or an `out` of the wrong size.
bool EncodeDxt(platform::DxtFormat format, int32_t width, int32_t height, const uint32_t* pixels, size_t pitch,
               std::span<uint8_t> out);

}  // namespace zv::codecs
