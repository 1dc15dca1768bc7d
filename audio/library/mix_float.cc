// The float family's inner loops.
#include <array>
#include <cmath>
#include <cstring>

#include "audio/library/mix_family.h"
#include "audio/library/mix_routines.h"

namespace zv {
namespace {

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
constexpr float kRampScale = 256.0f * 255.0f;  // a 24.8 ramp value to a 0..1 gain

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

// Gains move by their deltas each frame when Ramp is set.
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

}  // namespace

float Sample8ToFloat(uint8_t byte) { return Sample8Table()[byte]; }

float FloatFamily::RampStep(int32_t from, int32_t target, int32_t length) {
  return static_cast<float>(target - from) / static_cast<float>(length);
}

int32_t FloatFamily::AdvanceRamp(int32_t value, float step, int32_t frames) {
  return value + static_cast<int32_t>(std::lround(step * static_cast<float>(frames)));
}

void FloatFamily::Run(float* out, const SampleRecord& sample, int64_t& position, int64_t step, int32_t count,
                      const RunGains& gains) {
  const float invert = gains.invert_right ? -1.0f : 1.0f;
  const float gl = static_cast<float>(gains.left) / kRampScale;
  const float gr = static_cast<float>(gains.right) / kRampScale * invert;
  const float dgl = gains.ramp ? gains.step_left / kRampScale : 0.0f;
  const float dgr = gains.ramp ? gains.step_right / kRampScale * invert : 0.0f;
  CallForFormat(sample, gains.ramp, [&]<int Bits, int Channels, bool Ramp>() {
    MixRun<Bits, Channels, Ramp>(out, sample.data, position, step, count, gl, gr, dgl, dgr);
  });
}

void FloatFamily::Clear(float* buffer, int32_t frames) {
  if (buffer && frames > 0) std::memset(buffer, 0, static_cast<size_t>(frames) * 2 * sizeof(float));
}

void FloatFamily::ClipCopy(int16_t* destination, const float* buffer, int32_t frames) {
  if (destination == nullptr || buffer == nullptr || frames <= 0) return;
  for (int32_t i = 0; i < frames * 2; ++i) {
    const float v = std::nearbyint(buffer[i]);
    // Written so that a NaN from a program's unit comes out as -32768.
    destination[i] = static_cast<int16_t>(v >= 32767.0f ? 32767 : v > -32768.0f ? static_cast<int32_t>(v) : -32768);
  }
}

void FloatFamily::AddFloat(float* buffer, const float* left_right, int32_t frames, float scale) {
  for (int32_t i = 0; i < 2 * frames; ++i) buffer[i] += left_right[i] * scale;
}

void FloatFamily::AddInt16(float* buffer, const int16_t* left_right, int32_t frames) {
  for (int32_t i = 0; i < 2 * frames; ++i) buffer[i] += left_right[i];
}

}  // namespace zv
