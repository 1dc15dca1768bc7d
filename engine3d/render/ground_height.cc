#include "engine3d/render/ground_height.h"

#include <algorithm>

#include "engine3d/engine.h"
#include "engine3d/scene/matrix_terrain.h"
#include "runtime/vm/numeric/float_to_int.h"

namespace zv {
namespace {

struct Point {
  float x, y, z;
};

// Where the edge from `a` to `b` crosses depth `dz` (from the cell's near
// side): taken from its end of smaller z, the first end when both are equal.
Point EdgeAtDepth(const Point& a, const Point& b, float dz) {
  const Point& p = b.z < a.z ? b : a;
  const Point& q = b.z < a.z ? a : b;
  const float t = q.z != p.z ? dz / (q.z - p.z) : 0.0f;
  return Point{p.x + (q.x - p.x) * t, p.y + (q.y - p.y) * t, 0.0f};
}

int32_t CellOf(float position, float cell_size, int32_t tiles) {
  return std::clamp(TruncateToInt32(static_cast<double>(position / cell_size)), 0, tiles - 1);
}

}  // namespace

float GroundHeightOf(const MeshRecord& grid, float width, float depth, int32_t tiles_x, int32_t tiles_z, float x,
                     float z) {
  if (tiles_x < 1 || tiles_z < 1) return 0.0f;
  const size_t cell = static_cast<size_t>(CellOf(x, width / static_cast<float>(tiles_x), tiles_x)) *
                          static_cast<size_t>(tiles_z) +
                      static_cast<size_t>(CellOf(z, depth / static_cast<float>(tiles_z), tiles_z));
  if (grid.vertices.size() < (cell + 1) * 12) return 0.0f;
  auto corner = [&](size_t k) {
    const float* v = &grid.vertices[(cell * 4 + k) * 3];
    return Point{v[0], v[1], v[2]};
  };
  const Point a = corner(0), b = corner(1), c = corner(2), d = corner(3);
  const float dx = x - a.x, dz = z - a.z;
  // Triangle A D C on and above the diagonal from A to C, A C B below it.
  // The diagonal is measured by the cell's own sides, so that cells longer
  // than deep (or deeper than long) take the triangle that is drawn there.
  const bool above = dz * (c.x - a.x) >= dx * (c.z - a.z);
  const Point first = above ? EdgeAtDepth(a, c, dz) : EdgeAtDepth(c, a, dz);
  const Point second = above ? EdgeAtDepth(a, d, dz) : EdgeAtDepth(c, b, dz);
  const float s = second.x != first.x ? (x - first.x) / (second.x - first.x) : 0.0f;
  return first.y + (second.y - first.y) * s;
}

float GetMatrixGroundHeight(Engine3D& e, int32_t object, float x, float z) {
  MeshRecord* mesh = nullptr;
  if (!MatrixGridOf(e, object, &mesh)) return 0.0f;
  const ObjectRecord& o = e.pools.objects[object];
  return GroundHeightOf(*mesh, o.grid_width, o.grid_depth, o.tiles_x, o.tiles_z, x, z);
}

}  // namespace zv
