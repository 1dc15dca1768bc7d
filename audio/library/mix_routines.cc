#include "audio/library/mix_routines.h"

#include <algorithm>
#include <vector>

#include "audio/library/audio_error.h"
#include "audio/library/channel.h"
#include "audio/library/mix_family.h"
#include "audio/library/sample.h"

namespace zv {
namespace {

// The chosen family's routines over untyped work frames.
struct MixRoutines {
  void (*mix)(void* buffer, VoiceLink& list, int32_t frames, float* send);
  void (*clear)(void* buffer, int32_t frames);
  void (*clip_copy)(int16_t* destination, const void* buffer, int32_t frames);
  void (*add_float)(void* buffer, const float* left_right, int32_t frames, float scale);
  void (*add_int16)(void* buffer, const int16_t* left_right, int32_t frames);
  int32_t frame_bytes;
};

int32_t g_ramp_length = 128;
int32_t g_mixer_type = 0;

// Frames until `distance` (32.32) is covered at `step`, rounded up.
int64_t FramesToCover(int64_t distance, int64_t step) { return distance / step + (distance % step != 0 ? 1 : 0); }

// Starts, continues or ends the gain ramp toward the targets (0..255); true
// while a ramp runs.
template <typename Family>
bool UpdateRamp(SoftwareVoice& v, int32_t target_left, int32_t target_right) {
  if (v.ramp_count > 0 && v.ramp_target_left == target_left && v.ramp_target_right == target_right) return true;
  if (v.ramp_left == target_left * 256 && v.ramp_right == target_right * 256) {
    v.ramp_count = 0;
    v.ramp_step_left = v.ramp_step_right = 0;
    return false;
  }
  v.ramp_step_left = Family::RampStep(v.ramp_left, target_left * 256, g_ramp_length);
  v.ramp_step_right = Family::RampStep(v.ramp_right, target_right * 256, g_ramp_length);
  v.ramp_count = g_ramp_length;
  v.ramp_target_left = target_left;
  v.ramp_target_right = target_right;
  return true;
}

// Moves a ramp `frames` frames on; at its end the values are the targets.
template <typename Family>
void AdvanceRamp(SoftwareVoice& v, int32_t frames) {
  v.ramp_count -= frames;
  if (v.ramp_count <= 0) {
    v.ramp_count = 0;
    v.ramp_step_left = v.ramp_step_right = 0;
    v.ramp_left = v.ramp_target_left * 256;
    v.ramp_right = v.ramp_target_right * 256;
  } else {
    v.ramp_left = Family::AdvanceRamp(v.ramp_left, v.ramp_step_left, frames);
    v.ramp_right = Family::AdvanceRamp(v.ramp_right, v.ramp_step_right, frames);
  }
}

// Mixes one voice into `frames` work frames: runs of frames up to the loop
// boundary in the voice's direction (or the ramp's end), then the loop,
// the turn or the end of the sound.
template <typename Family>
void MixVoice(typename Family::Value* out, ChannelRecord& channel, int32_t frames) {
  SoftwareVoice& v = channel.voice;
  SampleRecord* s = v.sample;
  if (s == nullptr || s->data == nullptr || channel.paused || s->length < 1) return;

  // The loop, kept inside the sample whatever its fields say.
  const int64_t first = std::clamp<int64_t>(s->loop_start, 0, s->length - 1);
  const int64_t last = std::clamp<int64_t>(static_cast<int64_t>(s->loop_start) + s->loop_length, first + 1, s->length);
  const int64_t loop_start = first << 32;
  const int64_t loop_end = last << 32;
  const int64_t loop_span = loop_end - loop_start;
  const int64_t step = std::max<int64_t>((static_cast<int64_t>(v.step_int) << 32) | v.step_frac, 1);

  int64_t pos = (static_cast<int64_t>(v.position) << 32) | v.fraction;
  int32_t done = 0;
  while (done < frames) {
    const bool backward = v.direction == 2;
    const int64_t distance = backward ? pos - loop_start : loop_end - pos;
    const int64_t to_boundary = distance > 0 ? FramesToCover(distance, step) : 0;
    int64_t count = std::min<int64_t>(frames - done, to_boundary);

    int32_t target_left = v.mute ? 0 : v.left_gain;
    int32_t target_right = v.mute ? 0 : v.right_gain;
    if (v.surround && !v.mute) target_left = target_right = v.half_volume;
    const bool ramping = count > 0 && UpdateRamp<Family>(v, target_left, target_right);
    if (ramping) count = std::min<int64_t>(count, v.ramp_count);
    const bool at_boundary = count == to_boundary;
    const int64_t signed_step = backward ? -step : step;

    if (count > 0) {
      const auto n = static_cast<int32_t>(count);
      RunGains gains;
      gains.invert_right = v.surround != 0;
      if (ramping) {
        gains.left = v.ramp_left;
        gains.right = v.ramp_right;
        gains.step_left = v.ramp_step_left;
        gains.step_right = v.ramp_step_right;
        gains.ramp = true;
        Family::Run(out + done * 2, *s, pos, signed_step, n, gains);
        AdvanceRamp<Family>(v, n);
      } else if (target_left == 0 && target_right == 0) {
        pos += signed_step * count;
      } else {
        gains.left = target_left * 256;
        gains.right = target_right * 256;
        Family::Run(out + done * 2, *s, pos, signed_step, n, gains);
      }
      done += n;
    }
    if (!at_boundary) continue;

    // The position reached (or passed) the end of the loop in its direction.
    if (v.loop_mode == kLoopModeNormal) {
      if (pos >= loop_end) pos -= ((pos - loop_end) / loop_span + 1) * loop_span;
      if (pos < loop_start) pos = loop_start;
    } else if (v.loop_mode == kLoopModeBidi) {
      if (backward) {
        pos = 2 * loop_start - pos;
        if (pos >= loop_end) pos = 2 * loop_end - pos;
        v.direction = 1;
      } else {
        pos = 2 * loop_end - pos;
        if (pos < loop_start) pos = 2 * loop_start - pos;
        v.direction = 2;
      }
      // A step longer than the loop could still land outside it.
      pos = std::clamp<int64_t>(pos, loop_start, loop_end - 1);
    } else {
      pos = 0;
      v.sample = nullptr;
      v.sounding = 0;
      break;
    }
  }
  v.position = static_cast<uint32_t>(pos >> 32);
  v.fraction = static_cast<uint32_t>(pos);
}

template <typename Family>
void MixList(void* buffer, VoiceLink& list, int32_t frames, float* send) {
  using Value = typename Family::Value;
  auto* out = static_cast<Value*>(buffer);
  const size_t values = static_cast<size_t>(frames) * 2;
  for (VoiceLink* link = list.next; link != &list; link = link->next) {
    ChannelRecord& channel = *static_cast<ChannelRecord*>(link);
    const float gain = channel.voice.reverb_send;
    if (send == nullptr || !(gain > 0.0f) || channel.voice.sample == nullptr || channel.paused) {
      MixVoice<Family>(out, channel, frames);
      continue;
    }
    // The voice alone first, so that it can go both ways; adding it then
    // gives what mixing it straight in would.
    thread_local std::vector<Value> alone;
    alone.assign(values, Value{0});
    MixVoice<Family>(alone.data(), channel, frames);
    for (size_t i = 0; i < values; ++i) {
      out[i] = Family::Add(out[i], alone[i]);
      send[i] += static_cast<float>(alone[i]) * gain;
    }
  }
}

template <typename Family>
constexpr MixRoutines RoutinesOf() {
  using Value = typename Family::Value;
  return MixRoutines{
      MixList<Family>,
      [](void* buffer, int32_t frames) { Family::Clear(static_cast<Value*>(buffer), frames); },
      [](int16_t* destination, const void* buffer, int32_t frames) {
        Family::ClipCopy(destination, static_cast<const Value*>(buffer), frames);
      },
      [](void* buffer, const float* left_right, int32_t frames, float scale) {
        Family::AddFloat(static_cast<Value*>(buffer), left_right, frames, scale);
      },
      [](void* buffer, const int16_t* left_right, int32_t frames) {
        Family::AddInt16(static_cast<Value*>(buffer), left_right, frames);
      },
      static_cast<int32_t>(2 * sizeof(Value)),
  };
}

constexpr MixRoutines kFloatRoutines = RoutinesOf<FloatFamily>();
constexpr MixRoutines kSaturatingRoutines = RoutinesOf<SaturatingFamily>();

const MixRoutines* g_routines = &kFloatRoutines;

}  // namespace

int32_t ResolveMixerType(int32_t type, const ProcessorFeatures& processor) {
  if (type == 4) type = 7;
  if (type == 7 && !processor.family6_or_later) type = 6;
  if ((type == 6 || type == 7) && !processor.has_mmx) type = 5;
  return type;
}

bool SelectMixer(int32_t mixer_type, int32_t mix_rate) {
  return SelectMixer(mixer_type, mix_rate, DetectProcessorFeatures());
}

bool SelectMixer(int32_t mixer_type, int32_t mix_rate, const ProcessorFeatures& processor) {
  const int32_t type = ResolveMixerType(mixer_type, processor);
  if (type == 5 || type == 8) {
    g_routines = &kFloatRoutines;
  } else if (type == 6 || type == 7) {
    g_routines = &kSaturatingRoutines;
  } else {
    SetAudioError(audio_error::kDeviceSetup);
    return false;
  }
  g_mixer_type = type;
  g_ramp_length = std::max(1, mix_rate * 128 / 44100);
  return true;
}

int32_t SelectedMixerType() { return g_mixer_type; }
int32_t WorkFrameBytes() { return g_routines->frame_bytes; }
int32_t RampLength() { return g_ramp_length; }

void MixVoices(void* buffer, VoiceLink& list, int32_t frames, float* send) {
  if (buffer == nullptr || frames <= 0) return;
  g_routines->mix(buffer, list, frames, send);
}

void ClearFrames(void* buffer, int32_t frames) { g_routines->clear(buffer, frames); }

void ClipCopyFrames(int16_t* destination, const void* buffer, int32_t frames) {
  g_routines->clip_copy(destination, buffer, frames);
}

void AddFloatFrames(void* buffer, const float* left_right, int32_t frames, float scale) {
  if (buffer && left_right && frames > 0) g_routines->add_float(buffer, left_right, frames, scale);
}

void AddInt16Frames(void* buffer, const int16_t* left_right, int32_t frames) {
  if (buffer && left_right && frames > 0) g_routines->add_int16(buffer, left_right, frames);
}

void ConvertInt32Frames(int16_t* destination, const int32_t* source, int32_t frames) {
  if (destination == nullptr || source == nullptr || frames <= 0) return;
  for (int32_t i = 0; i < frames * 2; ++i) destination[i] = static_cast<int16_t>(std::clamp(source[i], -32768, 32767));
}

int32_t BufferHasSound(const void* buffer, size_t bytes) {
  const auto* b = static_cast<const uint8_t*>(buffer);
  for (size_t i = 0; i < bytes; ++i) {
    if (b[i]) return 1;
  }
  return 0;
}

}  // namespace zv
