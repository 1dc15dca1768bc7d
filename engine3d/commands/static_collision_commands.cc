#include "engine3d/commands/static_collision_commands.h"

#include "engine3d/commands/command_checks.h"
#include "engine3d/scene/static_scene.h"

namespace zv {
namespace {

// The previous box and the new box (minimum and maximum corners each):
// 1 when the new box meets a collision box, the push-out kept.
void FnStaticBoxCollision(Vm& vm) {
  const Slot result = vm.NextSlot();
  const Vector3f previous_min = NextVector(vm);
  const Vector3f previous_max = NextVector(vm);
  const Vector3f new_min = NextVector(vm);
  const Vector3f new_max = NextVector(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  vm.SetInt(result, StaticBoxCollision(e->static_scene, previous_min, previous_max, new_min, new_max,
                                       &e->collision.static_box_result));
}

// A cube of half-size radius moved from start to end in steps: 1 when it
// touches a collision box, where it stops kept.
void FnStaticLineCollision(Vm& vm) {
  const Slot result = vm.NextSlot();
  const Vector3f start = NextVector(vm);
  const Vector3f end = NextVector(vm);
  const float radius = vm.NextFloat();
  const float step = vm.NextFloat();
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  const int32_t contact = StaticLineCollision(e->static_scene, start, end, radius, step,
                                              &e->collision.static_line_result);
  vm.SetInt(result, contact > 0 ? 1 : 0);
}

template <Vector3f ObjectCollisionState::*Result, float Vector3f::*Axis>
void FnStaticResult(Vm& vm) {
  const Slot result = vm.NextSlot();
  if (Engine3D* e = FindEngine(vm)) vm.SetFloat(result, (e->collision.*Result).*Axis);
}

}  // namespace

void RegisterStaticCollisionHandlers(HandlerTable& table) {
  using S = ObjectCollisionState;
  table.Set(7571, FnStaticBoxCollision);
  table.Set(7572, FnStaticResult<&S::static_box_result, &Vector3f::x>);  // static box result x
  table.Set(7573, FnStaticResult<&S::static_box_result, &Vector3f::y>);  // static box result y
  table.Set(7574, FnStaticResult<&S::static_box_result, &Vector3f::z>);  // static box result z
  table.Set(7578, FnStaticLineCollision);
  table.Set(7579, FnStaticResult<&S::static_line_result, &Vector3f::x>);  // static line result x
  table.Set(7580, FnStaticResult<&S::static_line_result, &Vector3f::y>);  // static line result y
  table.Set(7581, FnStaticResult<&S::static_line_result, &Vector3f::z>);  // static line result z
}

}  // namespace zv
