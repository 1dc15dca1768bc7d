#include "display/record_pools.h"

namespace zv {

void RecordPools::Reset() {
  sprites.Reset();
  images.Reset();
  draws.Reset();
  sprite_ids.Clear();
  image_ids.Clear();
  AllocImageRecord();
  // Record 0 of the sprites too: 0 in the sprite map means no sprite.
  AllocSpriteRecord();
}

void RecordPools::Free() {
  sprites = RecordPool<SpriteRecord>(kSpriteCapacity, kReserve);
  images = RecordPool<ImageRecord>(kImageCapacity, kImageReserve);
  draws = RecordPool<DrawRecord>(kDrawCapacity, kReserve);
  sprite_ids.Clear();
  image_ids.Clear();
}

int32_t RecordPools::AllocSpriteRecord() {
  const int32_t index = sprites.Alloc();
  if (index != kNoRecord) sprites[index] = SpriteRecord{};
  return index;
}

bool RecordPools::FreeSpriteRecord(int32_t index) {
  if (!sprites.InUse(index)) return false;
  SpriteRecord& sprite = sprites[index];
  for (int32_t& background : sprite.saved_background) {
    if (background != kNoRecord) FreeImageRecord(background);
    background = kNoRecord;
  }
  sprite.backsave = 0;
  return sprites.Free(index);
}

int32_t RecordPools::AllocImageRecord() {
  const int32_t index = images.Alloc();
  if (index != kNoRecord) images[index] = ImageRecord{};
  return index;
}

bool RecordPools::FreeImageRecord(int32_t index) {
  if (!images.InUse(index)) return false;
  images[index].surface.reset();
  return images.Free(index);
}

int32_t RecordPools::AllocDrawRecord(int32_t bitmap, const platform::SurfacePtr& target) {
  const int32_t index = draws.Alloc();
  if (index != kNoRecord) {
    DrawRecord& record = draws[index];
    record.bitmap = bitmap;
    record.target = target;
  }
  return index;
}

bool RecordPools::FreeDrawRecord(int32_t index) {
  if (!draws.InUse(index)) return false;
  // The record no longer keeps a surface that was deleted meanwhile.
  draws[index].target.reset();
  draws[index].picture.reset();
  return draws.Free(index);
}

}  // namespace zv
