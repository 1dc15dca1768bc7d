#include "platform/render3d/span_shader.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/render3d/sampler.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zv::platform::pipeline {
namespace {

constexpr int kChunk = 64;

// Which texture path a span takes: none, a texture of one colour (no
// sampling at all), bilinear on one level (by addressing mode) or trilinear
// through the mip levels with wrapping, both without colour key (the common
// cases, kept tight), or everything else.
enum class TexPath { kNone, kUniform, kBilinearWrap, kBilinearMirror, kBilinearClamp, kTrilinearWrap, kGeneral };

constexpr uint32_t AddressOf(TexPath path) {
  return path == TexPath::kBilinearMirror  ? texture_address::kMirror
         : path == TexPath::kBilinearClamp ? texture_address::kClamp
                                           : texture_address::kWrap;
}

float Clamp01(float z) { return z < 0.0f ? 0.0f : (z > 1.0f ? 1.0f : z); }

template <int kDepthBytes>
uint32_t QuantizeDepth(float z) {
  z = Clamp01(z);
  if constexpr (kDepthBytes == 2) {
    return static_cast<uint32_t>(z * 65535.0f + 0.5f);
  } else {
    uint32_t bits;  // non-negative floats order as their bit patterns do
    std::memcpy(&bits, &z, 4);
    return bits;
  }
}

template <int kDepthBytes>
uint32_t ReadDepth(const uint8_t* row, int32_t x) {
  if constexpr (kDepthBytes == 2) {
    uint16_t v;
    std::memcpy(&v, row + x * 2, 2);
    return v;
  } else {
    uint32_t v;
    std::memcpy(&v, row + x * 4, 4);
    return v;
  }
}

template <int kDepthBytes>
void WriteDepth(uint8_t* row, int32_t x, uint32_t value) {
  if constexpr (kDepthBytes == 2) {
    uint16_t v = static_cast<uint16_t>(value);
    std::memcpy(row + x * 2, &v, 2);
  } else {
    std::memcpy(row + x * 4, &value, 4);
  }
}

template <TargetFormat F>
uint32_t ReadColour(const uint8_t* row, int32_t x) {
  if constexpr (F == TargetFormat::k8888) {
    uint32_t v;
    std::memcpy(&v, row + x * 4, 4);
    return v & 0x00FFFFFFu;
  } else if constexpr (F == TargetFormat::k888) {
    const uint8_t* p = row + x * 3;
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
  } else {
    uint16_t v;
    std::memcpy(&v, row + x * 2, 2);
    uint32_t r, g, b;
    if constexpr (F == TargetFormat::k565) {
      r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
      return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
    } else {
      r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
      return (r << 3 | r >> 2) << 16 | (g << 3 | g >> 2) << 8 | (b << 3 | b >> 2);
    }
  }
}

template <TargetFormat F>
void WriteColour(uint8_t* row, int32_t x, uint32_t rgb) {
  if constexpr (F == TargetFormat::k8888) {
    uint32_t v = rgb & 0x00FFFFFFu;
    std::memcpy(row + x * 4, &v, 4);
  } else if constexpr (F == TargetFormat::k888) {
    uint8_t* p = row + x * 3;
    p[0] = static_cast<uint8_t>(rgb);
    p[1] = static_cast<uint8_t>(rgb >> 8);
    p[2] = static_cast<uint8_t>(rgb >> 16);
  } else {
    uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    uint16_t v = F == TargetFormat::k565
                     ? static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
                     : static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
    std::memcpy(row + x * 2, &v, 2);
  }
}

// The quantised depths of n pixels (z0 + dz i) into `out`, and the mask of
// those that pass the less-or-equal test against the buffer at `row`.
template <int kDepthBytes>
uint64_t DepthStage(const uint8_t* row, float z0, float dz, int n, uint32_t* out) {
  uint64_t pass = 0;
  int i = 0;
#if defined(__SSE2__)
  const __m128 step = _mm_set1_ps(dz), start = _mm_set1_ps(z0);
  const __m128 lanes = _mm_setr_ps(0, 1, 2, 3);
  for (; i + 4 <= n; i += 4) {
    __m128 z = _mm_add_ps(start, _mm_mul_ps(step, _mm_add_ps(_mm_set1_ps(static_cast<float>(i)), lanes)));
    z = _mm_min_ps(_mm_max_ps(z, _mm_setzero_ps()), _mm_set1_ps(1.0f));
    __m128i q, stored;
    if constexpr (kDepthBytes == 2) {
      q = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(z, _mm_set1_ps(65535.0f)), _mm_set1_ps(0.5f)));
      stored = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + i * 2)),
                                  _mm_setzero_si128());
    } else {
      q = _mm_castps_si128(z);  // non-negative floats order as signed integers
      stored = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i * 4));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), q);
    int fails = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(q, stored)));
    pass |= static_cast<uint64_t>(~fails & 0xF) << i;
  }
