#include "engine3d/scene/matrix_grid.h"

namespace zv {

void BuildMatrixGrid(MeshRecord& mesh, float width, float depth, int32_t tiles_x, int32_t tiles_z) {
  const float cell_width = width / static_cast<float>(tiles_x), cell_depth = depth / static_cast<float>(tiles_z);
  constexpr float ua = 0.00390625f, ub = 0.99609375f, va = 0.003921569f, vb = 1.0f;
  mesh.vertices.clear();
  mesh.normals.clear();
  mesh.face_data.clear();
  mesh.tex_coords.clear();
  uint32_t v = 0;
  for (int32_t x = 0; x < tiles_x; ++x)
    for (int32_t z = 0; z < tiles_z; ++z, v += 4) {
      const float x0 = static_cast<float>(x) * cell_width, x1 = x0 + cell_width;
      const float z0 = static_cast<float>(z) * cell_depth, z1 = z0 + cell_depth;
      mesh.vertices.insert(mesh.vertices.end(), {x0, 0, z0, x1, 0, z0, x1, 0, z1, x0, 0, z1});
      for (int i = 0; i < 4; ++i) mesh.normals.insert(mesh.normals.end(), {0, 1, 0});
      mesh.face_data.insert(mesh.face_data.end(),
                            {3, v, v, v + 2, v + 2, v + 1, v + 1, 3, v, v, v + 3, v + 3, v + 2, v + 2});
      mesh.tex_coords.insert(mesh.tex_coords.end(), {ua, vb, ub, vb, ub, va, ua, va});
    }
  const int32_t cells = tiles_x * tiles_z;
  mesh.vertex_count = mesh.normal_count = 4 * cells;
  mesh.face_count = 2 * cells;
  mesh.face_data_count = 14 * cells;
}

}  // namespace zv
