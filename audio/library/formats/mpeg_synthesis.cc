#include "audio/library/formats/mpeg_synthesis.h"

#include <cmath>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zv::mpeg {
namespace {

// The standard's synthesis window D[0..256] times 65536 (the values are
// exact multiples of 2^-16); the rest of the window mirrors it.
constexpr int kWindow[257] = {
    0,      -1,     -1,     -1,     -1,     -1,     -1,     -2,     -2,     -2,     -2,
    -3,     -3,     -4,     -4,     -5,     -5,     -6,     -7,     -7,     -8,     -9,
    -10,    -11,    -13,    -14,    -16,    -17,    -19,    -21,    -24,    -26,    -29,
    -31,    -35,    -38,    -41,    -45,    -49,    -53,    -58,    -63,    -68,    -73,
    -79,    -85,    -91,    -97,    -104,   -111,   -117,   -125,   -132,   -139,   -147,
    -154,   -161,   -169,   -176,   -183,   -190,   -196,   -202,   -208,   -213,   -218,
    -222,   -225,   -227,   -228,   -228,   -227,   -224,   -221,   -215,   -208,   -200,
    -189,   -177,   -163,   -146,   -127,   -106,   -83,    -57,    -29,    2,      36,
    72,     111,    153,    197,    244,    294,    347,    401,    459,    519,    581,
    645,    711,    779,    848,    919,    991,    1064,   1137,   1210,   1283,   1356,
    1428,   1498,   1567,   1634,   1698,   1759,   1817,   1870,   1919,   1962,   2001,
    2032,   2057,   2075,   2085,   2087,   2080,   2063,   2037,   2000,   1952,   1893,
    1822,   1739,   1644,   1535,   1414,   1280,   1131,   970,    794,    605,    402,
    185,    -45,    -288,   -545,   -814,   -1095,  -1388,  -1692,  -2006,  -2330,  -2663,
    -3004,  -3351,  -3705,  -4063,  -4425,  -4788,  -5153,  -5517,  -5879,  -6237,  -6589,
    -6935,  -7271,  -7597,  -7910,  -8209,  -8491,  -8755,  -8998,  -9219,  -9416,  -9585,
    -9727,  -9838,  -9916,  -9959,  -9966,  -9935,  -9863,  -9750,  -9592,  -9389,  -9139,
    -8840,  -8492,  -8092,  -7640,  -7134,  -6574,  -5959,  -5288,  -4561,  -3776,  -2935,
    -2037,  -1082,  -70,    998,    2122,   3300,   4533,   5818,   7154,   8540,   9975,
    11455,  12980,  14548,  16155,  17799,  19478,  21189,  22929,  24694,  26482,  28289,
    30112,  31947,  33791,  35640,  37489,  39336,  41176,  43006,  44821,  46617,  48390,
    50137,  51853,  53534,  55178,  56778,  58333,  59838,  61289,  62684,  64019,  65290,
    66494,  67629,  68692,  69679,  70590,  71420,  72169,  72835,  73415,  73908,  74313,
    74630,  74856,  74992,  75038};

// Full-scale output of the filter bank is 1.0; the window carries the 16-bit
// scale, so that output samples need only rounding and clipping.
constexpr float kOutputScale = 32768.0f;

struct SynthesisTables {
  // Window coefficients D[64i + j] (first) and D[64i + 32 + j] (second),
  // i = 0..7, j = 0..31, scaled to 16-bit output.
  alignas(16) float first[8][32];
  alignas(16) float second[8][32];
  // 1 / (2 cos((2k + 1) pi / 2N)) for the 32-, 16-, 8-, 4- and 2-point
  // stages of the fast cosine transform.
  float cos32[16], cos16[8], cos8[4], cos4[2], cos2[1];

