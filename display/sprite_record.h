#pragma once

#include <array>
#include <cstdint>

#include "platform/surface/rect.h"

namespace zv {

// A sprite: a numbered image placed on the screen each frame. The same
// records are the render records of 3D objects (those carry the 3D flag).
// A new record holds these defaults.
struct SpriteRecord {
  int32_t shown = 0;
  int32_t deletion_countdown = 0;  // 2 after deleting a sprite that saves its background
  int32_t image = 0;               // of the system's own sprites: image record index; -1 none
  int32_t image_number = 0;        // as the program gave it; its image is the picture
  int32_t is_3d = 0;               // 1: the render record of a 3D object
  int32_t transparent = 0;         // 1: drawn with the source colour key
  int32_t x = 0, y = 0;
  int32_t hot_x = 0, hot_y = 0;    // subtracted from the position
  float scale_x = 1.0f, scale_y = 1.0f;
  int32_t mirrored = 0, flipped = 0;
  int32_t number = 0;              // 0 for internal records
  int32_t last_hit = 0;
  int32_t exists = 0;
  int32_t object = 0;              // the 3D object of a render record
  std::array<float, 3> previous_position{}, position{};
  int32_t backsave = 0;            // 1: the background under it is saved and restored
  std::array<int32_t, 2> saved_background{-1, -1};  // image records, one per flip buffer
  std::array<platform::Rect, 2> saved_rect{};
  int32_t layer = 0;               // 0 program sprites, 2 the cursor sprites
};

}  // namespace zv
