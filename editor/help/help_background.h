#pragma once

#include "platform/surface/pixel_format.h"
#include "platform/surface/surface.h"

namespace zv {

// The 160 x 120 tile behind every help page, drawn in code in `format`
// (through `palette` for an 8-bit format): deep blue paper with a faint
// weave whose period divides the tile, so that tiles meet without seams.
platform::SurfacePtr MakeHelpBackgroundTile(const platform::PixelFormat& format,
                                            const platform::Palette* palette = nullptr);

}  // namespace zv
