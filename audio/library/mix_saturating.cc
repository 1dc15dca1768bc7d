// The saturating family's inner loops: 16-bit fixed-point arithmetic with
// saturating adds, as on processors whose mixer adds packed 16-bit words.
#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "audio/library/mix_family.h"

namespace zv {
namespace {

int16_t Saturate(int32_t value) { return static_cast<int16_t>(std::clamp(value, -32768, 32767)); }

// Value `channel` of frame `index` on the 16-bit scale: 8-bit values are
// widened by x 256.
template <int Bits, int Channels>
int32_t Read(const void* data, int64_t index, int channel) {
  if constexpr (Bits == 16) {
    return static_cast<const int16_t*>(data)[index * Channels + channel];
  } else {
    return static_cast<const int8_t*>(data)[index * Channels + channel] * 256;
  }
}

// Linear interpolation with a 15-bit weight: the difference of two 16-bit
// values times the weight still fits 32 bits.
int32_t Interpolate(int32_t s0, int32_t s1, int32_t weight) { return s0 + (((s1 - s0) * weight) >> 15); }

// The high 16 bits of a value times a gain factor (0..65280, negative for
// an inverted side): the value times gain / 256, rounded down.
int32_t ApplyGain(int32_t value, int32_t factor) { return (value * factor) >> 16; }

// The scalar loop: any number of frames, on any processor.
template <int Bits, int Channels, bool Ramp>
void MixFrames(int16_t* out, const void* data, int64_t& pos, int64_t step, int32_t count, int32_t& gl, int32_t& gr,
               int32_t dgl, int32_t dgr) {
  for (int32_t i = 0; i < count; ++i) {
    const int64_t index = pos >> 32;
    const auto weight = static_cast<int32_t>(static_cast<uint32_t>(pos) >> 17);
    int32_t left = Interpolate(Read<Bits, Channels>(data, index, 0), Read<Bits, Channels>(data, index + 1, 0), weight);
    int32_t right = left;
    if constexpr (Channels == 2)
      right = Interpolate(Read<Bits, Channels>(data, index, 1), Read<Bits, Channels>(data, index + 1, 1), weight);
    out[0] = Saturate(out[0] + ApplyGain(left, gl));
    out[1] = Saturate(out[1] + ApplyGain(right, gr));
    out += 2;
    pos += step;
    if constexpr (Ramp) {
      gl += dgl;
      gr += dgr;
    }
  }
}

#if defined(__SSE2__)
// Four frames at a time in 16-bit lanes, with the same arithmetic: the
// loop stops short of the last count % 4 frames and returns how many it
// mixed.

// A position's frame pair (this frame's value, the next one's) widened to
// 16 bits, in the low and high half of a 32-bit word.
template <int Bits>
uint32_t MonoPair(const void* data, int64_t index) {
  if constexpr (Bits == 16) {
    uint32_t pair;
    std::memcpy(&pair, static_cast<const int16_t*>(data) + index, sizeof pair);
    return pair;
  } else {
    uint16_t bytes;
    std::memcpy(&bytes, static_cast<const int8_t*>(data) + index, sizeof bytes);
    // Each byte in the high half of its 16-bit value: x 256.
    return (uint32_t{bytes} & 0xffu) << 8 | (uint32_t{bytes} & 0xff00u) << 16;
  }
}

// A stereo frame and the next as pairs: (left, next left), (right, next right).
template <int Bits>
__m128i StereoPairs(const void* data, int64_t index) {
  __m128i frames;
  if constexpr (Bits == 16) {
    frames = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(static_cast<const int16_t*>(data) + index * 2));
  } else {
    int32_t bytes;
    std::memcpy(&bytes, static_cast<const int8_t*>(data) + index * 2, sizeof bytes);
    frames = _mm_unpacklo_epi8(_mm_setzero_si128(), _mm_cvtsi32_si128(bytes));
  }
  return _mm_shufflelo_epi16(frames, _MM_SHUFFLE(3, 1, 2, 0));
}

// Weight pairs (-w, w) for 32-bit lanes whose positions have the fractions
// given: multiplied into a pair and summed, they give (next - this) x w.
__m128i WeightPairs(uint32_t f3, uint32_t f2, uint32_t f1, uint32_t f0) {
  const __m128i w = _mm_srli_epi32(_mm_set_epi32(static_cast<int32_t>(f3), static_cast<int32_t>(f2),
                                                 static_cast<int32_t>(f1), static_cast<int32_t>(f0)),
                                   17);
  const __m128i negative = _mm_and_si128(_mm_sub_epi32(_mm_setzero_si128(), w), _mm_set1_epi32(0xffff));
  return _mm_or_si128(_mm_slli_epi32(w, 16), negative);
}

__m128i InterpolatePairs(__m128i pairs, __m128i weights) {
  const __m128i first = _mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16);
  return _mm_add_epi32(first, _mm_srai_epi32(_mm_madd_epi16(pairs, weights), 15));
}