#endif
  for (; i < n; ++i) {
    out[i] = QuantizeDepth<kDepthBytes>(z0 + dz * static_cast<float>(i));
    pass |= static_cast<uint64_t>(out[i] <= ReadDepth<kDepthBytes>(row, i)) << i;
  }
  return pass;
}

// One blend factor for one channel, 0..255.
uint32_t Factor(uint32_t factor, uint32_t src, uint32_t src_alpha, uint32_t dst) {
  switch (factor) {
    case blend::kZero: return 0;
    case blend::kSrcColor: return src;
    case blend::kInvSrcColor: return 255 - src;
    case blend::kSrcAlpha: return src_alpha;
    case blend::kInvSrcAlpha: return 255 - src_alpha;
    case blend::kDestColor: return dst;
    case blend::kInvDestColor: return 255 - dst;
    default: return 255;  // kOne
  }
}

uint32_t Blend(const PixelState& ps, uint32_t src_argb, uint32_t dst_rgb) {
  uint32_t sa = src_argb >> 24;
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    uint32_t s = (src_argb >> shift) & 0xFF, d = (dst_rgb >> shift) & 0xFF;
    uint32_t sum = s * Factor(ps.src_blend, s, sa, d) + d * Factor(ps.dest_blend, s, sa, d);
    uint32_t c = (sum + 127) / 255;
    out |= (c > 255 ? 255 : c) << shift;
  }
  return out;
}

#if !defined(__SSE2__)
uint32_t ToByte(float v) {
  v = v > 0.0f ? v : 0.0f;  // NaN becomes 0, as the vector code makes it
  v = v < 255.0f ? v : 255.0f;
  return static_cast<uint32_t>(v + 0.5f);
}
#endif

// The Gouraud colour and fog share at pixel i of a chunk: start values and
// steps, lanes blue, green, red, alpha (alpha 1 with no step, fog 0).
struct ColourRamp {
  float colour[4], colour_step[4];
  float fog[4], fog_step[4];
};

#if !defined(__SSE2__)
// texel x colour (+ 255 x fog share), each channel clamped to 0..255 and
// rounded: the texture stage's modulation, then the fog.
inline uint32_t Modulate(uint32_t texel, const ColourRamp& r, float fi, bool fog) {
  uint32_t out = 0;
  for (int k = 0; k < 4; ++k) {
    float v = static_cast<float>((texel >> (8 * k)) & 0xFF) * (r.colour[k] + r.colour_step[k] * fi);
    if (fog) v += 255.0f * (r.fog[k] + r.fog_step[k] * fi);
    out |= ToByte(v) << (8 * k);
  }
  return out;
}
#endif

#if defined(__SSE2__)
// texel x colour (+ 255 x fog share) for the four pixels i..i+3, a lane
// each, each channel clamped to 0..255 and rounded: the texture stage's
// modulation, then the fog. Alpha is the texel's.
inline __m128i ModulateFour(const uint32_t* texels, const ColourRamp& r, int i, bool fog) {
  const __m128 fi = _mm_add_ps(_mm_set1_ps(static_cast<float>(i)), _mm_setr_ps(0, 1, 2, 3));
  const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(texels + i));
  const __m128i byte = _mm_set1_epi32(0xFF);
  __m128i out = _mm_and_si128(t, _mm_set1_epi32(static_cast<int>(0xFF000000u)));
  for (int k = 0; k < 3; ++k) {
    __m128 tc = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(t, 8 * k), byte));
    __m128 v = _mm_mul_ps(tc, _mm_add_ps(_mm_set1_ps(r.colour[k]), _mm_mul_ps(_mm_set1_ps(r.colour_step[k]), fi)));
    if (fog)
      v = _mm_add_ps(v, _mm_mul_ps(_mm_set1_ps(255.0f),
                                   _mm_add_ps(_mm_set1_ps(r.fog[k]), _mm_mul_ps(_mm_set1_ps(r.fog_step[k]), fi))));
    v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(255.0f));
    out = _mm_or_si128(out, _mm_slli_epi32(_mm_cvttps_epi32(_mm_add_ps(v, _mm_set1_ps(0.5f))), 8 * k));
  }
  return out;
}
#endif

