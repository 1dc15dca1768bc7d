#include "services/input/force_effects.h"

#include <algorithm>
#include <vector>

namespace zv {
namespace {

using platform::DirectionKind;
using platform::EffectKind;
using platform::EffectParams;
using platform::EffectResult;
namespace change = platform::effect_change;

constexpr uint32_t kPushMicroseconds = 100000;
constexpr uint32_t kShortPeriodUs = 50000;
constexpr uint32_t kLongPeriodUs = 100000;
constexpr int32_t kFullMagnitude = 100;
constexpr int32_t kFirstDuration = 100;  // milliseconds
constexpr uint32_t kFullSaturation = 10000;
constexpr double kExtraSeconds = 0.05;

// A computed duration that does not fit 32-bit microseconds plays as long as
// one can, rather than wrapping round to a short push.
uint32_t Microseconds(double seconds) {
  const double us = seconds * 1000000.0;
  if (!(us > 0.0)) return 0;
  if (us >= static_cast<double>(platform::kInfiniteDuration)) return platform::kInfiniteDuration - 1;
  return static_cast<uint32_t>(us);
}

int32_t Scaled(int32_t value, int32_t factor) {
  return static_cast<int32_t>(static_cast<int64_t>(value) * factor);
}

// Polar directions: where the force comes from, in hundredths of a degree.
int32_t PushDirection(int direction) {
  switch (direction) {
    case 1: return 18000;  // from the south: the stick goes forward
    case 2: return 0;
    case 3: return 9000;  // from the east: the stick goes left
    case 4: return 27000;
  }
  return 0;
}

EffectParams Push(int32_t polar_direction, int32_t magnitude, uint32_t duration_us) {
  EffectParams p;
  p.kind = EffectKind::kConstant;
  p.direction_kind = DirectionKind::kPolar;
  p.direction = {polar_direction, 0};
  p.duration_us = duration_us;
  p.constant.magnitude = Scaled(magnitude, 100);
  return p;
}

EffectParams Vibration(EffectKind kind, int32_t magnitude, uint32_t duration_us, uint32_t period_us) {
  EffectParams p;
  p.kind = kind;
  p.direction_kind = DirectionKind::kPolar;
  p.direction = {0, 0};
  p.duration_us = duration_us;
  p.periodic.magnitude = static_cast<uint32_t>(Scaled(magnitude, 100));
  p.periodic.period_us = period_us;
  return p;
}

EffectParams DamperHalf(int32_t magnitude, uint32_t duration_us, int32_t towards) {
  EffectParams p;
  p.kind = EffectKind::kDamper;
  p.direction_kind = DirectionKind::kCartesian;
  p.direction = {towards, towards};
  p.duration_us = duration_us;
  p.condition.positive_coefficient = Scaled(magnitude, 50);
  p.condition.positive_saturation = kFullSaturation;
  return p;
}

// What an update changes besides the type-specific parameters: the pushes
// keep their durations, the vibrations and the damper their directions.
uint32_t ChangesOf(int slot) {
  uint32_t changes = change::kTypeSpecific | change::kStart;
  if (slot <= ForceEffects::kAngledPush || slot == ForceEffects::kTimedPush) changes |= change::kDirection;
  if (slot >= ForceEffects::kAngledPush) changes |= change::kDuration;
  return changes;
}

bool Taken(EffectResult result) { return result == EffectResult::kOk || result == EffectResult::kNotDownloaded; }

}  // namespace

uint32_t TimedEffectDuration(int32_t milliseconds) {
  if (milliseconds == 0) return platform::kInfiniteDuration;
  return Microseconds(milliseconds / 1000.0 + kExtraSeconds);
}

uint32_t AngledEffectDuration(int32_t milliseconds) {
  if (milliseconds == 0) return platform::kInfiniteDuration;
  const int32_t whole_seconds = milliseconds / 1000;
  return Microseconds(whole_seconds + kExtraSeconds);
}

EffectResult ForceEffects::Store(platform::Joystick* device, const Request& request) {
  std::unique_ptr<platform::ForceEffect>& effect = slots_[request.slot - 1];
  if (effect) return effect->SetParameters(request.params, ChangesOf(request.slot));
  if (!device) return EffectResult::kFailed;
  return device->CreateEffect(request.params, &effect);
}

void ForceEffects::Begin(platform::Joystick* device, const Request& request, EffectResult stored) {
  std::unique_ptr<platform::ForceEffect>& effect = slots_[request.slot - 1];
  if (!effect) return;
  effect->Start(1);
  if (stored != EffectResult::kNotDownloaded) return;
  effect.reset();
  if (device && Taken(device->CreateEffect(request.params, &effect)) && effect) effect->Start(1);
}

bool ForceEffects::Play(platform::Joystick* device, const Request* requests, int count, bool start) {
  EffectResult stored[2] = {EffectResult::kFailed, EffectResult::kFailed};
  for (int i = 0; i < count; ++i) {
    stored[i] = Store(device, requests[i]);
    if (!Taken(stored[i])) return false;
  }
  if (start)
    for (int i = 0; i < count; ++i) Begin(device, requests[i], stored[i]);
  return true;
}

bool ForceEffects::PlayDirectionalForce(platform::Joystick* device, int direction, int32_t magnitude, bool start) {
  if (direction < 1 || direction > 4) return false;
  const Request r{kPushUp + direction - 1, Push(PushDirection(direction), magnitude, kPushMicroseconds)};
  return Play(device, &r, 1, start);
}

bool ForceEffects::PlayAngleForce(platform::Joystick* device, int32_t magnitude, int32_t angle, int32_t duration,
                                  bool start) {
  const Request r{kAngledPush, Push(Scaled(angle, 100), magnitude, AngledEffectDuration(duration))};
  return Play(device, &r, 1, start);
}

bool ForceEffects::PlayTimedConstantForce(platform::Joystick* device, int32_t magnitude, int32_t duration,
                                          bool start) {
  const Request r{kTimedPush, Push(0, magnitude, TimedEffectDuration(duration))};
  return Play(device, &r, 1, start);
}

bool ForceEffects::PlayVibration(platform::Joystick* device, int slot, int32_t magnitude, int32_t duration,
                                 uint32_t period_us, bool start) {
  // The device's first periodic kind, whatever its wave.
  std::vector<EffectKind> kinds;
  if (!device || !device->ListPeriodicKinds(&kinds) || kinds.empty()) return false;
  const Request r{slot, Vibration(kinds.front(), magnitude, TimedEffectDuration(duration), period_us)};
  return Play(device, &r, 1, start);
}

bool ForceEffects::PlayPeriodicForce50Ms(platform::Joystick* device, int32_t magnitude, int32_t duration,
                                         bool start) {
  return PlayVibration(device, kVibration50Ms, magnitude, duration, kShortPeriodUs, start);
}

bool ForceEffects::PlayPeriodicForce100Ms(platform::Joystick* device, int32_t magnitude, int32_t duration,
                                          bool start) {
  return PlayVibration(device, kVibration100Ms, magnitude, duration, kLongPeriodUs, start);
}

bool ForceEffects::PlayDamperForce(platform::Joystick* device, int32_t magnitude, int32_t duration, bool start) {
  const uint32_t us = TimedEffectDuration(duration);
  const Request halves[2] = {{kDamperFirstHalf, DamperHalf(magnitude, us, 1)},
                             {kDamperSecondHalf, DamperHalf(magnitude, us, -1)}};
  return Play(device, halves, 2, start);
}

void ForceEffects::CreateAll(platform::Joystick& device) {
  for (int direction = 1; direction <= 4; ++direction) PlayDirectionalForce(&device, direction, kFullMagnitude, false);
  PlayAngleForce(&device, kFullMagnitude, 0, kFirstDuration, false);
  PlayPeriodicForce50Ms(&device, kFullMagnitude, kFirstDuration, false);
  PlayTimedConstantForce(&device, kFullMagnitude, kFirstDuration, false);
  PlayPeriodicForce100Ms(&device, kFullMagnitude, kFirstDuration, false);
  PlayDamperForce(&device, kFullMagnitude, 0, false);
}

void ForceEffects::StopAll() {
  for (auto& effect : slots_)
    if (effect) effect->Stop();
}

void ForceEffects::ReleaseAll() {
  for (auto& effect : slots_) effect.reset();
}

}  // namespace zv
