#include "engine3d/commands/matrix_queries.h"

#include "engine3d/commands/command_checks.h"
#include "engine3d/render/ground_height.h"
#include "engine3d/scene/matrix_terrain.h"

namespace zv {
namespace {

// Readers of one value of a checked matrix (its object record).
float PositionX(Engine3D& e, int32_t i) { return RenderRecordOf(e, i).position[0]; }
float PositionY(Engine3D& e, int32_t i) { return RenderRecordOf(e, i).position[1]; }
float PositionZ(Engine3D& e, int32_t i) { return RenderRecordOf(e, i).position[2]; }
int32_t Wireframe(Engine3D& e, int32_t i) { return MarksOf(e, i).wireframe == 1 ? 1 : 0; }
int32_t Textured(Engine3D& e, int32_t i) { return e.pools.objects[i].texture_tiles > 0 ? 1 : 0; }
int32_t TextureTileCount(Engine3D& e, int32_t i) { return e.pools.objects[i].texture_tiles; }

template <float (*Get)(Engine3D&, int32_t)>
void FnMatrixFloat(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedMatrix(vm, number);
  if (index != 0) vm.SetFloat(result, Get(*e, index));
}

template <int32_t (*Get)(Engine3D&, int32_t)>
void FnMatrixInteger(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedMatrix(vm, number);
  if (index != 0) vm.SetInt(result, Get(*e, index));
}

void FnMatrixExist(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  if (!IdMap::InRange(number)) return vm.RunError(matrix_error::kNumber);
  Engine3D* e = FindEngine(vm);
  vm.SetInt(result, e && FindMatrix(*e, number) > 0 ? 1 : 0);
}

void FnMatrixTileHeight(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  const int32_t x = vm.NextInt();
  const int32_t z = vm.NextInt();
  const auto [e, index] = CheckedMatrix(vm, number);
  if (index == 0) return;
  const ObjectRecord& m = e->pools.objects[index];
  if (!MatrixGrid::PointInGrid(x, z, m.tiles_x, m.tiles_z)) return vm.RunError(matrix_error::kPoint);
  vm.SetFloat(result, GetMatrixPointHeight(*e, index, x, z));
}

// Outside the matrix's area the ground is at 0.
void FnMatrixGroundHeight(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  const float x = vm.NextFloat();
  const float z = vm.NextFloat();
  const auto [e, index] = CheckedMatrix(vm, number);
  if (index == 0) return;
  const ObjectRecord& m = e->pools.objects[index];
  const bool inside = x >= 0.0f && x <= m.grid_width && z >= 0.0f && z <= m.grid_depth;
  vm.SetFloat(result, inside ? GetMatrixGroundHeight(*e, index, x, z) : 0.0f);
}

}  // namespace

void RegisterMatrixQueryHandlers(HandlerTable& table) {
  table.Set(7551, FnMatrixExist);
  table.Set(7552, FnMatrixInteger<Wireframe>);  // matrix wireframe
  table.Set(7553, FnMatrixTileHeight);
  table.Set(7554, FnMatrixFloat<PositionX>);  // matrix position x
  table.Set(7555, FnMatrixFloat<PositionY>);  // matrix position y
  table.Set(7556, FnMatrixFloat<PositionZ>);  // matrix position z
  table.Set(7560, FnMatrixInteger<Textured>);  // matrix textured
  table.Set(7561, FnMatrixInteger<TextureTileCount>);  // matrix texture tile count
  table.Set(7562, FnMatrixGroundHeight);
}

}  // namespace zv