// High 16 bits of value x factor. Factors of a plain voice run to 65280 and
// are unsigned: where the signed multiply read one as negative (factor -
// 65536), it took value x 65536 too much, that is value in the high half.
// A surround voice's factors are signed and within +-32512.
template <bool SignedFactors>
__m128i MultiplyHigh(__m128i values, __m128i factors) {
  const __m128i high = _mm_mulhi_epi16(values, factors);
  if constexpr (SignedFactors) return high;
  return _mm_add_epi16(high, _mm_and_si128(values, _mm_srai_epi16(factors, 15)));
}

int16_t Lane(int32_t value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

template <int Bits, int Channels, bool Ramp, bool SignedFactors>
int32_t MixFourFrames(int16_t* out, const void* data, int64_t& pos, int64_t step, int32_t count, int32_t gl, int32_t gr,
                      int32_t dgl, int32_t dgr) {
  // Factors of four frames, left and right; a ramp moves them by four steps
  // a turn (16-bit lanes wrap, but every factor itself fits).
  __m128i factors = _mm_setr_epi16(Lane(gl), Lane(gr), Lane(gl + dgl), Lane(gr + dgr), Lane(gl + 2 * dgl),
                                   Lane(gr + 2 * dgr), Lane(gl + 3 * dgl), Lane(gr + 3 * dgr));
  const __m128i factor_step = _mm_setr_epi16(Lane(4 * dgl), Lane(4 * dgr), Lane(4 * dgl), Lane(4 * dgr), Lane(4 * dgl),
                                             Lane(4 * dgr), Lane(4 * dgl), Lane(4 * dgr));
  int32_t done = 0;
  for (; done + 4 <= count; done += 4) {
    const int64_t p0 = pos, p1 = p0 + step, p2 = p1 + step, p3 = p2 + step;
    const auto f0 = static_cast<uint32_t>(p0), f1 = static_cast<uint32_t>(p1);
    const auto f2 = static_cast<uint32_t>(p2), f3 = static_cast<uint32_t>(p3);
    __m128i values;
    if constexpr (Channels == 1) {
      const __m128i pairs = _mm_set_epi32(
          static_cast<int32_t>(MonoPair<Bits>(data, p3 >> 32)), static_cast<int32_t>(MonoPair<Bits>(data, p2 >> 32)),
          static_cast<int32_t>(MonoPair<Bits>(data, p1 >> 32)), static_cast<int32_t>(MonoPair<Bits>(data, p0 >> 32)));
      const __m128i mono = InterpolatePairs(pairs, WeightPairs(f3, f2, f1, f0));
      const __m128i packed = _mm_packs_epi32(mono, mono);
      values = _mm_unpacklo_epi16(packed, packed);
    } else {
      const __m128i first = _mm_unpacklo_epi64(StereoPairs<Bits>(data, p0 >> 32), StereoPairs<Bits>(data, p1 >> 32));
      const __m128i second = _mm_unpacklo_epi64(StereoPairs<Bits>(data, p2 >> 32), StereoPairs<Bits>(data, p3 >> 32));
      values = _mm_packs_epi32(InterpolatePairs(first, WeightPairs(f1, f1, f0, f0)),
                               InterpolatePairs(second, WeightPairs(f3, f3, f2, f2)));
    }
    auto* at = reinterpret_cast<__m128i*>(out + 2 * done);
    _mm_storeu_si128(at, _mm_adds_epi16(_mm_loadu_si128(at), MultiplyHigh<SignedFactors>(values, factors)));
    pos = p3 + step;
    if constexpr (Ramp) factors = _mm_add_epi16(factors, factor_step);
  }
  return done;
}
#endif

// Whether every factor of a run lies in lo..hi (a ramp moves in a line, so
// its ends tell).
bool FactorsWithin(int32_t lo, int32_t hi, int32_t gl, int32_t gr, int32_t dgl, int32_t dgr, int32_t count) {
  const int32_t last_left = gl + (count - 1) * dgl;
  const int32_t last_right = gr + (count - 1) * dgr;
  return std::min({gl, gr, last_left, last_right}) >= lo && std::max({gl, gr, last_left, last_right}) <= hi;
}

template <int Bits, int Channels, bool Ramp>
void MixRun(int16_t* out, const void* data, int64_t& pos, int64_t step, int32_t count, int32_t gl, int32_t gr,
            int32_t dgl, int32_t dgr) {
  int32_t done = 0;
#if defined(__SSE2__)
  // A plain voice's factors are unsigned 16-bit ones, a surround voice's
  // (one side inverted) signed ones; a ramp from one kind to the other
  // stays on the scalar loop.
  if (count >= 4) {
    if (FactorsWithin(0, 65535, gl, gr, dgl, dgr, count)) {
      done = MixFourFrames<Bits, Channels, Ramp, false>(out, data, pos, step, count, gl, gr, dgl, dgr);
    } else if (FactorsWithin(-32768, 32767, gl, gr, dgl, dgr, count)) {
      done = MixFourFrames<Bits, Channels, Ramp, true>(out, data, pos, step, count, gl, gr, dgl, dgr);
    }
  }
  if constexpr (Ramp) {
    gl += done * dgl;
    gr += done * dgr;
  }
#endif
  MixFrames<Bits, Channels, Ramp>(out + 2 * done, data, pos, step, count - done, gl, gr, dgl, dgr);
}

}  // namespace

