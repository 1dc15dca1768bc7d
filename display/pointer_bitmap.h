#pragma once

#include "platform/surface/surface.h"

namespace zv {

// The picture from which the software mouse pointer (20 x 22 from the top
// left), the text caret (the first 2 x 22) and a 1 x 1 dot are cut.
constexpr int32_t kPointerBitmapWidth = 27;
constexpr int32_t kPointerBitmapHeight = 22;

// Draws the pointer picture on a black (transparent) background in the
// surface's format.
void DrawPointerBitmap(platform::Surface& surface);

}  // namespace zv
