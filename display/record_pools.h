#pragma once

#include <cstdint>

#include "display/draw_record.h"
#include "display/id_map.h"
#include "display/image_record.h"
#include "display/record_pool.h"
#include "display/sprite_record.h"

namespace zv {

// The pools and number maps of the display: sprites, images and draw
// records. (The 3D engine keeps its own pools of objects, meshes, textures
// and lights over the same RecordPool.)
class RecordPools {
 public:
  static constexpr int32_t kSpriteCapacity = 2;
  static constexpr int32_t kImageCapacity = 16;
  static constexpr int32_t kImageReserve = 12;
  static constexpr int32_t kDrawCapacity = 2;
  static constexpr int32_t kReserve = 4;

  // Empties every pool and map, then takes image record 0 for the display's
  // own use, so that the programs' images start at index 1.
  void Reset();
  // Returns the memory of the records: every pool back to its first size.
  void Free();

  // A new sprite record with the sprite defaults; kNoRecord when the pool
  // cannot grow.
  int32_t AllocSpriteRecord();
  // Releases the sprite's saved backgrounds with it. False when the record
  // is not in use.
  bool FreeSpriteRecord(int32_t index);

  // A new, empty image record; kNoRecord when the pool cannot grow.
  int32_t AllocImageRecord();
  // Releases the image's surface with it; the other fields are left until
  // the record is taken again. False when the record is not in use.
  bool FreeImageRecord(int32_t index);

  // A draw record at the end of the queue, stamped with where it draws.
  int32_t AllocDrawRecord(int32_t bitmap, const platform::SurfacePtr& target);
  bool FreeDrawRecord(int32_t index);

  RecordPool<SpriteRecord> sprites{kSpriteCapacity, kReserve};
  RecordPool<ImageRecord> images{kImageCapacity, kImageReserve};
  RecordPool<DrawRecord> draws{kDrawCapacity, kReserve};
  IdMap sprite_ids;
  IdMap image_ids;
};

}  // namespace zv
