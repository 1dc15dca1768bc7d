#pragma once

#include <cstdint>

#include "engine3d/objects/object_record.h"

namespace zv {

// Lays out a flat grid of tiles_x by tiles_z cells over width by depth in
// the mesh record: per cell (x-major) four vertices A (x0, 0, z0), B (x1,
// 0, z0), C (x1, 0, z1), D (x0, 0, z1), normals up, triangles A C B and
// A D C, and texture coordinates just inside the unit square.
void BuildMatrixGrid(MeshRecord& mesh, float width, float depth, int32_t tiles_x, int32_t tiles_z);

}  // namespace zv