  SynthesisTables() {
    for (int i = 0; i < 512; ++i) {
      const int mirrored = i <= 256 ? i : 512 - i;
      const float sign = ((i >> 6) & 1) ? -1.0f : 1.0f;
      const float d = sign * static_cast<float>(kWindow[mirrored]) / 65536.0f * kOutputScale;
      const int block = i >> 6, column = i & 63;
      if (column < 32) {
        first[block][column] = d;
      } else {
        second[block][column - 32] = d;
      }
    }
    Fill(cos32, 16);
    Fill(cos16, 8);
    Fill(cos8, 4);
    Fill(cos4, 2);
    Fill(cos2, 1);
  }
  static void Fill(float* table, int half) {
    const double n = 2.0 * half;
    for (int k = 0; k < half; ++k) {
      table[k] = static_cast<float>(1.0 / (2.0 * std::cos((2 * k + 1) * std::numbers::pi / (2.0 * n))));
    }
  }
  const float* CosTable(int n) const {
    switch (n) {
      case 32: return cos32;
      case 16: return cos16;
      case 8: return cos8;
      case 4: return cos4;
      default: return cos2;
    }
  }
};

const SynthesisTables& Tables() {
  static const SynthesisTables tables;
  return tables;
}

// Unnormalised DCT-II, out[m] = sum x[k] cos(pi m (2k + 1) / 2N), by Lee's
// recursive split into the sums and the scaled differences of mirrored
// inputs.
template <int N>
void Dct(const float* x, float* out, const SynthesisTables& t) {
  if constexpr (N == 1) {
    out[0] = x[0];
  } else {
    constexpr int kHalf = N / 2;
    const float* c = t.CosTable(N);
    float sums[kHalf], diffs[kHalf], even[kHalf], odd[kHalf];
    for (int k = 0; k < kHalf; ++k) {
      sums[k] = x[k] + x[N - 1 - k];
      diffs[k] = (x[k] - x[N - 1 - k]) * c[k];
    }
    Dct<kHalf>(sums, even, t);
    Dct<kHalf>(diffs, odd, t);
    for (int m = 0; m < kHalf; ++m) {
      out[2 * m] = even[m];
      out[2 * m + 1] = m + 1 < kHalf ? odd[m] + odd[m + 1] : odd[m];
    }
  }
}

// Rounds to nearest and clips 32 samples to 16 bits.
void StorePcm(const float* samples, std::int16_t* pcm, int stride) {
#if defined(__SSE2__)
  // Clamping first keeps the conversion in range; the conversion rounds to
  // nearest (ties to even) in the default rounding mode.
  const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
  alignas(16) std::int16_t packed[32];
  for (int j = 0; j < 32; j += 8) {
    const __m128 a = _mm_min_ps(_mm_max_ps(_mm_load_ps(samples + j), low), high);
    const __m128 b = _mm_min_ps(_mm_max_ps(_mm_load_ps(samples + j + 4), low), high);
    _mm_store_si128(reinterpret_cast<__m128i*>(packed + j),
                    _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b)));
  }
  for (int j = 0; j < 32; ++j) pcm[j * stride] = packed[j];
#else
  for (int j = 0; j < 32; ++j) {
    float s = samples[j];
    if (!(s > -32768.0f)) s = -32768.0f;  // also catches NaN
    if (s > 32767.0f) s = 32767.0f;
    pcm[j * stride] = static_cast<std::int16_t>(std::lrint(s));
  }
#endif
}

}  // namespace

void InitSynthesisTables() { (void)Tables(); }

void SynthesizeStep(SynthesisHistory& history, int phase, const float* subbands,
                    std::int16_t* pcm, int stride) {
  const SynthesisTables& t = Tables();
  float x[32];
  Dct<32>(subbands, x, t);

  // The 64 matrixed values of this step follow from the transform by the
  // symmetries of cos((16 + i)(2k + 1) pi / 64).
  float* v = history.v[phase & 15];
  for (int i = 0; i < 16; ++i) v[i] = x[16 + i];
  v[16] = 0.0f;
  for (int i = 17; i < 48; ++i) v[i] = -x[48 - i];
  for (int i = 48; i < 64; ++i) v[i] = -x[i - 48];

  alignas(16) float sum[32] = {};
  for (int i = 0; i < 8; ++i) {
    const float* newer = history.v[(phase + 2 * i) & 15];
    const float* older = history.v[(phase + 2 * i + 1) & 15] + 32;
    const float* w0 = t.first[i];
    const float* w1 = t.second[i];
    for (int j = 0; j < 32; ++j) sum[j] += w0[j] * newer[j] + w1[j] * older[j];
  }
  StorePcm(sum, pcm, stride);
}

}  // namespace zv::mpeg
