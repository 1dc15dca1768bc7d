#include "engine3d/commands/matrix_queries.h"

#include "engine3d/commands/command_checks.h"
#include "engine3d/render/ground_height.h"
#include "engine3d/scene/matrix_terrain.h"

namespace zv {
namespace {

namespace op {
constexpr int kMatrixExist = 7551;
constexpr int kMatrixWireframe = 7552;
constexpr int kMatrixTileHeight = 7553;
constexpr int kMatrixPositionX = 7554;
constexpr int kMatrixPositionY = 7555;
constexpr int kMatrixPositionZ = 7556;
constexpr int kMatrixTextured = 7560;
constexpr int kMatrixTextureTileCount = 7561;
constexpr int kMatrixGroundHeight = 7562;
}  // namespace op

// Readers of one value of a checked matrix (its object record).
float PositionX(Engine3D& e, int32_t i) { return RenderRecordOf(e, i).position[0]; }
float PositionY(Engine3D& e, int32_t i) { return RenderRecordOf(e, i).position[1]; }
float PositionZ(Engine3D& e, int32_t i) { return RenderRecordOf(e, i).position[2]; }
int32_t Wireframe(Engine3D& e, int32_t i) { return MarksOf(e, i).wireframe == 1 ? 1 : 0; }
int32_t Textured(Engine3D& e, int32_t i) { return e.pools.objects[i].texture_tiles > 0 ? 1 : 0; }
int32_t TextureTileCount(Engine3D& e, int32_t i) { return e.pools.objects[i].texture_tiles; }

// The result slot and the checked matrix (0 after raising).
int32_t ReadMatrixQuery(Vm& vm, Slot* result, Engine3D** e) {
  *result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  *e = FindEngine(vm);
  return *e ? ExistingMatrix(vm, **e, number) : 0;
}

template <float (*Get)(Engine3D&, int32_t)>
void FnMatrixFloat(Vm& vm) {
  Slot result;
  Engine3D* e;
  if (const int32_t index = ReadMatrixQuery(vm, &result, &e)) vm.SetFloat(result, Get(*e, index));
}

template <int32_t (*Get)(Engine3D&, int32_t)>
void FnMatrixInteger(Vm& vm) {
  Slot result;
  Engine3D* e;
  if (const int32_t index = ReadMatrixQuery(vm, &result, &e)) vm.SetInt(result, Get(*e, index));
}

void FnMatrixExist(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  if (!IdMap::InRange(number)) return vm.RunError(matrix_error::kNumber);
  Engine3D* e = FindEngine(vm);
  vm.SetInt(result, e && FindMatrix(*e, number) > 0 ? 1 : 0);
}

void FnMatrixTileHeight(Vm& vm) {
  Slot result;
  Engine3D* e;
  const int32_t index = ReadMatrixQuery(vm, &result, &e);
  const int32_t x = vm.NextInt();
  const int32_t z = vm.NextInt();
  if (index == 0) return;
  const ObjectRecord& m = e->pools.objects[index];
  if (!MatrixGrid::PointInGrid(x, z, m.tiles_x, m.tiles_z)) return vm.RunError(matrix_error::kPoint);
  vm.SetFloat(result, GetMatrixPointHeight(*e, index, x, z));
}

// Outside the matrix's area the ground is at 0.
void FnMatrixGroundHeight(Vm& vm) {
  Slot result;
  Engine3D* e;
  const int32_t index = ReadMatrixQuery(vm, &result, &e);
  const float x = vm.NextFloat();
  const float z = vm.NextFloat();
  if (index == 0) return;
  const ObjectRecord& m = e->pools.objects[index];
  const bool inside = x >= 0.0f && x <= m.grid_width && z >= 0.0f && z <= m.grid_depth;
  vm.SetFloat(result, inside ? GetMatrixGroundHeight(*e, index, x, z) : 0.0f);
}

}  // namespace

void RegisterMatrixQueryHandlers(HandlerTable& table) {
  table.Set(op::kMatrixExist, FnMatrixExist);
  table.Set(op::kMatrixWireframe, FnMatrixInteger<Wireframe>);
  table.Set(op::kMatrixTileHeight, FnMatrixTileHeight);
  table.Set(op::kMatrixPositionX, FnMatrixFloat<PositionX>);
  table.Set(op::kMatrixPositionY, FnMatrixFloat<PositionY>);
  table.Set(op::kMatrixPositionZ, FnMatrixFloat<PositionZ>);
  table.Set(op::kMatrixTextured, FnMatrixInteger<Textured>);
  table.Set(op::kMatrixTextureTileCount, FnMatrixInteger<TextureTileCount>);
  table.Set(op::kMatrixGroundHeight, FnMatrixGroundHeight);
}

}  // namespace zv
