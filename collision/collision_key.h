#pragma once

#include <cstdint>

namespace zv {

// The caller's number for a collision object, compared as an unsigned value
// and handed back unchanged to the pair callback. Sixty-four bits leave room
// for an object index and a mesh number that is unique within the object, so
// two meshes of one limb never share a key.
using CollisionKey = uint64_t;

constexpr CollisionKey MakeCollisionKey(uint32_t object_index, uint32_t mesh_number) {
  return (static_cast<CollisionKey>(object_index) << 32) | mesh_number;
}
constexpr uint32_t CollisionKeyObjectIndex(CollisionKey key) { return static_cast<uint32_t>(key >> 32); }
constexpr uint32_t CollisionKeyMeshNumber(CollisionKey key) { return static_cast<uint32_t>(key); }

}  // namespace zv
