#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "audio/library/channel.h"
#include "audio/library/mix_routines.h"
#include "audio/library/sample.h"

namespace zv::test {

// The mixing routine of each family written the plain way, one frame at a
// time: boundary, ramp, interpolation and add checked every frame. The
// mixer's runs, its four-frame loops and their tails must agree with it.
class ReferenceMixer {
 public:
  ReferenceMixer(bool saturating, int32_t ramp_length) : saturating_(saturating), ramp_length_(ramp_length) {}

  // Mixes one voice into `frames` work frames (floats or 16-bit values as
  // the family has them), moving its state as the mixer would; marks in
  // `ramped` (one byte a frame) the frames in which its gains ramped.
  void MixVoice(void* out, ChannelRecord& channel, int32_t frames, uint8_t* ramped) const {
    SoftwareVoice& v = channel.voice;
    const SampleRecord* s = v.sample;
    if (s == nullptr || s->data == nullptr || channel.paused || s->length < 1) return;
    const int64_t loop_start = int64_t{s->loop_start} << 32;
    const int64_t loop_end = (int64_t{s->loop_start} + s->loop_length) << 32;
    const int64_t step = (int64_t{v.step_int} << 32) | v.step_frac;
    int64_t pos = (int64_t{v.position} << 32) | v.fraction;
    // The float family's ramp gains move as floats, 24.8 units a frame.
    float ramp_left = static_cast<float>(v.ramp_left), ramp_right = static_cast<float>(v.ramp_right);

    bool playing = CrossBoundaries(v, pos, loop_start, loop_end);
    for (int32_t i = 0; playing && i < frames; ++i) {
      int32_t target_left = v.mute ? 0 : v.left_gain;
      int32_t target_right = v.mute ? 0 : v.right_gain;
      if (v.surround && !v.mute) target_left = target_right = v.half_volume;
      if (!(v.ramp_count > 0 && v.ramp_target_left == target_left && v.ramp_target_right == target_right)) {
        v.ramp_count = 0;
        if (v.ramp_left != target_left * 256 || v.ramp_right != target_right * 256)
          StartRamp(v, target_left, target_right);
        ramp_left = static_cast<float>(v.ramp_left);
        ramp_right = static_cast<float>(v.ramp_right);
      }
      const bool ramping = v.ramp_count > 0;
      ramped[i] |= ramping ? 1 : 0;
      if (ramping || target_left != 0 || target_right != 0) {
        const int32_t left = ramping ? v.ramp_left : target_left * 256;
        const int32_t right = ramping ? v.ramp_right : target_right * 256;
        AddFrame(out, i, *s, pos, ramping ? ramp_left : static_cast<float>(left),
                 ramping ? ramp_right : static_cast<float>(right), left, right, v.surround != 0);
      }
      pos += v.direction == 2 ? -step : step;
      if (ramping) {
        ramp_left += v.ramp_step_left;
        ramp_right += v.ramp_step_right;
        // Whole 24.8 steps in the saturating family; the float family's
        // ramp value is its float gain rounded.
        v.ramp_left = saturating_ ? v.ramp_left + static_cast<int32_t>(v.ramp_step_left)
                                  : static_cast<int32_t>(std::lround(ramp_left));
        v.ramp_right = saturating_ ? v.ramp_right + static_cast<int32_t>(v.ramp_step_right)
                                   : static_cast<int32_t>(std::lround(ramp_right));
        if (--v.ramp_count == 0) {
          v.ramp_step_left = v.ramp_step_right = 0;
          v.ramp_left = target_left * 256;
          v.ramp_right = target_right * 256;
        }
      }
      playing = CrossBoundaries(v, pos, loop_start, loop_end);
    }
    v.position = static_cast<uint32_t>(pos >> 32);
    v.fraction = static_cast<uint32_t>(pos);
  }

