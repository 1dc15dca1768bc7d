#include "engine3d/commands/object_queries.h"

#include "engine3d/commands/command_checks.h"
#include "engine3d/render/render_states.h"

namespace zv {
namespace {

namespace op {
constexpr int kMeshExist = 7501;
constexpr int kObjectExist = 7511;
constexpr int kObjectPositionX = 7512;
constexpr int kObjectPositionY = 7513;
constexpr int kObjectPositionZ = 7514;
constexpr int kObjectAngleX = 7515;
constexpr int kObjectAngleY = 7516;
constexpr int kObjectAngleZ = 7517;
constexpr int kObjectVisible = 7518;
constexpr int kObjectBoundRadius = 7661;
constexpr int kObjectBoundCentreX = 7662;
constexpr int kObjectBoundCentreY = 7663;
constexpr int kObjectBoundCentreZ = 7664;
constexpr int kObjectCullRadius = 7671;
constexpr int kObjectScreenX = 7672;
constexpr int kObjectScreenY = 7673;
constexpr int kObjectInScreen = 7674;
constexpr int kStatistic = 7675;
constexpr int kObjectSizeX = 7676;
constexpr int kObjectSizeY = 7677;
constexpr int kObjectSizeZ = 7678;
}  // namespace op

// What the statistic query reports by code.
namespace statistic {
constexpr int32_t kTrianglesDrawn = 1;
constexpr int32_t kMipmapping = 2;
constexpr int32_t kCompressedTextures = 3;
constexpr int32_t kLastStatus = 4;
}  // namespace statistic

// Readers of one value of a checked object.
using FloatOf = float (*)(Engine3D&, int32_t);
using IntegerOf = int32_t (*)(Engine3D&, int32_t);

float PositionX(Engine3D& e, int32_t i) { return RenderRecordOf(e, i).position[0]; }
float PositionY(Engine3D& e, int32_t i) { return RenderRecordOf(e, i).position[1]; }
float PositionZ(Engine3D& e, int32_t i) { return RenderRecordOf(e, i).position[2]; }
float AngleX(Engine3D& e, int32_t i) { return WrapAngle(e.pools.objects[i].angles.x); }
float AngleY(Engine3D& e, int32_t i) { return WrapAngle(e.pools.objects[i].angles.y); }
float AngleZ(Engine3D& e, int32_t i) { return WrapAngle(e.pools.objects[i].angles.z); }
float BoundRadius(Engine3D& e, int32_t i) { return e.pools.objects[i].bound_radius; }
float BoundCentreX(Engine3D& e, int32_t i) { return e.pools.objects[i].bound_centre.x; }
float BoundCentreY(Engine3D& e, int32_t i) { return e.pools.objects[i].bound_centre.y; }
float BoundCentreZ(Engine3D& e, int32_t i) { return e.pools.objects[i].bound_centre.z; }
float CullRadius(Engine3D& e, int32_t i) { return e.pools.objects[i].cull_radius; }
float SizeX(Engine3D& e, int32_t i) { return e.pools.objects[i].size.x; }
float SizeY(Engine3D& e, int32_t i) { return e.pools.objects[i].size.y; }
float SizeZ(Engine3D& e, int32_t i) { return e.pools.objects[i].size.z; }

int32_t Visible(Engine3D& e, int32_t i) { return RenderRecordOf(e, i).shown == 1 ? 1 : 0; }
int32_t ScreenX(Engine3D& e, int32_t i) { return ObjectScreenInfo(e, e.pools.objects[i].render_record).x; }
int32_t ScreenY(Engine3D& e, int32_t i) { return ObjectScreenInfo(e, e.pools.objects[i].render_record).y; }
int32_t InScreen(Engine3D& e, int32_t i) { return ObjectScreenInfo(e, e.pools.objects[i].render_record).in_screen; }

// The result slot and the checked object (0 after raising).
int32_t ReadObjectQuery(Vm& vm, Slot* result, Engine3D** e) {
  *result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  *e = FindEngine(vm);
  return *e ? ExistingObject(vm, **e, number) : 0;
}

template <FloatOf Get>
void FnObjectFloat(Vm& vm) {
  Slot result;
  Engine3D* e;
  if (const int32_t index = ReadObjectQuery(vm, &result, &e)) vm.SetFloat(result, Get(*e, index));
}

template <IntegerOf Get>
void FnObjectInteger(Vm& vm) {
  Slot result;
  Engine3D* e;
  if (const int32_t index = ReadObjectQuery(vm, &result, &e)) vm.SetInt(result, Get(*e, index));
}

void FnMeshExist(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  if (!MeshNumberInRange(number)) return vm.RunError(object_error::kMeshNumber);
  Engine3D* e = FindEngine(vm);
  vm.SetInt(result, e && e->pools.mesh_ids.Get(number) > 0 ? 1 : 0);
}

void FnObjectExist(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  if (!IdMap::InRange(number)) return vm.RunError(object_error::kNumber);
  Engine3D* e = FindEngine(vm);
  vm.SetInt(result, e && e->pools.object_ids.Get(number) > 0 ? 1 : 0);
}

void FnStatistic(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t code = vm.NextInt();
  Engine3D* e = FindEngine(vm);
  int32_t value = 0;
  switch (code) {
    case statistic::kTrianglesDrawn:
      value = e ? static_cast<int32_t>(static_cast<uint32_t>(e->polygon_counter / 3)) : 0;
      break;
    case statistic::kMipmapping: value = e && e->Capabilities().mipmap_available ? 1 : 0; break;
    case statistic::kCompressedTextures: value = e && e->Capabilities().dxt_available ? 1 : 0; break;
    case statistic::kLastStatus: value = vm.errors.internal_code; break;
    default: break;
  }
  vm.SetInt(result, value);
}

}  // namespace

void RegisterObjectQueryHandlers(HandlerTable& table) {
  table.Set(op::kMeshExist, FnMeshExist);
  table.Set(op::kObjectExist, FnObjectExist);
  table.Set(op::kObjectPositionX, FnObjectFloat<PositionX>);
  table.Set(op::kObjectPositionY, FnObjectFloat<PositionY>);
  table.Set(op::kObjectPositionZ, FnObjectFloat<PositionZ>);
  table.Set(op::kObjectAngleX, FnObjectFloat<AngleX>);
  table.Set(op::kObjectAngleY, FnObjectFloat<AngleY>);
  table.Set(op::kObjectAngleZ, FnObjectFloat<AngleZ>);
  table.Set(op::kObjectVisible, FnObjectInteger<Visible>);
  table.Set(op::kObjectBoundRadius, FnObjectFloat<BoundRadius>);
  table.Set(op::kObjectBoundCentreX, FnObjectFloat<BoundCentreX>);
  table.Set(op::kObjectBoundCentreY, FnObjectFloat<BoundCentreY>);
  table.Set(op::kObjectBoundCentreZ, FnObjectFloat<BoundCentreZ>);
  table.Set(op::kObjectCullRadius, FnObjectFloat<CullRadius>);
  table.Set(op::kObjectScreenX, FnObjectInteger<ScreenX>);
  table.Set(op::kObjectScreenY, FnObjectInteger<ScreenY>);
  table.Set(op::kObjectInScreen, FnObjectInteger<InScreen>);
  table.Set(op::kStatistic, FnStatistic);
  table.Set(op::kObjectSizeX, FnObjectFloat<SizeX>);
  table.Set(op::kObjectSizeY, FnObjectFloat<SizeY>);
  table.Set(op::kObjectSizeZ, FnObjectFloat<SizeZ>);
}

}  // namespace zv