#if defined(__SSE2__)
// Four values of up to 16 bits each, from 32-bit lanes, stored as 16 bits.
inline void StoreSixteenFour(uint8_t* at, __m128i values) {
  values = _mm_srai_epi32(_mm_slli_epi32(values, 16), 16);  // so that the signed pack keeps the bits
  _mm_storel_epi64(reinterpret_cast<__m128i*>(at), _mm_packs_epi32(values, values));
}

// WriteColour for four pixels in a row.
template <TargetFormat F>
void StoreColourFour(uint8_t* at, __m128i rgb) {
  if constexpr (F == TargetFormat::k8888) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm_and_si128(rgb, _mm_set1_epi32(0x00FFFFFF)));
  } else {
    const __m128i five = _mm_set1_epi32(0x1F);
    const __m128i r = _mm_and_si128(_mm_srli_epi32(rgb, 19), five), b = _mm_and_si128(_mm_srli_epi32(rgb, 3), five);
    __m128i v;
    if constexpr (F == TargetFormat::k565) {
      const __m128i g = _mm_and_si128(_mm_srli_epi32(rgb, 10), _mm_set1_epi32(0x3F));
      v = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(r, 11), _mm_slli_epi32(g, 5)), b);
    } else {
      const __m128i g = _mm_and_si128(_mm_srli_epi32(rgb, 11), five);
      v = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(r, 10), _mm_slli_epi32(g, 5)), b);
    }
    StoreSixteenFour(at, v);
  }
}

template <int kDepthBytes>
void StoreDepthFour(uint8_t* at, const uint32_t* depth) {
  const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(depth));
  if constexpr (kDepthBytes == 2)
    StoreSixteenFour(at, values);
  else
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), values);
}
#endif

#if defined(__SSE2__)
// FloorToInt of four coordinates (NaN and far values go to the clamp's
// ends) and WeightOf their fractions, as SampleBilinear takes them.
inline void FloorAndWeightFour(__m128 t, int32_t* whole, int32_t* weight) {
  const __m128 lo = _mm_set1_ps(-1073741824.0f), hi = _mm_set1_ps(1073741824.0f);
  __m128 clamped = _mm_min_ps(_mm_max_ps(t, lo), hi);
  clamped = _mm_or_ps(_mm_and_ps(_mm_cmpord_ps(t, t), clamped), _mm_andnot_ps(_mm_cmpord_ps(t, t), lo));
  __m128i i0 = _mm_cvttps_epi32(clamped);
  __m128 back = _mm_cvtepi32_ps(i0);
  i0 = _mm_add_epi32(i0, _mm_castps_si128(_mm_cmpgt_ps(back, clamped)));
  back = _mm_cvtepi32_ps(i0);
  // WeightOf: max first, so that NaN becomes 0.
  __m128i f = _mm_cvttps_epi32(_mm_min_ps(
      _mm_max_ps(_mm_mul_ps(_mm_sub_ps(t, back), _mm_set1_ps(256.0f)), _mm_setzero_ps()), _mm_set1_ps(255.0f)));
  _mm_store_si128(reinterpret_cast<__m128i*>(whole), i0);
  _mm_store_si128(reinterpret_cast<__m128i*>(weight), f);
}

