#pragma once

#include <cstdint>

#include "engine3d/engine.h"

namespace zv {

// The record index of object `number`: runtime error 7006 for a number
// outside 1..65535, 7008 for one without an object; 0 after raising.
inline int32_t ExistingObject(Vm& vm, Engine3D& e, int32_t number) {
  if (!IdMap::InRange(number)) {
    vm.RunError(object_error::kNumber);
    return 0;
  }
  const int32_t index = e.pools.object_ids.Get(number);
  if (index <= 0 || !e.pools.Object(index)) {
    vm.RunError(object_error::kMissing);
    return 0;
  }
  return index;
}

// A number for a new object: 7006 out of range, 7007 in use; false after
// raising.
inline bool FreeObjectNumber(Vm& vm, Engine3D& e, int32_t number) {
  if (!IdMap::InRange(number)) {
    vm.RunError(object_error::kNumber);
    return false;
  }
  if (e.pools.object_ids.Get(number) != 0) {
    vm.RunError(object_error::kExists);
    return false;
  }
  return true;
}

// The object's render record.
inline SpriteRecord& RenderRecordOf(Engine3D& e, int32_t object) {
  return e.Sprites()[e.pools.objects[object].render_record];
}
inline RenderMarks& MarksOf(Engine3D& e, int32_t object) {
  return e.Marks(e.pools.objects[object].render_record);
}

// With automatic refresh on, the machine returns to the message pump after
// the command, so the next frame shows its change.
inline void YieldForRefresh(Vm& vm) { vm.yield = vm.auto_refresh; }

// The image record behind an image number (0 for image 0); false after
// raising 501 for a number out of range or 502 for one without an image.
bool CheckedImage(Vm& vm, int32_t image, int32_t* record);

// Angles of the rotate commands must lie in 0..360.
inline bool AngleInRange(float angle) { return angle >= 0.0f && angle <= 360.0f; }

}  // namespace zv
