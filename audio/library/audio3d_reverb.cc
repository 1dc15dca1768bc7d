// The 3D device driver's reverb: the device's room, set through the two
// sets of the library's reverb interface. The four-value set chooses one of
// the 26 environments and its level, decay time and damping; the
// thirteen-value set reaches the room's reflections and late reverberation
// as well. Choosing an environment takes its whole room; the values given
// with it then change that room. A value outside the set's range is refused
// and ends the set, the values before it staying in force. Only hardware
// channels ring in the room, each as much as its reverb mix says.
#include <cmath>

#include "audio/library/audio3d_driver.h"
#include "audio/library/audio_error.h"
#include "audio/library/reverb.h"
#include "audio/library/volume_table.h"

namespace zv {
namespace {

constexpr int32_t kEnvironmentCount = 26;

bool LeftAlone(int32_t v) { return v == kReverbLeaveUnchanged; }
bool LeftAlone(float v) { return v == kReverbLeaveUnchangedFloat; }
bool InRange(float v, float lo, float hi) { return v >= lo && v <= hi; }

// A room's size gives the density of its echoes: a room of 2.5 metres and
// more is at full density.
float DensityOfSize(float size) { return std::fmin(size * size * size / 16.0f, 1.0f); }
float SizeOfDensity(float density) { return std::cbrt(density * 16.0f); }

void ChooseEnvironment(Audio3DDriverState& d, int32_t environment) {
  d.room = d.device->EnvironmentRoom(environment);
  d.environment = environment;
  d.environment_size = SizeOfDensity(d.room.density);
}

// Runs the steps of a set in order: a step whose value is the leave mark
// is passed over, one whose value is refused ends the set.
class SetSteps {
 public:
  template <typename Value, typename Apply>
  void Step(Value value, bool valid, Apply apply) {
    if (!ok_ || LeftAlone(value)) return;
    if (!valid) {
      ok_ = false;
      return;
    }
    apply();
  }
  bool Ok() const { return ok_; }