// The bilinear texel positions and weights of four pixels on their levels
// (`width` and `height` per lane), as SampleBilinear computes them.
struct BilinearFour {
  alignas(16) int32_t ix[4], iy[4], wx[4], wy[4];
  void Compute(__m128 u, __m128 v, __m128 width, __m128 height) {
    const __m128 half = _mm_set1_ps(0.5f);
    FloorAndWeightFour(_mm_sub_ps(_mm_mul_ps(u, width), half), ix, wx);
    FloorAndWeightFour(_mm_sub_ps(_mm_mul_ps(v, height), half), iy, wy);
  }
  // The bilinear sample of lane k on level l, addressed by `kMode`.
  template <uint32_t kMode>
  uint32_t Sample(int k, const SampledLevel& l) const {
    size_t x0 = static_cast<size_t>(Address(ix[k], l.width, kMode));
    size_t x1 = static_cast<size_t>(Address(ix[k] + 1, l.width, kMode));
    size_t y0 = static_cast<size_t>(Address(iy[k], l.height, kMode)) << l.width_shift;
    size_t y1 = static_cast<size_t>(Address(iy[k] + 1, l.height, kMode)) << l.width_shift;
    const uint32_t* t = l.texels;
    return BlendFour(t[y0 + x0], t[y0 + x1], t[y1 + x0], t[y1 + x1], static_cast<uint32_t>(wx[k]),
                     static_cast<uint32_t>(wy[k]));
  }
};
#endif

