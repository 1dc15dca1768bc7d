#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/render3d/pipeline.h"

// Texture sampling for the pixel stages: addressing, point and bilinear
// filtering, and the mip level of a pixel. Texel centres lie at half-integer
// texel coordinates: u = 0 is the left edge of texel 0, (i + 0.5) / width its
// centre.
namespace zv::platform::pipeline {

// Floor to an integer, kept within +-2^30 so that far-out coordinates stay
// defined (they only ever wrap, mirror or clamp).
inline int32_t FloorToInt(float f) {
  if (!(f > -1073741824.0f)) return -1073741824;  // also NaN
  if (f > 1073741824.0f) return 1073741824;
  int32_t i = static_cast<int32_t>(f);
  return static_cast<float>(i) > f ? i - 1 : i;
}

inline int32_t Address(int32_t i, int32_t size, uint32_t mode) {
  switch (mode) {
    case texture_address::kMirror: {
      int32_t m = i & (2 * size - 1);
      return m < size ? m : 2 * size - 1 - m;
    }
    case texture_address::kClamp: return i < 0 ? 0 : (i >= size ? size - 1 : i);
    default: return i & (size - 1);
  }
}

// A blend weight 0..255 from a fraction times 256, kept in range whatever
// the coordinate was (NaN gives 0).
inline uint32_t WeightOf(float frac256) {
  float w = frac256 > 0.0f ? frac256 : 0.0f;
  w = w < 255.0f ? w : 255.0f;
  return static_cast<uint32_t>(w);
}

// Blends two colours channel by channel, weight 0..256 for the second.
inline uint32_t LerpColour(uint32_t a, uint32_t b, uint32_t f) {
  uint32_t g = 256 - f;
  uint32_t rb = (((a & 0x00FF00FFu) * g + (b & 0x00FF00FFu) * f) >> 8) & 0x00FF00FFu;
  uint32_t ag = ((((a >> 8) & 0x00FF00FFu) * g + ((b >> 8) & 0x00FF00FFu) * f) >> 8) & 0x00FF00FFu;
  return rb | ag << 8;
}

inline uint32_t LerpByte(uint32_t a, uint32_t b, uint32_t f) { return (a * (256 - f) + b * f) >> 8; }

// The bilinear blend of four texels (x0/x1, y0/y1) with weights 0..255:
// down each column first, then across. The vector and the plain code do the
// same arithmetic, so both give the same bits.
inline uint32_t BlendFour(uint32_t t00, uint32_t t10, uint32_t t01, uint32_t t11, uint32_t fx, uint32_t fy) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  __m128i top = _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(t00)),
                                                     _mm_cvtsi32_si128(static_cast<int>(t10))), zero);
  __m128i bottom = _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(t01)),
                                                        _mm_cvtsi32_si128(static_cast<int>(t11))), zero);
  __m128i columns = _mm_srli_epi16(
      _mm_add_epi16(_mm_mullo_epi16(top, _mm_set1_epi16(static_cast<short>(256 - fy))),
                    _mm_mullo_epi16(bottom, _mm_set1_epi16(static_cast<short>(fy)))), 8);
  __m128i right = _mm_srli_si128(columns, 8);
  __m128i blended = _mm_srli_epi16(
      _mm_add_epi16(_mm_mullo_epi16(columns, _mm_set1_epi16(static_cast<short>(256 - fx))),
                    _mm_mullo_epi16(right, _mm_set1_epi16(static_cast<short>(fx)))), 8);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(blended, blended)));
#else
  return LerpColour(LerpColour(t00, t01, fy), LerpColour(t10, t11, fy), fx);
#endif
}

struct Texel {
  uint32_t argb;
  uint32_t coverage;  // 0..255; 255 when the texture is not colour-keyed
};

