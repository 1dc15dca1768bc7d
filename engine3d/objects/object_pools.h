#pragma once

#include <cstdint>

#include "display/id_map.h"
#include "display/record_pool.h"
#include "engine3d/objects/object_record.h"

namespace zv {

class Vm;

// The engine's pools of objects, meshes and textures and the numbers that
// programs give objects and meshes. Index 0 of each pool (and mesh 1) is
// taken at every reset and never given back, so 0 means none wherever an
// index is stored.
struct EnginePools {
  static constexpr int32_t kFirstCapacity = 2;
  static constexpr int32_t kReserve = 4;
  static constexpr int32_t kFirstLimbCapacity = 32;

  EnginePools() { Reset(); }
  void Reset();

  // Each raises runtime error 101 and returns kNoRecord when the pool
  // cannot grow.
  int32_t AllocObject(Vm& vm);
  int32_t AllocMesh(Vm& vm);
  int32_t AllocTexture(Vm& vm);
  // The record goes back to the free list; its contents are released (the
  // object's contents by the engine beforehand). False when not in use.
  bool FreeObject(int32_t index);
  bool FreeMesh(int32_t index);
  bool FreeTexture(int32_t index);

  ObjectRecord* Object(int32_t index) { return objects.InUse(index) ? &objects[index] : nullptr; }
  MeshRecord* Mesh(int32_t index) { return meshes.InUse(index) ? &meshes[index] : nullptr; }
  TextureRecord* Texture(int32_t index) { return textures.InUse(index) ? &textures[index] : nullptr; }

  RecordPool<ObjectRecord> objects{kFirstCapacity, kReserve};
  RecordPool<MeshRecord> meshes{kFirstCapacity, kReserve};
  RecordPool<TextureRecord> textures{kFirstCapacity, kReserve};
  IdMap object_ids;
  IdMap mesh_ids;  // the mesh commands take 1 to 65534
};

// Mesh numbers run to 65534; object numbers to 65535.
constexpr int32_t kLastMeshNumber = 65534;
inline bool MeshNumberInRange(int32_t number) { return number >= 1 && number <= kLastMeshNumber; }

// Grows the object's limb array (doubling) when `limb` comes within 4 of
// its end.
void GrowLimbArray(ObjectRecord& object, int32_t limb);
// Gives the limb its defaults: in use, shown, no texture, no offset or
// angles, scale 1, may be linked.
void InitLimbRecord(ObjectRecord& object, int32_t limb);

}  // namespace zv