// The texels of the pixels left in `mask`; pixels whose texel is keyed
// away leave the mask.
template <TexPath kTex>
void SampleTexels(const PixelState& ps, const Gradients& g, float fx, float fy, int n, uint64_t& mask,
                  uint32_t* texels) {
  const SamplerState& s = ps.sampler;
  const float oow0 = g.at[kOow] + g.dx[kOow] * fx + g.dy[kOow] * fy;
  const float uow0 = g.at[kUow] + g.dx[kUow] * fx + g.dy[kUow] * fy;
  const float vow0 = g.at[kVow] + g.dx[kVow] * fx + g.dy[kVow] * fy;
  const float doow = g.dx[kOow], duow = g.dx[kUow], dvow = g.dx[kVow];
  if constexpr (kTex == TexPath::kUniform) {
    if (s.keyed && s.levels[0].coverage[0] < 128)
      mask = 0;
    else
      std::fill_n(texels, n, s.levels[0].texels[0]);
  } else if constexpr (kTex == TexPath::kBilinearWrap || kTex == TexPath::kBilinearMirror ||
                       kTex == TexPath::kBilinearClamp) {
    constexpr uint32_t kMode = AddressOf(kTex);
    const SampledLevel& l = s.levels[0];
    int i = 0;
#if defined(__SSE2__)
    // Four pixels' texel positions at a time, with the arithmetic of
    // SampleBilinear, then the fetches one by one.
    const __m128 lanes = _mm_setr_ps(0, 1, 2, 3);
    const __m128 width = _mm_set1_ps(static_cast<float>(l.width)), height = _mm_set1_ps(static_cast<float>(l.height));
    BilinearFour at;
    for (; i + 4 <= n; i += 4) {
      if (((mask >> i) & 0xF) == 0) continue;
      __m128 fi = _mm_add_ps(_mm_set1_ps(static_cast<float>(i)), lanes);
      __m128 w = _mm_div_ps(_mm_set1_ps(1.0f), _mm_add_ps(_mm_set1_ps(oow0), _mm_mul_ps(_mm_set1_ps(doow), fi)));
      __m128 u = _mm_mul_ps(_mm_add_ps(_mm_set1_ps(uow0), _mm_mul_ps(_mm_set1_ps(duow), fi)), w);
      __m128 v = _mm_mul_ps(_mm_add_ps(_mm_set1_ps(vow0), _mm_mul_ps(_mm_set1_ps(dvow), fi)), w);
      at.Compute(u, v, width, height);
      for (int k = 0; k < 4; ++k)
        if ((mask >> (i + k)) & 1) texels[i + k] = at.Sample<kMode>(k, l);
    }
#endif
    for (; i < n; ++i) {
      if (!((mask >> i) & 1)) continue;
      float fi = static_cast<float>(i);
      float w = 1.0f / (oow0 + doow * fi);
      texels[i] = SampleBilinear(l, (uow0 + duow * fi) * w, (vow0 + dvow * fi) * w, kMode).argb;
    }
  } else {
    // The level of detail needs the texture coordinates' screen
    // derivatives: d(u)/dx = (d(u/w)/dx - u d(1/w)/dx) w, and so on.
    const bool lod = (s.mip != mip_filter::kNone && s.level_count > 1) || s.mag_linear != s.min_linear;
    const float width = static_cast<float>(s.levels[0].width);
    const float height = static_cast<float>(s.levels[0].height);
    const float dudy = g.dy[kUow], dvdy = g.dy[kVow], doowdy = g.dy[kOow];
    auto sample = [&](int i, float u, float v, float lambda) {
      Texel t = lod ? SampleWithLod(s, u, v, lambda) : SampleLevel(s.levels[0], u, v, s.address, s.min_linear);
      if (s.keyed && t.coverage < 128)
        mask &= ~(uint64_t{1} << i);
      else
        texels[i] = t.argb;
    };
    int i = 0;
#if defined(__SSE2__)
    // Four pixels' coordinates and levels of detail at a time, with the
    // arithmetic of the plain loop below (so the same bits), then the
    // samples one by one.
    alignas(16) float us[4], vs[4], lambdas[4] = {};
    const __m128 lanes = _mm_setr_ps(0, 1, 2, 3);
    for (; i + 4 <= n; i += 4) {
      if (((mask >> i) & 0xF) == 0) continue;
      const __m128 fi = _mm_add_ps(_mm_set1_ps(static_cast<float>(i)), lanes);
      const __m128 w =
          _mm_div_ps(_mm_set1_ps(1.0f), _mm_add_ps(_mm_set1_ps(oow0), _mm_mul_ps(_mm_set1_ps(doow), fi)));
      const __m128 u = _mm_mul_ps(_mm_add_ps(_mm_set1_ps(uow0), _mm_mul_ps(_mm_set1_ps(duow), fi)), w);
      const __m128 v = _mm_mul_ps(_mm_add_ps(_mm_set1_ps(vow0), _mm_mul_ps(_mm_set1_ps(dvow), fi)), w);
      _mm_store_ps(us, u);
      _mm_store_ps(vs, v);
      if (lod) {
        auto derivative = [&](float d, const __m128& coord, float d_oow, float size) {
          return _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(_mm_set1_ps(d), _mm_mul_ps(coord, _mm_set1_ps(d_oow))), w),
                            _mm_set1_ps(size));
        };
        const __m128 ux = derivative(duow, u, doow, width), vx = derivative(dvow, v, doow, height);
        const __m128 uy = derivative(dudy, u, doowdy, width), vy = derivative(dvdy, v, doowdy, height);
        const __m128 across = _mm_add_ps(_mm_mul_ps(ux, ux), _mm_mul_ps(vx, vx));
        const __m128 down = _mm_add_ps(_mm_mul_ps(uy, uy), _mm_mul_ps(vy, vy));
        const __m128 rho2 = _mm_max_ps(down, across);  // std::max(across, down), NaN included
        // FastLog2, lane by lane.
        const __m128i bits = _mm_castps_si128(rho2);
        const __m128 exponent = _mm_cvtepi32_ps(_mm_sub_epi32(
            _mm_and_si128(_mm_srli_epi32(bits, 23), _mm_set1_epi32(0xFF)), _mm_set1_epi32(127)));
        const __m128 mantissa = _mm_castsi128_ps(_mm_or_si128(_mm_and_si128(bits, _mm_set1_epi32(0x007FFFFF)),
                                                              _mm_set1_epi32(0x3F800000)));
        const __m128 log2 = _mm_add_ps(exponent, _mm_sub_ps(mantissa, _mm_set1_ps(1.0f)));
        const __m128 positive = _mm_cmpgt_ps(rho2, _mm_setzero_ps());
        const __m128 lambda = _mm_or_ps(_mm_and_ps(positive, _mm_mul_ps(_mm_set1_ps(0.5f), log2)),
                                        _mm_andnot_ps(positive, _mm_set1_ps(-128.0f)));
        _mm_store_ps(lambdas, lambda);
      }
      if constexpr (kTex == TexPath::kTrilinearWrap) {
        // SampleWithLod for linear filters and mip levels, wrapped: each
        // lane's one or two levels, their positions four lanes at a time.
        const SampledLevel* levels = s.levels;
        const int32_t last = s.level_count - 1;
        int32_t level[2][4];
        uint32_t blend[4];
        for (int k = 0; k < 4; ++k) {
          level[1][k] = -1;
          const float lambda = lambdas[k];
          if (!(lambda > 0.0f)) {
            level[0][k] = 0;
            continue;
          }
          const int32_t whole = FloorToInt(lambda);
          if (whole >= last) {
            level[0][k] = last;
            continue;
          }
          level[0][k] = whole;
          level[1][k] = whole + 1;
          blend[k] = WeightOf((lambda - static_cast<float>(whole)) * 256.0f);
        }
        BilinearFour at[2];
        for (int pass = 0; pass < 2; ++pass) {
          const int32_t* l = level[pass];
          if (pass == 1 && (l[0] & l[1] & l[2] & l[3]) < 0) break;  // no lane blends two levels
          auto side = [&](int k, bool wide) {
            const SampledLevel& sl = levels[l[k] < 0 ? 0 : l[k]];
            return static_cast<float>(wide ? sl.width : sl.height);
          };
          at[pass].Compute(u, v, _mm_setr_ps(side(0, true), side(1, true), side(2, true), side(3, true)),
                           _mm_setr_ps(side(0, false), side(1, false), side(2, false), side(3, false)));
        }
        for (int k = 0; k < 4; ++k) {
          if (!((mask >> (i + k)) & 1)) continue;
          const uint32_t a = at[0].Sample<texture_address::kWrap>(k, levels[level[0][k]]);
          texels[i + k] = level[1][k] < 0
                              ? a
                              : LerpColour(a, at[1].Sample<texture_address::kWrap>(k, levels[level[1][k]]), blend[k]);
        }
        continue;
      }
      for (int k = 0; k < 4; ++k)
        if ((mask >> (i + k)) & 1) sample(i + k, us[k], vs[k], lambdas[k]);
    }
