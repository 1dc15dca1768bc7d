#pragma once

#include <cstdint>

namespace zv {

class Engine3D;

// Before a collision query reads its results: when any placement changed
// since the last refresh, every object whose collision is on places its
// collision objects anew and forgets its last hit, and the pairs are
// tested. Returns 1.
int32_t RefreshObjectCollisions(Engine3D& e);

// The response to a colliding pair of the objects with record indices `a`
// and `b` (two meshes of one object never collide with each other): each
// notes the other as its last hit, and whether it was the partner asked
// about.
void OnCollisionPair(Engine3D& e, uint32_t a, uint32_t b);

}  // namespace zv