inline Texel SamplePoint(const SampledLevel& l, float u, float v, uint32_t address) {
  int32_t x = Address(FloorToInt(u * static_cast<float>(l.width)), l.width, address);
  int32_t y = Address(FloorToInt(v * static_cast<float>(l.height)), l.height, address);
  size_t i = (static_cast<size_t>(y) << l.width_shift) + static_cast<size_t>(x);
  return Texel{l.texels[i], l.coverage ? l.coverage[i] : 255u};
}

inline Texel SampleBilinear(const SampledLevel& l, float u, float v, uint32_t address) {
  float tx = u * static_cast<float>(l.width) - 0.5f;
  float ty = v * static_cast<float>(l.height) - 0.5f;
  int32_t ix = FloorToInt(tx), iy = FloorToInt(ty);
  uint32_t fx = WeightOf((tx - static_cast<float>(ix)) * 256.0f);
  uint32_t fy = WeightOf((ty - static_cast<float>(iy)) * 256.0f);
  size_t x0 = static_cast<size_t>(Address(ix, l.width, address));
  size_t x1 = static_cast<size_t>(Address(ix + 1, l.width, address));
  size_t y0 = static_cast<size_t>(Address(iy, l.height, address)) << l.width_shift;
  size_t y1 = static_cast<size_t>(Address(iy + 1, l.height, address)) << l.width_shift;
  const uint32_t* t = l.texels;
  Texel r{BlendFour(t[y0 + x0], t[y0 + x1], t[y1 + x0], t[y1 + x1], fx, fy), 255u};
  if (l.coverage) {
    const uint8_t* c = l.coverage;
    r.coverage = LerpByte(LerpByte(c[y0 + x0], c[y1 + x0], fy), LerpByte(c[y0 + x1], c[y1 + x1], fy), fx);
  }
  return r;
}

inline Texel SampleLevel(const SampledLevel& l, float u, float v, uint32_t address, bool linear) {
  return linear ? SampleBilinear(l, u, v, address) : SamplePoint(l, u, v, address);
}

// log2 of a positive float from its exponent and a straight line through
// the mantissa: exact at powers of two, within 0.09 between, and the same
// on every machine.
inline float FastLog2(float x) {
  uint32_t bits;
  std::memcpy(&bits, &x, 4);
  float exponent = static_cast<float>(static_cast<int32_t>((bits >> 23) & 0xFF) - 127);
  uint32_t mantissa_bits = (bits & 0x007FFFFFu) | 0x3F800000u;
  float mantissa;
  std::memcpy(&mantissa, &mantissa_bits, 4);
  return exponent + (mantissa - 1.0f);
}

// Samples with the level of detail `lambda` (log2 of texels per pixel on
// the first level): magnification at 0 or below, else minification with the
// mip filter.
inline Texel SampleWithLod(const SamplerState& s, float u, float v, float lambda) {
  const SampledLevel* levels = s.levels;
  if (!(lambda > 0.0f)) return SampleLevel(levels[0], u, v, s.address, s.mag_linear);
  const int32_t last = s.level_count - 1;
  if (s.mip == mip_filter::kNone || last == 0) return SampleLevel(levels[0], u, v, s.address, s.min_linear);
  if (s.mip == mip_filter::kPoint) {
    int32_t level = FloorToInt(lambda + 0.5f);
    if (level > last) level = last;
    return SampleLevel(levels[level], u, v, s.address, s.min_linear);
  }
  int32_t level = FloorToInt(lambda);
  if (level >= last) return SampleLevel(levels[last], u, v, s.address, s.min_linear);
  uint32_t f = WeightOf((lambda - static_cast<float>(level)) * 256.0f);
  Texel a = SampleLevel(levels[level], u, v, s.address, s.min_linear);
  Texel b = SampleLevel(levels[level + 1], u, v, s.address, s.min_linear);
  return Texel{LerpColour(a.argb, b.argb, f), LerpByte(a.coverage, b.coverage, f)};
}

}  // namespace zv::platform::pipeline