float SaturatingFamily::RampStep(int32_t from, int32_t target, int32_t length) {
  // A whole number of 24.8 units, so the ramp moves in integer steps.
  return static_cast<float>((target - from) / length);
}

int32_t SaturatingFamily::AdvanceRamp(int32_t value, float step, int32_t frames) {
  return value + static_cast<int32_t>(step) * frames;
}

void SaturatingFamily::Run(int16_t* out, const SampleRecord& sample, int64_t& position, int64_t step, int32_t count,
                           const RunGains& gains) {
  const int32_t sign = gains.invert_right ? -1 : 1;
  const int32_t gl = gains.left;
  const int32_t gr = gains.right * sign;
  const int32_t dgl = gains.ramp ? static_cast<int32_t>(gains.step_left) : 0;
  const int32_t dgr = gains.ramp ? static_cast<int32_t>(gains.step_right) * sign : 0;
  CallForFormat(sample, gains.ramp, [&]<int Bits, int Channels, bool Ramp>() {
    MixRun<Bits, Channels, Ramp>(out, sample.data, position, step, count, gl, gr, dgl, dgr);
  });
}

int16_t SaturatingFamily::Add(int16_t a, int16_t b) { return Saturate(int32_t{a} + b); }

void SaturatingFamily::Clear(int16_t* buffer, int32_t frames) {
  if (buffer && frames > 0) std::memset(buffer, 0, static_cast<size_t>(frames) * 2 * sizeof(int16_t));
}

void SaturatingFamily::ClipCopy(int16_t* destination, const int16_t* buffer, int32_t frames) {
  if (destination == nullptr || buffer == nullptr || frames <= 0) return;
  std::memcpy(destination, buffer, static_cast<size_t>(frames) * 2 * sizeof(int16_t));
}

void SaturatingFamily::AddFloat(int16_t* buffer, const float* left_right, int32_t frames, float scale) {
  for (int32_t i = 0; i < 2 * frames; ++i) {
    // Beyond +-65536 the sum saturates whatever the buffer holds; a NaN adds nothing.
    const float v = std::nearbyint(left_right[i] * scale);
    const int32_t add = v >= 65536.0f ? 65536 : v > -65536.0f ? static_cast<int32_t>(v) : v < 0.0f ? -65536 : 0;
    buffer[i] = Saturate(buffer[i] + add);
  }
}

void SaturatingFamily::AddInt16(int16_t* buffer, const int16_t* left_right, int32_t frames) {
  for (int32_t i = 0; i < 2 * frames; ++i) buffer[i] = Add(buffer[i], left_right[i]);
}

}  // namespace zv