#endif
    for (; i < n; ++i) {
      if (!((mask >> i) & 1)) continue;
      float fi = static_cast<float>(i);
      float w = 1.0f / (oow0 + doow * fi);
      float u = (uow0 + duow * fi) * w, v = (vow0 + dvow * fi) * w;
      float lambda = 0.0f;
      if (lod) {
        float ux = (duow - u * doow) * w * width, vx = (dvow - v * doow) * w * height;
        float uy = (dudy - u * doowdy) * w * width, vy = (dvdy - v * doowdy) * w * height;
        float rho2 = std::max(ux * ux + vx * vx, uy * uy + vy * vy);
        lambda = rho2 > 0.0f ? 0.5f * FastLog2(rho2) : -128.0f;
      }
      sample(i, u, v, lambda);
    }
  }
}

template <TargetFormat F, int kDepthBytes, TexPath kTex>
void ShadeSpan(const PixelState& ps, const Gradients& g, int32_t y, int32_t x_left, int32_t x_right) {
  const float fy = static_cast<float>(y) - g.y0;
  uint8_t* colour_row = ps.colour + static_cast<size_t>(y) * ps.colour_pitch;
  uint8_t* depth_row = kDepthBytes ? ps.depth + static_cast<size_t>(y) * ps.depth_pitch : nullptr;
  uint32_t depth[kChunk];
  uint32_t texels[kChunk];

  for (int32_t x = x_left; x <= x_right; x += kChunk) {
    const int n = std::min(kChunk, x_right - x + 1);
    const float fx = static_cast<float>(x) - g.x0;
    uint64_t mask = n == kChunk ? ~uint64_t{0} : (uint64_t{1} << n) - 1;

    if constexpr (kDepthBytes != 0) {
      if (ps.z_test || ps.z_write) {
        const float z0 = g.at[kZ] + g.dx[kZ] * fx + g.dy[kZ] * fy, dz = g.dx[kZ];
        uint64_t pass = DepthStage<kDepthBytes>(depth_row + static_cast<size_t>(x) * kDepthBytes, z0, dz, n, depth);
        if (ps.z_test) {
          mask &= pass;
          if (mask == 0) continue;
        }
      }
    }

    if constexpr (kTex != TexPath::kNone) {
      SampleTexels<kTex>(ps, g, fx, fy, n, mask, texels);
      if (mask == 0) continue;
    }

    ColourRamp ramp;
    for (int k = 0; k < 3; ++k) {  // lane 0 blue .. lane 2 red
      ramp.colour[k] = g.at[kB - k] + g.dx[kB - k] * fx + g.dy[kB - k] * fy;
      ramp.colour_step[k] = g.dx[kB - k];
      ramp.fog[k] = g.at[kFb - k] + g.dx[kFb - k] * fx + g.dy[kFb - k] * fy;
      ramp.fog_step[k] = g.dx[kFb - k];
    }
    ramp.colour[3] = 1.0f;
    ramp.colour_step[3] = ramp.fog[3] = ramp.fog_step[3] = 0.0f;
    if constexpr (kTex == TexPath::kNone) std::fill_n(texels, n, 0xFFFFFFFFu);
    uint64_t written = 0;
    auto write = [&](int i, uint32_t out) {
      if (ps.blend) out = Blend(ps, out, ReadColour<F>(colour_row, x + i));
      WriteColour<F>(colour_row, x + i, out);
      if constexpr (kDepthBytes != 0)
        if (ps.z_write) WriteDepth<kDepthBytes>(depth_row, x + i, depth[i]);
      ++written;
    };
#if defined(__SSE2__)
    // One colour along the row (the backdrop's plain colour, say): every
    // group of four is the first one (a step of 0 adds exactly 0).
    const bool flat = kTex == TexPath::kUniform && g.dx[kR] == 0.0f && g.dx[kG] == 0.0f && g.dx[kB] == 0.0f &&
                      g.dx[kFr] == 0.0f && g.dx[kFg] == 0.0f && g.dx[kFb] == 0.0f;
    const __m128i flat_colours = flat ? ModulateFour(texels, ramp, 0, ps.fog) : _mm_setzero_si128();
    for (int i = 0; i < n; i += 4) {
      const uint32_t group = static_cast<uint32_t>(mask >> i) & 0xF;
      if (group == 0) continue;
      const __m128i colours = flat ? flat_colours : ModulateFour(texels, ramp, i, ps.fog);
      if (group == 0xF && !ps.blend && F != TargetFormat::k888) {
        StoreColourFour<F>(colour_row + static_cast<size_t>(x + i) * (F == TargetFormat::k8888 ? 4 : 2), colours);
        if constexpr (kDepthBytes != 0)
          if (ps.z_write) StoreDepthFour<kDepthBytes>(depth_row + static_cast<size_t>(x + i) * kDepthBytes, depth + i);
        written += 4;
        continue;
      }
      alignas(16) uint32_t each[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(each), colours);
      for (int k = 0; k < 4; ++k)
        if ((group >> k) & 1) write(i + k, each[k]);
    }
#else
    for (int i = 0; i < n; ++i)
      if ((mask >> i) & 1) write(i, Modulate(texels[i], ramp, static_cast<float>(i), ps.fog));
#endif
    if (ps.pixels_written) *ps.pixels_written += written;
  }
}

