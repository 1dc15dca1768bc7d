#include "engine3d/commands/light_queries.h"

#include "engine3d/engine.h"

namespace zv {
namespace {

// Integer answers also learn whether the number names a light (light 0
// always does).
int32_t Exists(const LightRecord&, bool named) { return named ? 1 : 0; }
int32_t Type(const LightRecord& r, bool) {
  return r.type == kPointLight || r.type == kSpotLight || r.type == kDirectionalLight ? r.type : 0;
}
int32_t Visible(const LightRecord& r, bool) { return r.shown == 1 ? 1 : 0; }
float PositionX(const LightRecord& r) { return r.position.x; }
float PositionY(const LightRecord& r) { return r.position.y; }
float PositionZ(const LightRecord& r) { return r.position.z; }
float DirectionX(const LightRecord& r) { return r.direction.x; }
float DirectionY(const LightRecord& r) { return r.direction.y; }
float DirectionZ(const LightRecord& r) { return r.direction.z; }
float Range(const LightRecord& r) { return r.range; }

// The record of light `number`: light 0 and every number without a light
// reach record 0, the default light. False for a number outside 0..65535,
// which no query answers.
bool FindLightRecord(Vm& vm, int32_t number, const LightRecord** record, int32_t* index) {
  if (!LightPool::InRange(number)) return false;
  Engine3D* e = FindEngine(vm);
  if (!e) return false;
  *index = number == 0 ? 0 : e->lights.ids.Get(number);
  *record = &e->lights.records[*index];
  return true;
}

template <int32_t (*Get)(const LightRecord&, bool)>
void FnLightInteger(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  const LightRecord* record;
  int32_t index;
  if (FindLightRecord(vm, number, &record, &index)) vm.SetInt(result, Get(*record, number == 0 || index >= 1));
}

template <float (*Get)(const LightRecord&)>
void FnLightFloat(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  const LightRecord* record;
  int32_t index;
  if (FindLightRecord(vm, number, &record, &index)) vm.SetFloat(result, Get(*record));
}

}  // namespace

void RegisterLightQueryHandlers(HandlerTable& table) {
  table.Set(7701, FnLightInteger<Exists>);  // light exist
  table.Set(7702, FnLightInteger<Type>);  // light type
  table.Set(7703, FnLightFloat<PositionX>);  // light position x
  table.Set(7704, FnLightFloat<PositionY>);  // light position y
  table.Set(7705, FnLightFloat<PositionZ>);  // light position z
  table.Set(7706, FnLightFloat<DirectionX>);  // light direction x
  table.Set(7707, FnLightFloat<DirectionY>);  // light direction y
  table.Set(7708, FnLightFloat<DirectionZ>);  // light direction z
  table.Set(7709, FnLightInteger<Visible>);  // light visible
  table.Set(7710, FnLightFloat<Range>);  // light range
}

}  // namespace zv
