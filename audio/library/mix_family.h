#pragma once

#include <cstdint>

#include "audio/library/sample.h"

namespace zv {

// What a family's inner loop gets for one run of frames of one voice: the
// gains as ramp values (24.8 fixed point of a 0..255 gain, so a steady
// gain g is g x 256), their change per frame while a ramp runs, and the
// surround voice's inverted right side.
struct RunGains {
  int32_t left = 0;
  int32_t right = 0;
  float step_left = 0;
  float step_right = 0;
  bool ramp = false;
  bool invert_right = false;
};

// Calls `loop.template operator()<Bits, Channels, Ramp>()` for a sample's
// bits and channels and whether a ramp runs: a family's inner loop is made
// for each of them.
template <typename Loop>
void CallForFormat(const SampleRecord& sample, bool ramp, Loop&& loop) {
  const bool stereo = sample.layout == sample_mode::kStereo;
  auto with_ramp = [&]<int Bits, int Channels>() {
    if (ramp) {
      loop.template operator()<Bits, Channels, true>();
    } else {
      loop.template operator()<Bits, Channels, false>();
    }
  };
  if (sample.bits == 16) {
    stereo ? with_ramp.template operator()<16, 2>() : with_ramp.template operator()<16, 1>();
  } else {
    stereo ? with_ramp.template operator()<8, 2>() : with_ramp.template operator()<8, 1>();
  }
}

// The float family (mixer types 5 and 8): work frames of two floats on the
// 16-bit scale; voices are added as floats and rounded only at output.
struct FloatFamily {
  using Value = float;

  // The change per frame (24.8 units) of a ramp from `from` to `target`
  // (both 24.8) over `length` frames.
  static float RampStep(int32_t from, int32_t target, int32_t length);
  // A ramp value `frames` frames on.
  static int32_t AdvanceRamp(int32_t value, float step, int32_t frames);
  // Mixes `count` frames of `sample` from `position` (32.32, moved by
  // `step` each frame) into `out`.
  static void Run(float* out, const SampleRecord& sample, int64_t& position, int64_t step, int32_t count,
                  const RunGains& gains);
  static float Add(float a, float b) { return a + b; }

  static void Clear(float* buffer, int32_t frames);
  // Rounds to nearest and clips to 16-bit stereo (left in the low half).
  static void ClipCopy(int16_t* destination, const float* buffer, int32_t frames);
  static void AddFloat(float* buffer, const float* left_right, int32_t frames, float scale);
  static void AddInt16(float* buffer, const int16_t* left_right, int32_t frames);
};

// The saturating family (mixer types 6 and 7): work frames of two 16-bit
// values. A gain is a 16-bit factor (gain x 256) of which the product keeps
// the high 16 bits; 8-bit samples are widened by x 256; interpolation uses
// the top 15 bits of the position's fraction; ramps step in whole 24.8
// units; every voice is added with 16-bit saturation in list order, so the
// work buffer already holds the output.
struct SaturatingFamily {
  using Value = int16_t;

  static float RampStep(int32_t from, int32_t target, int32_t length);
  static int32_t AdvanceRamp(int32_t value, float step, int32_t frames);
  static void Run(int16_t* out, const SampleRecord& sample, int64_t& position, int64_t step, int32_t count,
                  const RunGains& gains);
  static int16_t Add(int16_t a, int16_t b);

  static void Clear(int16_t* buffer, int32_t frames);
  static void ClipCopy(int16_t* destination, const int16_t* buffer, int32_t frames);
  static void AddFloat(int16_t* buffer, const float* left_right, int32_t frames, float scale);
  static void AddInt16(int16_t* buffer, const int16_t* left_right, int32_t frames);
};

}  // namespace zv
