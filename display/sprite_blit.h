#pragma once

#include <cstdint>

#include "display/image_record.h"
#include "display/sprite_record.h"
#include "platform/surface/rect.h"
#include "platform/surface/surface.h"

namespace zv {

class Display;

// Where a sprite of width x height at x, y lands on a target of
// `target` size when scaled by scale_x, scale_y: `dest` becomes the
// destination rectangle clipped to the target, and `source` (given as the
// picture's rectangle, whose right and bottom are then set from width and
// height) is cut by what was clipped, measured in picture pixels. A
// mirrored (left to right) or flipped (top to bottom) sprite loses the
// opposite edge of its picture. A scale that is not positive leaves `dest`
// empty. x and y are wide enough for a position less any hot spot.
void ClipBlitRects(platform::Size target, platform::Rect& source, platform::Rect& dest, int64_t x, int64_t y,
                   int32_t width, int32_t height, float scale_x, float scale_y, bool flipped, bool mirrored);

// Draws the sprite's picture onto `target` (a bitmap or the screen of
// `target_size`) with its top-left corner at x, y less the hot spot,
// scaled, mirrored, flipped and keyed as the record says: one stretching
// blit under the display's retry rule. Render records of 3D objects, and
// sprites without a picture or wholly off the target, draw nothing.
void BlitSprite(Display& display, platform::Surface& target, platform::Size target_size, const SpriteRecord& sprite,
                const ImageRecord* image, int32_t x, int32_t y);

}  // namespace zv
