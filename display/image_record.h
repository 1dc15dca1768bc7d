#pragma once

#include <cstdint>

#include "platform/surface/rect.h"
#include "platform/surface/surface.h"

namespace zv {

// A picture kept by number for pasting, sprites and textures. The record
// owns its surface; a new record is empty.
struct ImageRecord {
  int32_t in_use = 0;
  int32_t texture = 0;  // texture record made from the image; 0 none
  platform::SurfacePtr surface;
  platform::Rect source;            // the part of the surface the image shows
  int32_t width = 0, height = 0;    // the image's size
  int32_t created_width = 0, created_height = 0;  // the surface's size as made
  uint16_t deletion_countdown = 0;  // turns until the record is released
};

}  // namespace zv