template <TargetFormat F, int kDepthBytes>
SpanFunction ForTexture(const PixelState& ps) {
  if (!ps.textured) return ShadeSpan<F, kDepthBytes, TexPath::kNone>;
  const SamplerState& s = ps.sampler;
  if (s.levels[0].uniform) return ShadeSpan<F, kDepthBytes, TexPath::kUniform>;
  bool one_level = s.level_count == 1 || s.mip == mip_filter::kNone;
  if (one_level && s.mag_linear && s.min_linear && !s.keyed) {
    switch (s.address) {
      case texture_address::kMirror: return ShadeSpan<F, kDepthBytes, TexPath::kBilinearMirror>;
      case texture_address::kClamp: return ShadeSpan<F, kDepthBytes, TexPath::kBilinearClamp>;
      default: return ShadeSpan<F, kDepthBytes, TexPath::kBilinearWrap>;
    }
  }
  if (!one_level && s.mip == mip_filter::kLinear && s.mag_linear && s.min_linear &&
      s.address == texture_address::kWrap && !s.keyed)
    return ShadeSpan<F, kDepthBytes, TexPath::kTrilinearWrap>;
  return ShadeSpan<F, kDepthBytes, TexPath::kGeneral>;
}

template <TargetFormat F>
SpanFunction ForDepth(const PixelState& ps) {
  if (ps.depth == nullptr) return ForTexture<F, 0>(ps);
  return ps.depth_bytes == 2 ? ForTexture<F, 2>(ps) : ForTexture<F, 4>(ps);
}

}  // namespace

SpanFunction SelectSpanFunction(const PixelState& state) {
  switch (state.format) {
    case TargetFormat::k565: return ForDepth<TargetFormat::k565>(state);
    case TargetFormat::k555: return ForDepth<TargetFormat::k555>(state);
    case TargetFormat::k888: return ForDepth<TargetFormat::k888>(state);
    default: return ForDepth<TargetFormat::k8888>(state);
  }
}

}  // namespace zv::platform::pipeline
