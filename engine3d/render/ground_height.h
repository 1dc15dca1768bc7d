#pragma once

#include <cstdint>

#include "engine3d/objects/object_record.h"

namespace zv {

class Engine3D;

// The height of a matrix's ground at (x, z) in the matrix's own
// coordinates, interpolated over the triangle of the cell that holds the
// point as drawn (A C B or A D C; a point on the diagonal from A to C lies
// in A D C). Points on the far edges (x = width or z = depth) take the last
// cell; points outside the grid are held to its cells, so nothing outside
// it is read.
float GroundHeightOf(const MeshRecord& grid, float width, float depth, int32_t tiles_x, int32_t tiles_z, float x,
                     float z);

// The same for the matrix held by object record `object`; 0 when it has no
// grid.
float GetMatrixGroundHeight(Engine3D& e, int32_t object, float x, float z);

}  // namespace zv
