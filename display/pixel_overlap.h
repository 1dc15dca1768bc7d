#pragma once

#include <cstdint>

#include "platform/surface/surface.h"

namespace zv {

// One sprite's picture as it is drawn: `width` x `height` pixels of the
// surface from (`source_left`, `source_top`), stretched over the screen
// rectangle [left, right) x [top, bottom), mirrored (right to left) and
// flipped (upside down) as the sprite is.
struct DrawnPicture {
  const platform::Surface* surface = nullptr;
  int32_t source_left = 0, source_top = 0;
  int32_t width = 0, height = 0;
  int64_t left = 0, top = 0, right = 0, bottom = 0;
  bool mirrored = false, flipped = false;
};

// Whether some screen position shows a pixel of each picture other than
// its colour key. It stops at the first such pair and allocates nothing;
// each run of screen positions that shows the same two picture pixels is
// looked at once, so the cost follows the pictures' own pixels at any scale.
bool PicturesMeet(const DrawnPicture& a, const DrawnPicture& b);

}  // namespace zv
