#include "audio/library/mix_routines.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio/library/audio_error.h"
#include "audio/library/channel.h"
#include "audio/library/sample.h"

namespace zv {
namespace {

int32_t g_ramp_length = 128;

// Entry i: i * 32767 / 127 below 128, (i - 256) * 32768 / 128 from 128.
const std::array<float, 256>& Sample8Table() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> t{};
    for (int i = 0; i < 256; ++i) t[static_cast<size_t>(i)] = i < 128 ? i * 32767.0f / 127.0f : (i - 256) * 256.0f;
    return t;
  }();
  return table;
}

constexpr float kFractionScale = 1.0f / 4294967296.0f;

// Reads value `channel` of frame `index` of a sample as a float on the
// 16-bit scale.
template <int Bits, int Channels>
struct Reader {
  const void* data;
  float operator()(int64_t index, int channel) const {
    if constexpr (Bits == 16) {
      return static_cast<const int16_t*>(data)[index * Channels + channel];
    } else {
      return Sample8Table()[static_cast<const uint8_t*>(data)[index * Channels + channel]];
    }
  }
};

// Mixes `count` frames of one voice into `out`, moving `pos` by `step` each
// frame; gains move by their deltas each frame when Ramp is set.
template <int Bits, int Channels, bool Ramp>
void MixRun(float* out, const void* data, int64_t& pos, int64_t step, int32_t count, float gl, float gr, float dgl,
            float dgr) {
  const Reader<Bits, Channels> read{data};
  for (int32_t i = 0; i < count; ++i) {
    const int64_t index = pos >> 32;
    const float frac = static_cast<float>(static_cast<uint32_t>(pos)) * kFractionScale;
    if constexpr (Channels == 1) {
      const float s0 = read(index, 0);
      const float s = s0 + (read(index + 1, 0) - s0) * frac;
      out[0] += s * gl;
      out[1] += s * gr;
    } else {
      const float l0 = read(index, 0);
      const float r0 = read(index, 1);
      out[0] += (l0 + (read(index + 1, 0) - l0) * frac) * gl;
      out[1] += (r0 + (read(index + 1, 1) - r0) * frac) * gr;
    }
    out += 2;
    pos += step;
    if constexpr (Ramp) {
      gl += dgl;
      gr += dgr;
    }
  }
}

using RunFn = void (*)(float*, const void*, int64_t&, int64_t, int32_t, float, float, float, float);

RunFn PickRun(const SampleRecord& s, bool ramp) {
  const bool stereo = s.layout == 0x40;
  if (s.bits == 16) {
    if (stereo) return ramp ? MixRun<16, 2, true> : MixRun<16, 2, false>;
    return ramp ? MixRun<16, 1, true> : MixRun<16, 1, false>;
  }
  if (stereo) return ramp ? MixRun<8, 2, true> : MixRun<8, 2, false>;
  return ramp ? MixRun<8, 1, true> : MixRun<8, 1, false>;
}

// Frames until `distance` (32.32) is covered at `step`, rounded up.
int64_t FramesToCover(int64_t distance, int64_t step) { return distance / step + (distance % step != 0 ? 1 : 0); }

// Starts, continues or ends the gain ramp toward the targets; true while a
// ramp runs.
bool UpdateRamp(SoftwareVoice& v, int32_t target_left, int32_t target_right) {
  if (v.ramp_count > 0 && v.ramp_target_left == target_left && v.ramp_target_right == target_right) return true;
  if (v.ramp_left == target_left * 256 && v.ramp_right == target_right * 256) {
    v.ramp_count = 0;
    v.ramp_step_left = v.ramp_step_right = 0;
    return false;
  }
  const float length = static_cast<float>(g_ramp_length);
  v.ramp_step_left = static_cast<float>(target_left * 256 - v.ramp_left) / length;
  v.ramp_step_right = static_cast<float>(target_right * 256 - v.ramp_right) / length;
  v.ramp_count = g_ramp_length;
  v.ramp_target_left = target_left;
  v.ramp_target_right = target_right;
  return true;
}