 private:
  bool ok_ = true;
};

bool SetRoomReverb(int32_t environment, float volume, float decay_time, float damping) {
  if ((environment < 0 || environment >= kEnvironmentCount) && !LeftAlone(environment)) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  Audio3DDriverState& d = Audio3D();
  Audio3DGuard guard(d.lock);
  if (d.reverb_version == 0 || !d.device) {
    SetAudioError(audio_error::kNoPropertySet);
    return false;
  }
  platform::RoomReverb& room = d.room;
  SetSteps steps;
  steps.Step(environment, true, [&] { ChooseEnvironment(d, environment); });
  steps.Step(volume, InRange(volume, 0.0f, 1.0f), [&] { room.gain = volume; });
  steps.Step(decay_time, InRange(decay_time, 0.1f, 20.0f), [&] { room.decay_time = decay_time; });
  // Damping shortens the highs against the decay; the room's shortest is a
  // tenth of it.
  steps.Step(damping, InRange(damping, 0.0f, 2.0f), [&] { room.decay_hf_ratio = std::fmax(damping, 0.1f); });
  const bool applied = d.device->SetRoom(room);
  return steps.Ok() && applied;
}

bool GetRoomReverb(int32_t* environment, float* volume, float* decay_time, float* damping) {
  Audio3DDriverState& d = Audio3D();
  Audio3DGuard guard(d.lock);
  if (d.reverb_version == 0) {
    SetAudioError(audio_error::kNoPropertySet);
    return false;
  }
  if (environment) *environment = d.environment;
  if (volume) *volume = d.room.gain;
  if (decay_time) *decay_time = d.room.decay_time;
  if (damping) *damping = d.room.decay_hf_ratio;
  return true;
}

bool NeedDetailed(const Audio3DDriverState& d) {
  if (d.reverb_version == 2 && d.device) return true;
  SetAudioError(audio_error::kPropertyUnsupported);
  return false;
}

bool SetRoomDetailed(const ReverbProperties& p) {
  Audio3DDriverState& d = Audio3D();
  Audio3DGuard guard(d.lock);
  if (!NeedDetailed(d)) return false;
  platform::RoomReverb& room = d.room;
  SetSteps steps;
  steps.Step(p.environment, p.environment >= 0 && p.environment < kEnvironmentCount,
             [&] { ChooseEnvironment(d, p.environment); });
  steps.Step(p.room, InRange(p.room, -10000, 0), [&] { room.gain = MillibelsToGain(p.room); });
  steps.Step(p.room_hf, InRange(p.room_hf, -10000, 0), [&] { room.gain_hf = MillibelsToGain(p.room_hf); });
  steps.Step(p.room_rolloff, InRange(p.room_rolloff, 0.0f, 10.0f), [&] { room.room_rolloff_factor = p.room_rolloff; });
  steps.Step(p.decay_time, InRange(p.decay_time, 0.1f, 20.0f), [&] { room.decay_time = p.decay_time; });
  steps.Step(p.decay_hf_ratio, InRange(p.decay_hf_ratio, 0.1f, 2.0f), [&] { room.decay_hf_ratio = p.decay_hf_ratio; });
  steps.Step(p.reflections, InRange(p.reflections, -10000, 1000),
             [&] { room.reflections_gain = MillibelsToGain(p.reflections); });
  steps.Step(p.reflections_delay, InRange(p.reflections_delay, 0.0f, 0.3f),
             [&] { room.reflections_delay = p.reflections_delay; });
  steps.Step(p.reverb, InRange(p.reverb, -10000, 2000), [&] { room.late_reverb_gain = MillibelsToGain(p.reverb); });
  steps.Step(p.reverb_delay, InRange(p.reverb_delay, 0.0f, 0.1f), [&] { room.late_reverb_delay = p.reverb_delay; });
  steps.Step(p.environment_size, InRange(p.environment_size, 1.0f, 100.0f), [&] {
    d.environment_size = p.environment_size;
    room.density = DensityOfSize(p.environment_size);
  });
  steps.Step(p.environment_diffusion, InRange(p.environment_diffusion, 0.0f, 1.0f),
             [&] { room.diffusion = p.environment_diffusion; });
  steps.Step(p.air_absorption_hf, InRange(p.air_absorption_hf, -100.0f, 0.0f),
             [&] { room.air_absorption_gain_hf = MillibelsToGain(static_cast<int32_t>(std::lround(p.air_absorption_hf))); });
  const bool applied = d.device->SetRoom(room);
  if (steps.Ok() && applied) return true;
  SetAudioError(audio_error::kPropertyUnsupported);
  return false;
}

bool GetRoomDetailed(ReverbProperties* p) {
  Audio3DDriverState& d = Audio3D();
  Audio3DGuard guard(d.lock);
  if (!NeedDetailed(d)) return false;
  if (p == nullptr) return true;
  const platform::RoomReverb& room = d.room;
  p->environment = d.environment;
  p->room = GainToMillibels(room.gain);
  p->room_hf = GainToMillibels(room.gain_hf);
  p->room_rolloff = room.room_rolloff_factor;
  p->decay_time = room.decay_time;
  p->decay_hf_ratio = room.decay_hf_ratio;
  p->reflections = GainToMillibels(room.reflections_gain);
  p->reflections_delay = room.reflections_delay;
  p->reverb = GainToMillibels(room.late_reverb_gain);
  p->reverb_delay = room.late_reverb_delay;
  p->environment_size = d.environment_size;
  p->environment_diffusion = room.diffusion;
  p->air_absorption_hf = static_cast<float>(GainToMillibels(room.air_absorption_gain_hf));
  return true;
}

// What the device's room can do: the basic model takes the four-value set,
// the extended one both.
bool ProbeRoom() {
  Audio3DDriverState& d = Audio3D();
  Audio3DGuard guard(d.lock);
  d.reverb_version = 0;
  if (!d.device) return false;
  switch (d.device->Room()) {
    case platform::RoomSupport::kNone:
      return false;
    case platform::RoomSupport::kBasic:
      d.reverb_version = 1;
      break;
    case platform::RoomSupport::kExtended:
      d.reverb_version = 2;
      break;
  }
  SilenceAudio3DReverb();
  return true;
}

}  // namespace

void SilenceAudio3DReverb() { SetRoomReverb(0, 0.0f, 0.0f, 0.0f); }

bool SetHardwareChannelReverbMix(ChannelRecord& c, float mix) {
  Audio3DDriverState& d = Audio3D();
  Audio3DGuard guard(d.lock);
  auto* voice = static_cast<platform::Voice3D*>(c.driver_data);
  if (voice == nullptr) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  if (d.reverb_version == 0) {
    SetAudioError(audio_error::kNoPropertySet);
    return false;
  }
  return voice->SetRoomSend(ReverbSendGain(mix));
}

void FillAudio3DReverbSlots(OutputDriver& driver) {
  driver.probe_reverb_support = ProbeRoom;
  driver.set_reverb = SetRoomReverb;
  driver.set_reverb_detailed = SetRoomDetailed;
  driver.get_reverb = GetRoomReverb;
  driver.get_reverb_detailed = GetRoomDetailed;
}

}  // namespace zv
