#include "audio/library/formats/mpeg_layer2.h"

#include <algorithm>
#include <cmath>

#include "audio/library/formats/mpeg_synthesis.h"

namespace zv::mpeg {
namespace {

// A quantisation class of the standard: the number of levels, and whether
// three samples share one code word (3, 5 and 9 levels).
struct QuantClass {
  int levels;
  int bits;      // bits of one sample, or of the shared code word when grouped
  bool grouped;
};

constexpr QuantClass kClasses[17] = {
    {3, 5, true},       {5, 7, true},       {7, 3, false},      {9, 10, true},
    {15, 4, false},     {31, 5, false},     {63, 6, false},     {127, 7, false},
    {255, 8, false},    {511, 9, false},    {1023, 10, false},  {2047, 11, false},
    {4095, 12, false},  {8191, 13, false},  {16383, 14, false}, {32767, 15, false},
    {65535, 16, false}};

// Classes by allocation value 1..15 (entry 0 unused: allocation 0 means the
// sub-band is silent), one list per group of sub-bands in the standard's
// allocation tables.
constexpr std::uint8_t kClassesHigh[16] = {0, 0, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
constexpr std::uint8_t kClassesMid[16] = {0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16};
constexpr std::uint8_t kClassesLow[8] = {0, 0, 1, 2, 3, 4, 5, 16};
constexpr std::uint8_t kClassesTop[4] = {0, 0, 1, 16};
constexpr std::uint8_t kClassesLowRateHigh[16] = {0, 0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
constexpr std::uint8_t kClassesLowRateLow[8] = {0, 0, 1, 3, 4, 5, 6, 7};
constexpr std::uint8_t kClassesLsfHigh[16] = {0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
constexpr std::uint8_t kClassesLsfTop[4] = {0, 0, 1, 3};

struct SubbandAllocation {
  int bits;                      // width of the allocation field
  const std::uint8_t* classes;   // class by allocation value
};

// Allocation of sub-band `sb` in table 0..4 (MPEG-1 tables a..d, then LSF).
SubbandAllocation AllocationOf(int table, int sb) {
  switch (table) {
    case 0:
    case 1:
      if (sb < 3) return {4, kClassesHigh};
      if (sb < 11) return {4, kClassesMid};
      if (sb < 23) return {3, kClassesLow};
      return {2, kClassesTop};
    case 2:
    case 3:
      if (sb < 2) return {4, kClassesLowRateHigh};
      return {3, kClassesLowRateLow};
    default:
      if (sb < 4) return {4, kClassesLsfHigh};
      if (sb < 11) return {3, kClassesLowRateLow};
      return {2, kClassesLsfTop};
  }
}

struct Layer2Tables {
  float scale[64];  // 2^(1 - index / 3); index 63 is not a scale factor and gives 0

  Layer2Tables() {
    for (int i = 0; i < 63; ++i) scale[i] = static_cast<float>(std::exp2(1.0 - i / 3.0));
    scale[63] = 0.0f;
  }
};

const Layer2Tables& Tables() {
  static const Layer2Tables tables;
  return tables;
}

// The dequantised fraction of level `code` in a class of `levels` levels:
// evenly spaced, symmetric about zero, within (-1, 1).
inline float Fraction(int code, int levels) {
  return static_cast<float>(2 * code - levels + 1) / static_cast<float>(levels);
}

// Three samples of one sub-band in one round.
void ReadSamples(BitReader& bits, const QuantClass& q, float out[3]) {
  if (q.grouped) {
    int code = static_cast<int>(bits.Read(q.bits));
    for (int s = 0; s < 3; ++s) {
      // A code word beyond levels^3 is damaged; its last digit is clipped.
      const int digit = s < 2 ? code % q.levels : std::min(code, q.levels - 1);
      out[s] = Fraction(digit, q.levels);
      code /= q.levels;
    }
    return;
  }
  for (int s = 0; s < 3; ++s) out[s] = Fraction(static_cast<int>(bits.Read(q.bits)), q.levels);
}

struct FrameAllocation {
  int allocation[2][32] = {};
  int scale_index[2][32][3] = {};
};

void ReadAllocation(const MpegHeader& h, BitReader& bits, FrameAllocation& f) {
  const int channels = h.channels;
  for (int sb = 0; sb < h.subband_limit; ++sb) {
    const int width = AllocationOf(h.allocation_table, sb).bits;
    if (sb < h.joint_bound) {
      for (int ch = 0; ch < channels; ++ch) f.allocation[ch][sb] = static_cast<int>(bits.Read(width));
    } else {
      f.allocation[0][sb] = f.allocation[1][sb] = static_cast<int>(bits.Read(width));
    }
  }
  int selection[2][32] = {};
  for (int sb = 0; sb < h.subband_limit; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      if (f.allocation[ch][sb]) selection[ch][sb] = static_cast<int>(bits.Read(2));
    }
  }
  for (int sb = 0; sb < h.subband_limit; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      if (!f.allocation[ch][sb]) continue;
      int* s = f.scale_index[ch][sb];
      switch (selection[ch][sb]) {
        case 0:
          s[0] = static_cast<int>(bits.Read(6));
          s[1] = static_cast<int>(bits.Read(6));
          s[2] = static_cast<int>(bits.Read(6));
          break;
        case 1:
          s[0] = s[1] = static_cast<int>(bits.Read(6));
          s[2] = static_cast<int>(bits.Read(6));
          break;
        case 2:
          s[0] = s[1] = s[2] = static_cast<int>(bits.Read(6));
          break;
        default:
          s[0] = static_cast<int>(bits.Read(6));
          s[1] = s[2] = static_cast<int>(bits.Read(6));
          break;
      }
    }
  }
}

}  // namespace

void InitLayer2Tables() { (void)Tables(); }

int DecodeLayer2(MpegDecoder& decoder, BitReader& bits, std::int16_t* pcm) {
  const MpegHeader& h = decoder.header;
  const Layer2Tables& t = Tables();
  const int channels = h.channels;
  FrameAllocation f;
  ReadAllocation(h, bits, f);

  alignas(16) float samples[2][3][32];
  for (int round = 0; round < 12; ++round) {
    const int part = round / 4;
    for (int ch = 0; ch < 2; ++ch) {
      for (int s = 0; s < 3; ++s) std::fill(samples[ch][s], samples[ch][s] + 32, 0.0f);
    }
    for (int sb = 0; sb < h.subband_limit; ++sb) {
      // Jointly coded sub-bands carry one set of samples for both channels.
      const int coded_channels = sb < h.joint_bound ? channels : 1;
      for (int ch = 0; ch < coded_channels; ++ch) {
        const int allocation = f.allocation[ch][sb];
        if (!allocation) continue;
        const QuantClass& q = kClasses[AllocationOf(h.allocation_table, sb).classes[allocation]];
        float fraction[3];
        ReadSamples(bits, q, fraction);
        for (int s = 0; s < 3; ++s) samples[ch][s][sb] = fraction[s];
      }
      if (coded_channels < channels) {
        for (int s = 0; s < 3; ++s) samples[1][s][sb] = samples[0][s][sb];
      }
    }
    for (int ch = 0; ch < channels; ++ch) {
      for (int sb = 0; sb < h.subband_limit; ++sb) {
        const float scale = f.allocation[ch][sb] ? t.scale[f.scale_index[ch][sb][part] & 63] : 0.0f;
        for (int s = 0; s < 3; ++s) samples[ch][s][sb] *= scale;
      }
    }
    for (int s = 0; s < 3; ++s) {
      decoder.synthesis_phase = (decoder.synthesis_phase - 1) & 15;
      std::int16_t* out = pcm + (round * 3 + s) * 32 * channels;
      for (int ch = 0; ch < channels; ++ch) {
        SynthesizeStep(decoder.synthesis[ch], decoder.synthesis_phase, samples[ch][s], out + ch,
                       channels);
      }
    }
  }
  return 1152 * channels;
}

}  // namespace zv::mpeg
