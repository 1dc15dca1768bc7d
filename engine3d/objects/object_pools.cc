#include "engine3d/objects/object_pools.h"

#include <algorithm>

#include "runtime/vm/vm.h"

namespace zv {
namespace {

template <typename Record>
int32_t Take(RecordPool<Record>& pool, Vm& vm) {
  const int32_t index = pool.Alloc();
  if (index == kNoRecord) {
    vm.RunError(kPoolOutOfMemory);
    return kNoRecord;
  }
  pool[index] = Record{};
  return index;
}

template <typename Record>
bool Give(RecordPool<Record>& pool, int32_t index) {
  if (!pool.InUse(index)) return false;
  pool[index] = Record{};
  return pool.Free(index);
}

}  // namespace

void EnginePools::Reset() {
  objects.Reset();
  meshes.Reset();
  textures.Reset();
  object_ids.Clear();
  mesh_ids.Clear();
  objects.Alloc();
  textures.Alloc();
  meshes.Alloc();
  meshes.Alloc();
}

int32_t EnginePools::AllocObject(Vm& vm) {
  const int32_t index = Take(objects, vm);
  if (index != kNoRecord) objects[index].limbs = std::make_shared<LimbArray>(kFirstLimbCapacity);
  return index;
}

int32_t EnginePools::AllocMesh(Vm& vm) {
  const int32_t index = Take(meshes, vm);
  if (index != kNoRecord) meshes[index].in_use = 1;
  return index;
}

int32_t EnginePools::AllocTexture(Vm& vm) { return Take(textures, vm); }

bool EnginePools::FreeObject(int32_t index) { return index > 0 && Give(objects, index); }
bool EnginePools::FreeMesh(int32_t index) { return index > 1 && Give(meshes, index); }
bool EnginePools::FreeTexture(int32_t index) { return index > 0 && Give(textures, index); }

void GrowLimbArray(ObjectRecord& object, int32_t limb) {
  if (!object.limbs) object.limbs = std::make_shared<LimbArray>();
  LimbArray& limbs = *object.limbs;
  const int32_t capacity = static_cast<int32_t>(limbs.size());
  if (limb > capacity - 4) limbs.resize(static_cast<size_t>(std::max(capacity * 2, limb + 4)));
}

void InitLimbRecord(ObjectRecord& object, int32_t limb) {
  if (limb < 0) return;
  GrowLimbArray(object, limb);
  LimbRecord& l = (*object.limbs)[static_cast<size_t>(limb)];
  l.in_use = 1;
  l.shown = 1;
  l.image_number = 0;
  l.image_index = 0;
  l.may_link = 1;
  l.offset = Vector3f{};
  l.angles = Vector3f{};
  l.scale = Vector3f{1, 1, 1};
}

}  // namespace zv
