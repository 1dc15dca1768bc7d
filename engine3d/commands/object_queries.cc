#include "engine3d/commands/object_queries.h"

#include "engine3d/commands/command_checks.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/screen_position.h"

namespace zv {
namespace {

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
// The bounds as the object's limbs now stand, in the pose it was set to or
// played.
const ObjectRecord& Measured(Engine3D& e, int32_t i) {
  MeasureBoundsIfStale(e, i);
  return e.pools.objects[i];
}
float BoundRadius(Engine3D& e, int32_t i) { return Measured(e, i).bound_radius; }
float BoundCentreX(Engine3D& e, int32_t i) { return Measured(e, i).bound_centre.x; }
float BoundCentreY(Engine3D& e, int32_t i) { return Measured(e, i).bound_centre.y; }
float BoundCentreZ(Engine3D& e, int32_t i) { return Measured(e, i).bound_centre.z; }
float CullRadius(Engine3D& e, int32_t i) { return e.pools.objects[i].cull_radius; }
float SizeX(Engine3D& e, int32_t i) { return Measured(e, i).size.x; }
float SizeY(Engine3D& e, int32_t i) { return Measured(e, i).size.y; }
float SizeZ(Engine3D& e, int32_t i) { return Measured(e, i).size.z; }

int32_t Visible(Engine3D& e, int32_t i) { return RenderRecordOf(e, i).shown == 1 ? 1 : 0; }
int32_t ScreenX(Engine3D& e, int32_t i) { return ObjectScreenInfo(e, e.pools.objects[i].render_record).x; }
int32_t ScreenY(Engine3D& e, int32_t i) { return ObjectScreenInfo(e, e.pools.objects[i].render_record).y; }
int32_t InScreen(Engine3D& e, int32_t i) { return ObjectScreenInfo(e, e.pools.objects[i].render_record).in_screen; }

template <FloatOf Get>
void FnObjectFloat(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index != 0) vm.SetFloat(result, Get(*e, index));
}

template <IntegerOf Get>
void FnObjectInteger(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index != 0) vm.SetInt(result, Get(*e, index));
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
  table.Set(7501, FnMeshExist);
  table.Set(7511, FnObjectExist);
  table.Set(7512, FnObjectFloat<PositionX>);  // object position x
  table.Set(7513, FnObjectFloat<PositionY>);  // object position y
  table.Set(7514, FnObjectFloat<PositionZ>);  // object position z
  table.Set(7515, FnObjectFloat<AngleX>);  // object angle x
  table.Set(7516, FnObjectFloat<AngleY>);  // object angle y
  table.Set(7517, FnObjectFloat<AngleZ>);  // object angle z
  table.Set(7518, FnObjectInteger<Visible>);  // object visible
  table.Set(7661, FnObjectFloat<BoundRadius>);  // object bound radius
  table.Set(7662, FnObjectFloat<BoundCentreX>);  // object bound centre x
  table.Set(7663, FnObjectFloat<BoundCentreY>);  // object bound centre y
  table.Set(7664, FnObjectFloat<BoundCentreZ>);  // object bound centre z
  table.Set(7671, FnObjectFloat<CullRadius>);  // object cull radius
  table.Set(7672, FnObjectInteger<ScreenX>);  // object screen x
  table.Set(7673, FnObjectInteger<ScreenY>);  // object screen y
  table.Set(7674, FnObjectInteger<InScreen>);  // object in screen
  table.Set(7675, FnStatistic);
  table.Set(7676, FnObjectFloat<SizeX>);  // object size x
  table.Set(7677, FnObjectFloat<SizeY>);  // object size y
  table.Set(7678, FnObjectFloat<SizeZ>);  // object size z
}

}  // namespace zv
