#pragma once

#include <cstdint>

#include "platform/surface/rect.h"
#include "platform/surface/surface.h"

namespace zv {

// The shapes of the draw queue, set in one pixel value and clipped to the
// surface: what lies outside is left out, what lies inside is drawn. The
// work done is proportional to the visible part.

void DrawDot(platform::Surface& surface, int32_t x, int32_t y, uint32_t pixel);

// A filled rectangle, right and bottom exclusive; nothing when the right is
// not beyond the left or the bottom not below the top.
void DrawBox(platform::Surface& surface, const platform::Rect& box, uint32_t pixel);

// Steps of one pixel length along the line from the start, each setting the
// pixel at the position truncated toward zero, up to and including the
// step that reaches the line's length; a line of length 0 sets its start.
void DrawLine(platform::Surface& surface, double x1, double y1, double x2, double y2, uint32_t pixel);

// The outline through about a hundred points around (x + 0.5, y + 0.5),
// joined by lines.
void DrawEllipse(platform::Surface& surface, int32_t x, int32_t y, float radius_x, float radius_y,
                 uint32_t pixel);

}  // namespace zv
