#pragma once

#include <cstdint>

#include "runtime/vm/vm.h"

namespace zv {

// Meshes to memory blocks and back, in the layout of mesh_layout.h, through
// the 3D engine's MeshLayoutServices. Mesh numbers arrive checked (1 to
// 65534); each returns true on success and false after raising its error.

// 7003 without the mesh; replaces the block (gone after a failure).
bool MakeMemblockFromMesh(Vm& vm, int32_t block, int32_t mesh);
// 5103 without the block, 5105 when its counts reach past it; the mesh is
// left as it was after either.
bool MakeMeshFromMemblock(Vm& vm, int32_t block, int32_t mesh);
// The block's arrays over the existing mesh's, whose counts stay: 5105 when
// the block's counts reach past it, 7028 when they exceed the mesh's.
bool ChangeMeshFromMemblock(Vm& vm, int32_t block, int32_t mesh);

}  // namespace zv
