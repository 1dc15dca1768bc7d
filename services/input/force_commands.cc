#include "services/input/force_commands.h"

#include "services/input/input_commands.h"
#include "services/input/input_devices.h"

namespace zv {
namespace {

namespace op = input_opcode;

constexpr int32_t kNoForceFeedback = 4101;
constexpr int32_t kBadMagnitude = 4102;
constexpr int32_t kBadDuration = 4103;
constexpr int32_t kBadAngle = 4104;

// Each check raises its error and answers false; a command makes them in
// its own order and stops at the first that fails, its operands already
// read.
bool Check(Vm& vm, bool ok, int32_t error) {
  if (!ok) vm.RunError(error);
  return ok;
}
bool ForceFeedbackReady(Vm& vm, InputDevices& devices) {
  return Check(vm, devices.ForceFeedback(), kNoForceFeedback);
}
bool MagnitudeOk(Vm& vm, int32_t magnitude) { return Check(vm, magnitude >= 0 && magnitude <= 100, kBadMagnitude); }
bool DurationOk(Vm& vm, int32_t duration) { return Check(vm, duration >= 0, kBadDuration); }
bool AngleOk(Vm& vm, int32_t angle) { return Check(vm, angle >= 0 && angle <= 360, kBadAngle); }

// A command only drives effects that exist; the control device made them
// all when it was chosen.
template <int kDirection>
void CmdForceDirection(Vm& vm) {
  const int32_t magnitude = vm.NextInt();
  InputDevices& devices = DevicesOf(vm);
  if (!ForceFeedbackReady(vm, devices) || !MagnitudeOk(vm, magnitude)) return;
  ForceEffects& effects = devices.Effects();
  if (!effects.Exists(ForceEffects::kPushUp + kDirection - 1)) return;
  effects.PlayDirectionalForce(devices.ControlDevice(), kDirection, magnitude, true);
}

void CmdForceAngle(Vm& vm) {
  const int32_t magnitude = vm.NextInt();
  const int32_t angle = vm.NextInt();
  const int32_t duration = vm.NextInt();
  InputDevices& devices = DevicesOf(vm);
  if (!ForceFeedbackReady(vm, devices) || !MagnitudeOk(vm, magnitude) || !AngleOk(vm, angle) ||
      !DurationOk(vm, duration))
    return;
  ForceEffects& effects = devices.Effects();
  if (!effects.Exists(ForceEffects::kAngledPush)) return;
  effects.PlayAngleForce(devices.ControlDevice(), magnitude, angle, duration, true);
}

using TimedPlay = bool (ForceEffects::*)(platform::Joystick*, int32_t, int32_t, bool);

// The commands of a magnitude and a duration.
template <int kSlot, int kOtherSlot, TimedPlay kPlay>
void CmdForceTimed(Vm& vm) {
  const int32_t magnitude = vm.NextInt();
  const int32_t duration = vm.NextInt();
  InputDevices& devices = DevicesOf(vm);
  if (!ForceFeedbackReady(vm, devices) || !MagnitudeOk(vm, magnitude) || !DurationOk(vm, duration)) return;
  ForceEffects& effects = devices.Effects();
  if (!effects.Exists(kSlot) || !effects.Exists(kOtherSlot)) return;
  (effects.*kPlay)(devices.ControlDevice(), magnitude, duration, true);
}

void CmdForceStopAll(Vm& vm) {
  InputDevices& devices = DevicesOf(vm);
  if (!ForceFeedbackReady(vm, devices)) return;
  devices.Effects().StopAll();
}

template <bool kOn>
void CmdForceAutoCenter(Vm& vm) {
  InputDevices& devices = DevicesOf(vm);
  if (!ForceFeedbackReady(vm, devices)) return;
  platform::Joystick* device = devices.ControlDevice();
  if (!device) return;
  device->Unacquire();
  device->SetAutoCenter(kOn);
  device->Acquire();
}

}  // namespace

void RegisterForceFeedbackHandlers(HandlerTable& t) {
  using E = ForceEffects;
  t.Set(op::kForceUp, CmdForceDirection<1>);
  t.Set(op::kForceDown, CmdForceDirection<2>);
  t.Set(op::kForceLeft, CmdForceDirection<3>);
  t.Set(op::kForceRight, CmdForceDirection<4>);
  t.Set(op::kForceAngle, CmdForceAngle);
  t.Set(op::kForcePeriodic50Ms, CmdForceTimed<E::kVibration50Ms, E::kVibration50Ms, &E::PlayPeriodicForce50Ms>);
  t.Set(op::kForceConstantTimed, CmdForceTimed<E::kTimedPush, E::kTimedPush, &E::PlayTimedConstantForce>);
  t.Set(op::kForcePeriodic100Ms, CmdForceTimed<E::kVibration100Ms, E::kVibration100Ms, &E::PlayPeriodicForce100Ms>);
  t.Set(op::kForceStopAll, CmdForceStopAll);
  t.Set(op::kForceDamper, CmdForceTimed<E::kDamperFirstHalf, E::kDamperSecondHalf, &E::PlayDamperForce>);
  t.Set(op::kForceAutoCenterOn, CmdForceAutoCenter<true>);
  t.Set(op::kForceAutoCenterOff, CmdForceAutoCenter<false>);
}

}  // namespace zv