void MixVoice(float* out, ChannelRecord& channel, int32_t frames) {
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
    const bool ramping = count > 0 && UpdateRamp(v, target_left, target_right);
    if (ramping) count = std::min<int64_t>(count, v.ramp_count);
    const bool at_boundary = count == to_boundary;
    const int64_t signed_step = backward ? -step : step;
    const float invert = v.surround ? -1.0f : 1.0f;

    if (count > 0) {
      const int32_t n = static_cast<int32_t>(count);
      if (ramping) {
        const float gl = static_cast<float>(v.ramp_left) / (256.0f * 255.0f);
        const float gr = static_cast<float>(v.ramp_right) / (256.0f * 255.0f);
        const float dgl = v.ramp_step_left / (256.0f * 255.0f);
        const float dgr = v.ramp_step_right / (256.0f * 255.0f);
        PickRun(*s, true)(out + done * 2, s->data, pos, signed_step, n, gl, gr * invert, dgl, dgr * invert);
        v.ramp_count -= n;
        if (v.ramp_count <= 0) {
          v.ramp_count = 0;
          v.ramp_step_left = v.ramp_step_right = 0;
          v.ramp_left = v.ramp_target_left * 256;
          v.ramp_right = v.ramp_target_right * 256;
        } else {
          v.ramp_left += static_cast<int32_t>(std::lround(v.ramp_step_left * static_cast<float>(n)));
          v.ramp_right += static_cast<int32_t>(std::lround(v.ramp_step_right * static_cast<float>(n)));
        }
      } else if (target_left == 0 && target_right == 0) {
        pos += signed_step * count;
      } else {
        const float gl = static_cast<float>(target_left) / 255.0f;
        const float gr = static_cast<float>(target_right) / 255.0f * invert;
        PickRun(*s, false)(out + done * 2, s->data, pos, signed_step, n, gl, gr, 0, 0);
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

}  // namespace

float Sample8ToFloat(uint8_t byte) { return Sample8Table()[byte]; }

bool SelectMixer(int32_t mixer_type, int32_t mix_rate) {
  // Every type (4 the best available, 5 and 8 float, 6 and 7 the saturating
  // kinds) is served by the one portable float family.
  if (mixer_type < 4 || mixer_type > 8) {
    SetAudioError(audio_error::kDeviceSetup);
    return false;
  }
  g_ramp_length = std::max(1, mix_rate * 128 / 44100);
  (void)Sample8Table();
  return true;
}

int32_t RampLength() { return g_ramp_length; }

void MixVoices(float* buffer, VoiceLink& list, int32_t frames, float* send) {
  if (buffer == nullptr || frames <= 0) return;
  const size_t values = static_cast<size_t>(frames) * 2;
  for (VoiceLink* link = list.next; link != &list; link = link->next) {
    ChannelRecord& channel = *static_cast<ChannelRecord*>(link);
    const float gain = channel.voice.reverb_send;
    if (send == nullptr || !(gain > 0.0f) || channel.voice.sample == nullptr || channel.paused) {
      MixVoice(buffer, channel, frames);
      continue;
    }
    // The voice alone first, so that it can go both ways.
    thread_local std::vector<float> alone;
    alone.assign(values, 0.0f);
    MixVoice(alone.data(), channel, frames);
    for (size_t i = 0; i < values; ++i) {
      buffer[i] += alone[i];
      send[i] += alone[i] * gain;
    }
  }
}

void ClearFrames(float* buffer, int32_t frames) {
  if (buffer && frames > 0) std::memset(buffer, 0, static_cast<size_t>(frames) * 2 * sizeof(float));
}

void ClipCopyFrames(int16_t* destination, const float* buffer, int32_t frames) {
  if (destination == nullptr || buffer == nullptr || frames <= 0) return;
  for (int32_t i = 0; i < frames * 2; ++i) {
    const float v = std::nearbyint(buffer[i]);
    // Written so that a NaN from a program's unit comes out as -32768.
    destination[i] = static_cast<int16_t>(v >= 32767.0f ? 32767 : v > -32768.0f ? static_cast<int32_t>(v) : -32768);
  }
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