 private:
  void StartRamp(SoftwareVoice& v, int32_t target_left, int32_t target_right) const {
    const float length = static_cast<float>(ramp_length_);
    const int32_t to_left = target_left * 256 - v.ramp_left;
    const int32_t to_right = target_right * 256 - v.ramp_right;
    v.ramp_step_left = saturating_ ? static_cast<float>(to_left / ramp_length_) : static_cast<float>(to_left) / length;
    v.ramp_step_right =
        saturating_ ? static_cast<float>(to_right / ramp_length_) : static_cast<float>(to_right) / length;
    v.ramp_count = ramp_length_;
    v.ramp_target_left = target_left;
    v.ramp_target_right = target_right;
  }

  // Loops, turns or ends the voice while its position is at or beyond the
  // end of the loop in its direction; false once the voice has ended.
  static bool CrossBoundaries(SoftwareVoice& v, int64_t& pos, int64_t loop_start, int64_t loop_end) {
    for (;;) {
      const bool backward = v.direction == 2;
      if (backward ? pos > loop_start : pos < loop_end) return true;
      if (v.loop_mode == kLoopModeNormal) {
        while (pos >= loop_end) pos -= loop_end - loop_start;
      } else if (v.loop_mode == kLoopModeBidi) {
        pos = backward ? 2 * loop_start - pos : 2 * loop_end - pos;
        if (backward && pos >= loop_end) pos = 2 * loop_end - pos;
        if (!backward && pos < loop_start) pos = 2 * loop_start - pos;
        pos = std::clamp(pos, loop_start, loop_end - 1);
        v.direction = backward ? 1 : 2;
      } else {
        pos = 0;
        v.sample = nullptr;
        v.sounding = 0;
        return false;
      }
    }
  }

  // Value `channel` of the sample at `pos`, interpolated as the family does.
  float FloatValue(const SampleRecord& s, int64_t pos, int channel) const {
    const int channels = s.layout == sample_mode::kStereo ? 2 : 1;
    const int64_t at = (pos >> 32) * channels + channel;
    const float frac = static_cast<float>(static_cast<uint32_t>(pos)) * (1.0f / 4294967296.0f);
    auto read = [&](int64_t i) {
      return s.bits == 16 ? static_cast<float>(reinterpret_cast<const int16_t*>(s.data)[i]) : Sample8ToFloat(s.data[i]);
    };
    return read(at) + (read(at + channels) - read(at)) * frac;
  }
  int32_t IntValue(const SampleRecord& s, int64_t pos, int channel) const {
    const int channels = s.layout == sample_mode::kStereo ? 2 : 1;
    const int64_t at = (pos >> 32) * channels + channel;
    const auto weight = static_cast<int32_t>(static_cast<uint32_t>(pos) >> 17);
    auto read = [&](int64_t i) {
      return s.bits == 16 ? int32_t{reinterpret_cast<const int16_t*>(s.data)[i]}
                          : int32_t{reinterpret_cast<const int8_t*>(s.data)[i]} * 256;
    };
    return read(at) + (((read(at + channels) - read(at)) * weight) >> 15);
  }

  void AddFrame(void* out, int32_t frame, const SampleRecord& s, int64_t pos, float float_left, float float_right,
                int32_t left, int32_t right, bool surround) const {
    const int right_channel = s.layout == sample_mode::kStereo ? 1 : 0;
    if (saturating_) {
      int16_t* o = static_cast<int16_t*>(out) + 2 * frame;
      const int32_t factor_right = surround ? -right : right;
      o[0] = static_cast<int16_t>(std::clamp(o[0] + ((IntValue(s, pos, 0) * left) >> 16), -32768, 32767));
      o[1] = static_cast<int16_t>(
          std::clamp(o[1] + ((IntValue(s, pos, right_channel) * factor_right) >> 16), -32768, 32767));
    } else {
      float* o = static_cast<float*>(out) + 2 * frame;
      const float sign = surround ? -1.0f : 1.0f;
      o[0] += FloatValue(s, pos, 0) * (float_left / (256.0f * 255.0f));
      o[1] += FloatValue(s, pos, right_channel) * (float_right / (256.0f * 255.0f) * sign);
    }
  }

  bool saturating_;
  int32_t ramp_length_;
};

}  // namespace zv::test
