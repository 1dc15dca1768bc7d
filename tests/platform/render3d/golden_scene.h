#pragma once

#include "platform/surface/surface.h"

namespace zv::platform::test3d {

// The reference scene: a textured, mip-mapped ground grid with its
// wireframe lines, four lit and fogged cubes (bilinear, point-sampled and
// mirrored, colour-keyed and clamped, and one blended additively), under a
// directional, a point and a spot light, drawn by default at 320x240 in 32 bits.
SurfacePtr RenderGoldenScene(const PixelFormat& format = PixelFormat::Xrgb8888(), int32_t width = 320,
                             int32_t height = 240);

}  // namespace zv::platform::test3d
