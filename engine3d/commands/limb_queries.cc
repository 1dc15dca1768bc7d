#include "engine3d/commands/limb_queries.h"

#include <string>

#include "engine3d/commands/limb_checks.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/render/render_states.h"

namespace zv {
namespace {

namespace op {
constexpr int kLimbExist = 7521;
constexpr int kLimbExtraValue = 7522;
constexpr int kLimbTexture = 7523;
constexpr int kLimbOffsetX = 7524;
constexpr int kLimbOffsetY = 7525;
constexpr int kLimbOffsetZ = 7526;
constexpr int kLimbAngleX = 7527;
constexpr int kLimbAngleY = 7528;
constexpr int kLimbAngleZ = 7529;
constexpr int kLimbPositionX = 7533;
constexpr int kLimbPositionY = 7534;
constexpr int kLimbPositionZ = 7535;
constexpr int kLimbVisible = 7536;
constexpr int kLimbDirectionX = 7537;
constexpr int kLimbDirectionY = 7538;
constexpr int kLimbDirectionZ = 7539;
constexpr int kLimbName = 7540;
}  // namespace op

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
  q.index = ExistingObjectLimb(vm, q.e, number, q.limb, &q.record);
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
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  const int32_t index = ExistingObject(vm, *e, number);
  if (index == 0) return;
  const LimbRecord* l = e->pools.objects[index].Limb(limb);
  if (!l) return vm.RunError(limb_error::kNumber);
  vm.SetInt(result, l->in_use == 1 ? 1 : 0);
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
  table.Set(op::kLimbExist, FnLimbExist);
  table.Set(op::kLimbExtraValue, FnLimbInteger<ExtraValue>);
  table.Set(op::kLimbTexture, FnLimbInteger<TextureImage>);
  table.Set(op::kLimbOffsetX, FnLimbFloat<OffsetX>);
  table.Set(op::kLimbOffsetY, FnLimbFloat<OffsetY>);
  table.Set(op::kLimbOffsetZ, FnLimbFloat<OffsetZ>);
  table.Set(op::kLimbAngleX, FnLimbFloat<AngleX>);
  table.Set(op::kLimbAngleY, FnLimbFloat<AngleY>);
  table.Set(op::kLimbAngleZ, FnLimbFloat<AngleZ>);
  table.Set(op::kLimbPositionX, FnLimbFloat<PositionX>);
  table.Set(op::kLimbPositionY, FnLimbFloat<PositionY>);
  table.Set(op::kLimbPositionZ, FnLimbFloat<PositionZ>);
  table.Set(op::kLimbVisible, FnLimbInteger<Visible>);
  table.Set(op::kLimbDirectionX, FnLimbFloat<DirectionX>);
  table.Set(op::kLimbDirectionY, FnLimbFloat<DirectionY>);
  table.Set(op::kLimbDirectionZ, FnLimbFloat<DirectionZ>);
  table.Set(op::kLimbName, FnLimbName);
}

}  // namespace zv
