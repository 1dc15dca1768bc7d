#include "engine3d/scene/matrix_terrain.h"

#include <array>
#include <cmath>
#include <vector>

#include "engine3d/engine.h"
#include "engine3d/objects/model_loading.h"
#include "engine3d/objects/object_setup.h"
#include "runtime/vm/numeric/float_to_int.h"
#include "runtime/vm/numeric/random.h"

namespace zv {
namespace {

enum Corner : int { kA = 0, kB = 1, kC = 2, kD = 3 };

// The cell texture rectangles as their four corners' u, v pairs.
using CellTex = std::array<float, 8>;

}  // namespace

// ---- MatrixGrid ---------------------------------------------------------------------------

bool MatrixGrid::Whole() const {
  if (tiles_x_ < 1 || tiles_z_ < 1) return false;
  const size_t corners = static_cast<size_t>(tiles_x_) * static_cast<size_t>(tiles_z_) * 4;
  return mesh_.vertices.size() >= corners * 3 && mesh_.normals.size() >= corners * 3 &&
         mesh_.tex_coords.size() >= corners * 2;
}

MatrixGrid::PointValue MatrixGrid::Point(int32_t x, int32_t z) const {
  size_t corner;
  if (x < tiles_x_ && z < tiles_z_)
    corner = Corner(x, z, kA);
  else if (z < tiles_z_)
    corner = Corner(x - 1, z, kB);
  else if (x < tiles_x_)
    corner = Corner(x, z - 1, kD);
  else
    corner = Corner(x - 1, z - 1, kC);
  const float* n = &mesh_.normals[corner * 3];
  return PointValue{mesh_.vertices[corner * 3 + 1], Vector3f{n[0], n[1], n[2]}};
}

void MatrixGrid::SetPoint(int32_t x, int32_t z, const PointValue& value) {
  auto write = [&](size_t corner) {
    mesh_.vertices[corner * 3 + 1] = value.height;
    mesh_.normals[corner * 3] = value.normal.x;
    mesh_.normals[corner * 3 + 1] = value.normal.y;
    mesh_.normals[corner * 3 + 2] = value.normal.z;
  };
  if (x < tiles_x_ && z < tiles_z_) write(Corner(x, z, kA));
  if (x >= 1 && z < tiles_z_) write(Corner(x - 1, z, kB));
  if (x >= 1 && z >= 1) write(Corner(x - 1, z - 1, kC));
  if (x < tiles_x_ && z >= 1) write(Corner(x, z - 1, kD));
}

float MatrixGrid::PointHeight(int32_t x, int32_t z) const { return Point(x, z).height; }
Vector3f MatrixGrid::PointNormal(int32_t x, int32_t z) const { return Point(x, z).normal; }

void MatrixGrid::SetPointHeight(int32_t x, int32_t z, float height) {
  PointValue value = Point(x, z);
  value.height = height;
  // Corners of one point hold one value, so the point's normal stands for all.
  SetPoint(x, z, value);
}

void MatrixGrid::SetPointNormal(int32_t x, int32_t z, const Vector3f& normal) {
  PointValue value = Point(x, z);
  value.normal = normal;
  SetPoint(x, z, value);
}

void MatrixGrid::SetAllHeights(float height) {
  const size_t corners = static_cast<size_t>(tiles_x_) * static_cast<size_t>(tiles_z_) * 4;
  for (size_t c = 0; c < corners; ++c) mesh_.vertices[c * 3 + 1] = height;
}

void MatrixGrid::SetCellUV(int32_t x, int32_t z, const TileUV& uv) {
  float* t = &mesh_.tex_coords[Corner(x, z, kA) * 2];
  const CellTex cell{uv.ua, uv.vb, uv.ub, uv.vb, uv.ub, uv.va, uv.ua, uv.va};
  std::copy(cell.begin(), cell.end(), t);
}

void MatrixGrid::SetAllCellUV(const TileUV& uv) {
  for (int32_t x = 0; x < tiles_x_; ++x)
    for (int32_t z = 0; z < tiles_z_; ++z) SetCellUV(x, z, uv);
}

template <class Read, class Write>
void MatrixGrid::Rotate(int32_t count, bool toward_minus, Read read, Write write) {
  if (count < 1) return;
  std::vector<decltype(read(0))> old;
  old.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) old.push_back(read(i));
  const int32_t from = toward_minus ? 1 : count - 1;
  for (int32_t i = 0; i < count; ++i) write(i, old[static_cast<size_t>((i + from) % count)]);
}

