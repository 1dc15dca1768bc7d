#pragma once

#include <cstdint>
#include <functional>

#include "platform/surface/pixel_format.h"
#include "platform/surface/surface.h"

namespace zv {

class Display;

// Runs a surface call under the display's retry rule: a lost surface is
// restored (the destination, and the source when given) and the call made
// again; a blitter still busy is simply asked again; a restore that fails
// pauses the program (unless it is set to stay active) and gives up; any
// other failure gives up at once. Returns the last result.
platform::Result RetrySurfaceCall(Display& display, platform::Surface& dest,
                                  platform::Surface* src,
                                  const std::function<platform::Result()>& call);

// The blit helpers that the drawing code and the editor use; each applies
// the retry rule and returns 1.
int32_t BltFastWhole(Display& display, platform::Surface& dest, platform::Surface& src);
int32_t BltFastSized(Display& display, platform::Surface& dest, int32_t x, int32_t y,
                     platform::Surface& src, int32_t width, int32_t height, uint32_t flags);
int32_t BltFastRect(Display& display, platform::Surface& dest, int32_t x, int32_t y,
                    platform::Surface& src, int32_t sx, int32_t sy, int32_t width, int32_t height,
                    uint32_t flags);
int32_t BltFastAt(Display& display, platform::Surface& dest, int32_t x, int32_t y,
                  platform::Surface& src, uint32_t flags);
// One colour fill, no retry.
int32_t FillSurfaceRect(platform::Surface& surface, const platform::Rect& rect, uint32_t colour);

// The channel fields of a surface's format, kept as the display's current
// layout for PixelToRgb and the colour commands.
void ComputeChannelMasks(Display& display, const platform::Surface& surface);
// 0x00RRGGBB of a pixel by the current layout: each field scaled by
// 255 / its maximum, truncated.
uint32_t PixelToRgb(const Display& display, uint32_t pixel);
// The colour of one pixel (0 when the surface cannot be locked). The caller
// checks the coordinates.
uint32_t ReadSurfacePixel(Display& display, platform::Surface& surface, int32_t x, int32_t y);

// Box blur of `size` x `size` (1 leaves the surface as it is); 0 for a size
// above 9 or when the work surfaces cannot be had.
int32_t BlurSurface(Display& display, platform::Surface& surface, int32_t size);
// Multiplies every channel by percent / 100 (truncated); 0 outside 0..100.
int32_t FadeSurface(Display& display, platform::Surface& surface, int32_t percent);

}  // namespace zv
