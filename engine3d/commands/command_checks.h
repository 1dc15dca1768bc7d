#pragma once

#include <cstdint>

#include "engine3d/engine.h"

namespace zv {

// What the 3D handlers read operands and check records with: one check per
// kind of record, which finds the record or raises its runtime error.
// Without an engine a check finds nothing and raises nothing.

// Three float operands x, y, z.
inline Vector3f NextVector(Vm& vm) {
  const float x = vm.NextFloat();
  const float y = vm.NextFloat();
  const float z = vm.NextFloat();
  return Vector3f{x, y, z};
}

// A record a command names and the engine holding it; index 0 after
// raising or without an engine.
struct FoundRecord {
  Engine3D* e = nullptr;
  int32_t index = 0;
};

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

// The engine and object `number`, checked as above.
inline FoundRecord CheckedObject(Vm& vm, int32_t number) {
  Engine3D* e = FindEngine(vm);
  return FoundRecord{e, e ? ExistingObject(vm, *e, number) : 0};
}

// The engine, when `number` may name a new object: 7006 out of range, 7007
// in use; null after raising.
inline Engine3D* EngineForNewObject(Vm& vm, int32_t number) {
  Engine3D* e = FindEngine(vm);
  if (!e) return nullptr;
  if (!IdMap::InRange(number)) {
    vm.RunError(object_error::kNumber);
    return nullptr;
  }
  if (e->pools.object_ids.Get(number) != 0) {
    vm.RunError(object_error::kExists);
    return nullptr;
  }
  return e;
}

// The engine and the object record of matrix `number`: 7010 for a number
// outside 1..65535, 7013 for one without a matrix.
FoundRecord CheckedMatrix(Vm& vm, int32_t number);

// The mesh record of mesh `number`: 7001 for a number outside 1..65534,
// 7003 for one without a mesh; 0 after raising.
int32_t ExistingMesh(Vm& vm, Engine3D& e, int32_t number);
// The same, where mesh 0 stands for none (record 0); false after raising.
bool OptionalMesh(Vm& vm, Engine3D& e, int32_t number, int32_t* record);

// The image record of image `number`: 501 for a number outside 1..65535,
// 502 for one without an image; 0 after raising.
int32_t ExistingImage(Vm& vm, int32_t number);
// The same, where image 0 stands for none (record 0); false after raising.
bool OptionalImage(Vm& vm, int32_t number, int32_t* record);

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

// Angles of the rotate commands must lie in 0..360.
inline bool AngleInRange(float angle) { return angle >= 0.0f && angle <= 360.0f; }

}  // namespace zv