namespace {

CellTex ReadCell(const MeshRecord& mesh, size_t first_corner) {
  CellTex cell;
  std::copy_n(&mesh.tex_coords[first_corner * 2], 8, cell.begin());
  return cell;
}

void WriteCell(MeshRecord& mesh, size_t first_corner, const CellTex& cell) {
  std::copy(cell.begin(), cell.end(), &mesh.tex_coords[first_corner * 2]);
}

}  // namespace

void MatrixGrid::ShiftMinusX() {
  for (int32_t z = 0; z <= tiles_z_; ++z)
    Rotate(tiles_x_, true, [&](int32_t x) { return Point(x, z); },
           [&](int32_t x, const PointValue& v) { SetPoint(x, z, v); });
  for (int32_t z = 0; z < tiles_z_; ++z)
    Rotate(tiles_x_, true, [&](int32_t x) { return ReadCell(mesh_, Corner(x, z, kA)); },
           [&](int32_t x, const CellTex& c) { WriteCell(mesh_, Corner(x, z, kA), c); });
}

void MatrixGrid::ShiftPlusX() {
  for (int32_t z = 0; z <= tiles_z_; ++z)
    Rotate(tiles_x_, false, [&](int32_t x) { return Point(x, z); },
           [&](int32_t x, const PointValue& v) { SetPoint(x, z, v); });
  for (int32_t z = 0; z < tiles_z_; ++z)
    Rotate(tiles_x_, false, [&](int32_t x) { return ReadCell(mesh_, Corner(x, z, kA)); },
           [&](int32_t x, const CellTex& c) { WriteCell(mesh_, Corner(x, z, kA), c); });
}

void MatrixGrid::ShiftMinusZ() {
  for (int32_t x = 0; x <= tiles_x_; ++x)
    Rotate(tiles_z_, true, [&](int32_t z) { return Point(x, z); },
           [&](int32_t z, const PointValue& v) { SetPoint(x, z, v); });
  for (int32_t x = 0; x < tiles_x_; ++x)
    Rotate(tiles_z_, true, [&](int32_t z) { return ReadCell(mesh_, Corner(x, z, kA)); },
           [&](int32_t z, const CellTex& c) { WriteCell(mesh_, Corner(x, z, kA), c); });
}

void MatrixGrid::ShiftPlusZ() {
  for (int32_t x = 0; x <= tiles_x_; ++x)
    Rotate(tiles_z_, false, [&](int32_t z) { return Point(x, z); },
           [&](int32_t z, const PointValue& v) { SetPoint(x, z, v); });
  for (int32_t x = 0; x < tiles_x_; ++x)
    Rotate(tiles_z_, false, [&](int32_t z) { return ReadCell(mesh_, Corner(x, z, kA)); },
           [&](int32_t z, const CellTex& c) { WriteCell(mesh_, Corner(x, z, kA), c); });
}

MatrixGrid::TileUV MatrixTileUV(int32_t tile, int32_t across, int32_t down, float inset_u, float inset_v) {
  across = std::max(across, 1);
  down = std::max(down, 1);
  const int32_t t = std::max(tile, 1) - 1;
  const auto column = static_cast<float>(t % across), row = static_cast<float>(t / across);
  const auto a = static_cast<float>(across), d = static_cast<float>(down);
  return MatrixGrid::TileUV{column / a + inset_u, row / d + inset_v, (column + 1.0f) / a - inset_u,
                            (row + 1.0f) / d - inset_v};
}

