#include "engine3d/commands/limb_queries.h"

#include <string>

#include "engine3d/commands/limb_checks.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/render/render_states.h"

namespace zv {
namespace {

// The names are cut to what fits the 256-byte buffer they pass through.
constexpr size_t kLongestName = 255;

// The operands of a limb query: the result slot, then the checked object
// and limb (index 0 after raising).
struct LimbQuery {
  Slot result;
  Engine3D* e = nullptr;
  int32_t index = 0;
  int32_t limb = 0;
  LimbRecord* record = nullptr;
};

LimbQuery ReadLimbQuery(Vm& vm) {
  LimbQuery q;
  q.result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  q.limb = vm.NextInt();
  const FoundLimb found = CheckedLimb(vm, number, q.limb);
  q.e = found.e;
  q.index = found.index;
  q.record = found.l;
  return q;
}

// The limb's world data, brought up to date for the object's placement.
const LimbRecord& WorldData(const LimbQuery& q) {
  UpdateLimbWorldData(*q.e, q.index, true);
  return *q.e->pools.objects[q.index].Limb(q.limb);
}

// Integer results.
int32_t ExtraValue(const LimbQuery& q) { return q.record->extra; }
int32_t TextureImage(const LimbQuery& q) { return q.record->image_number; }
int32_t Visible(const LimbQuery& q) { return q.record->shown; }

// Float results.
float OffsetX(const LimbQuery& q) { return q.record->offset.x; }
float OffsetY(const LimbQuery& q) { return q.record->offset.y; }
float OffsetZ(const LimbQuery& q) { return q.record->offset.z; }
float AngleX(const LimbQuery& q) { return q.record->angles.x; }
float AngleY(const LimbQuery& q) { return q.record->angles.y; }
float AngleZ(const LimbQuery& q) { return q.record->angles.z; }
float PositionX(const LimbQuery& q) { return WorldData(q).world_position.x; }
float PositionY(const LimbQuery& q) { return WorldData(q).world_position.y; }
float PositionZ(const LimbQuery& q) { return WorldData(q).world_position.z; }
float DirectionX(const LimbQuery& q) { return WorldData(q).world_angles.x * kRadiansToDegrees; }
float DirectionY(const LimbQuery& q) { return WorldData(q).world_angles.y * kRadiansToDegrees; }
float DirectionZ(const LimbQuery& q) { return WorldData(q).world_angles.z * kRadiansToDegrees; }

template <int32_t (*Get)(const LimbQuery&)>
void FnLimbInteger(Vm& vm) {
  const LimbQuery q = ReadLimbQuery(vm);
  if (q.index != 0) vm.SetInt(q.result, Get(q));
}

template <float (*Get)(const LimbQuery&)>
void FnLimbFloat(Vm& vm) {
  const LimbQuery q = ReadLimbQuery(vm);
  if (q.index != 0) vm.SetFloat(q.result, Get(q));
}

// Only the limb number is checked against the slots: a slot not in use is
// a limb that does not exist.
void FnLimbExist(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  const int32_t limb = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  const LimbRecord* l = LimbSlot(vm, e->pools.objects[index], limb);
  if (l) vm.SetInt(result, l->in_use == 1 ? 1 : 0);
}

void FnLimbName(Vm& vm) {
  const LimbQuery q = ReadLimbQuery(vm);
  if (q.index == 0) return;
  std::string name;
  if (std::shared_ptr<ObjectModel> model = q.e->pools.objects[q.index].model) model->GetLimbName(q.limb, &name);
  if (name.size() > kLongestName) name.resize(kLongestName);
  vm.SetString(q.result, name);
}

}  // namespace

void RegisterLimbQueryHandlers(HandlerTable& table) {
  table.Set(7521, FnLimbExist);
  table.Set(7522, FnLimbInteger<ExtraValue>);  // limb extra value
  table.Set(7523, FnLimbInteger<TextureImage>);  // limb texture
  table.Set(7524, FnLimbFloat<OffsetX>);  // limb offset x
  table.Set(7525, FnLimbFloat<OffsetY>);  // limb offset y
  table.Set(7526, FnLimbFloat<OffsetZ>);  // limb offset z
  table.Set(7527, FnLimbFloat<AngleX>);  // limb angle x
  table.Set(7528, FnLimbFloat<AngleY>);  // limb angle y
  table.Set(7529, FnLimbFloat<AngleZ>);  // limb angle z
  table.Set(7533, FnLimbFloat<PositionX>);  // limb position x
  table.Set(7534, FnLimbFloat<PositionY>);  // limb position y
  table.Set(7535, FnLimbFloat<PositionZ>);  // limb position z
  table.Set(7536, FnLimbInteger<Visible>);  // limb visible
  table.Set(7537, FnLimbFloat<DirectionX>);  // limb direction x
  table.Set(7538, FnLimbFloat<DirectionY>);  // limb direction y
  table.Set(7539, FnLimbFloat<DirectionZ>);  // limb direction z
  table.Set(7540, FnLimbName);
}

}  // namespace zv
