#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "platform/input/input.h"

namespace zv {

// How long an effect plays, in microseconds, for the milliseconds a program
// gives (0: until stopped). The timed rule adds 50 ms to the whole time; the
// angled rule keeps whole seconds only and adds 50 ms to them.
uint32_t TimedEffectDuration(int32_t milliseconds);
uint32_t AngledEffectDuration(int32_t milliseconds);

// The ten force-feedback effects of the control device. Each keeps its last
// parameters; a play updates it (or makes it on the device when its slot is
// empty) and, when asked, starts it. Magnitudes are 0..100, angles degrees,
// durations milliseconds.
class ForceEffects {
 public:
  // The slots, numbered as programs and the log of a device see them.
  enum Slot : int {
    kPushUp = 1,
    kPushDown,
    kPushLeft,
    kPushRight,
    kAngledPush,
    kVibration50Ms,
    kTimedPush,
    kVibration100Ms,
    kDamperFirstHalf,
    kDamperSecondHalf,
  };
  static constexpr int kSlotCount = 10;

  // Each returns false when its effect could not be made or updated. The
  // device may be null; a missing effect then cannot be made.
  // `direction` 1..4: up, down, left, right.
  bool PlayDirectionalForce(platform::Joystick* device, int direction, int32_t magnitude, bool start);
  bool PlayAngleForce(platform::Joystick* device, int32_t magnitude, int32_t angle, int32_t duration, bool start);
  bool PlayPeriodicForce50Ms(platform::Joystick* device, int32_t magnitude, int32_t duration, bool start);
  bool PlayTimedConstantForce(platform::Joystick* device, int32_t magnitude, int32_t duration, bool start);
  bool PlayPeriodicForce100Ms(platform::Joystick* device, int32_t magnitude, int32_t duration, bool start);
  // Both halves of the damper.
  bool PlayDamperForce(platform::Joystick* device, int32_t magnitude, int32_t duration, bool start);

  // Makes every effect on a newly chosen device, unstarted, with its first
  // parameters (full magnitude; the angled push at 0 degrees and the timed
  // effects for 100 ms; the damper without end).
  void CreateAll(platform::Joystick& device);

  bool Exists(int slot) const { return slot >= 1 && slot <= kSlotCount && slots_[slot - 1] != nullptr; }
  // Stops every effect that exists.
  void StopAll();
  // Releases every effect; all slots are empty afterwards.
  void ReleaseAll();

 private:
  struct Request {
    int slot;
    platform::EffectParams params;
  };
  bool Play(platform::Joystick* device, const Request* requests, int count, bool start);
  // Updates the slot's effect, or makes it on the device.
  platform::EffectResult Store(platform::Joystick* device, const Request& request);
  // Starts the slot's effect; one the device did not take in is made again.
  void Begin(platform::Joystick* device, const Request& request, platform::EffectResult stored);
  bool PlayVibration(platform::Joystick* device, int slot, int32_t magnitude, int32_t duration, uint32_t period_us,
                     bool start);

  std::array<std::unique_ptr<platform::ForceEffect>, kSlotCount> slots_;
};

}  // namespace zv