// ---- Matrices of the engine ----------------------------------------------------------------

int32_t FindMatrix(Engine3D& e, int32_t number) {
  const int32_t index = e.matrix_ids.Get(number);
  return index > 0 && e.pools.Object(index) ? index : 0;
}

int32_t ExistingMatrix(Vm& vm, Engine3D& e, int32_t number) {
  if (!IdMap::InRange(number)) {
    vm.RunError(matrix_error::kNumber);
    return 0;
  }
  const int32_t index = FindMatrix(e, number);
  if (index == 0) vm.RunError(matrix_error::kMissing);
  return index;
}

bool MatrixGridOf(Engine3D& e, int32_t object, MeshRecord** mesh) {
  ObjectRecord* o = e.pools.Object(object);
  LimbRecord* limb = o ? o->Limb(0) : nullptr;
  MeshRecord* grid = limb && limb->grid_mesh > 0 ? e.pools.Mesh(limb->grid_mesh) : nullptr;
  if (!grid || !MatrixGrid(*grid, o->tiles_x, o->tiles_z).Whole()) return false;
  *mesh = grid;
  return true;
}

float GetMatrixPointHeight(Engine3D& e, int32_t object, int32_t x, int32_t z) {
  MeshRecord* mesh = nullptr;
  if (!MatrixGridOf(e, object, &mesh)) return 0.0f;
  const ObjectRecord& o = e.pools.objects[object];
  if (!MatrixGrid::PointInGrid(x, z, o.tiles_x, o.tiles_z)) return 0.0f;
  return MatrixGrid(*mesh, o.tiles_x, o.tiles_z).PointHeight(x, z);
}

void RandomizeMatrix(Engine3D& e, int32_t object, float maximum) {
  MeshRecord* mesh = nullptr;
  if (!MatrixGridOf(e, object, &mesh)) return;
  const ObjectRecord& o = e.pools.objects[object];
  MatrixGrid grid(*mesh, o.tiles_x, o.tiles_z);
  // A maximum below 0.01 leaves no hundredths to draw from: the ground goes
  // flat, and the draws are still made so the sequence runs on as usual.
  const int64_t hundredths = TruncateToInt64(static_cast<double>(maximum * 100.0f));
  for (int32_t x = 0; x <= o.tiles_x; ++x)
    for (int32_t z = 0; z <= o.tiles_z; ++z) {
      const auto r = static_cast<int64_t>(RandomDraw());
      grid.SetPointHeight(x, z, hundredths != 0 ? static_cast<float>(r % hundredths) / 100.0f : 0.0f);
    }
}

void UpdateMatrix(Engine3D& e, int32_t object) {
  ObjectRecord* o = e.pools.Object(object);
  LimbRecord* limb = o ? o->Limb(0) : nullptr;
  if (!limb || limb->grid_mesh <= 0 || !o->model) return;
  ReplaceObjectLimbGeometry(e, object, 0, limb->grid_mesh);
  // Hills change how far the grid reaches from its corner.
  ComputeObjectBounds(e, object);
}

void ReleaseAllMatrices(Engine3D& e) {
  for (int32_t number = IdMap::kFirst; e.matrix_ids.AnySet() && number <= IdMap::kLast; ++number) {
    const int32_t index = e.matrix_ids.Get(number);
    if (index <= 0) continue;
    if (ObjectRecord* o = e.pools.Object(index)) {
      if (LimbRecord* limb = o->Limb(0); limb && limb->grid_mesh > 0) {
        e.pools.FreeMesh(limb->grid_mesh);
        limb->grid_mesh = 0;
      }
      o->in_use = 0;
      e.FreeRenderRecord(o->render_record);
      ReleaseObjectRecord(e, index);
    }
  }
  e.matrix_ids.Clear();
}

}  // namespace zv
