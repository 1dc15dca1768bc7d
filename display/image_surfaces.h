#pragma once

#include <cstdint>

#include "display/bitmaps.h"
#include "display/image_record.h"
#include "platform/surface/rect.h"
#include "platform/surface/surface.h"

namespace zv {

class Display;

// Gives the image a surface of width x height keyed on `colour_key` (the
// one it has when its size already fits) and makes the whole of it the
// image. False, with nothing usable, when the size is empty or no surface
// can be made.
bool EnsureImageSurface(ImageRecord& image, int32_t width, int32_t height, uint32_t colour_key,
                        const SurfaceMaker& make);

// Copies `rect` of `source` into the image, which takes its size. On
// failure the image is left empty (not in use, no surface, no size) and
// false returned.
bool GrabImage(Display& display, ImageRecord& image, platform::Surface& source, const platform::Rect& rect,
               uint32_t colour_key, const SurfaceMaker& make);

// Pastes the image's picture with its top-left at x, y, clipped to the
// surface; `transparent` leaves out the pixels of its colour key. False when
// the copy failed (a paste wholly off the surface copies nothing and
// succeeds).
bool BltImageRecord(Display& display, platform::Surface& dest, const ImageRecord& image, int32_t x, int32_t y,
                    bool transparent);

}  // namespace zv
