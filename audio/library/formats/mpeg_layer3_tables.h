#pragma once

#include <cstdint>

namespace zv::mpeg {

// Scale-factor band boundaries of one sampling frequency, in spectral lines:
// long blocks (22 bands) and short blocks (13 bands per window).
struct ScaleFactorBands {
  int long_start[23];
  int short_start[14];
};

// Rate index 0..8 (44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000,
// 8000 Hz).
const ScaleFactorBands& BandsFor(int rate_index);

// Added to long-block scale factors 11..20 when the pre-emphasis flag is set.
extern const int kPretab[22];

// The constant tables of layer III, built once.
struct Layer3Tables {
  static constexpr int kGainOffset = 420;  // index of 2^0 in `gain`
  static constexpr int kMaxMagnitude = 8206;  // 15 plus the 13 linbits

  // |x|^(4/3) for every Huffman magnitude.
  float power43[kMaxMagnitude + 1];
  // 2^(q / 4) for q = -kGainOffset .. 63.
  float gain[kGainOffset + 64];
  // Anti-alias butterflies per line pair.
  float alias_cs[8], alias_ca[8];
  // IMDCT windows by block type (2 = short, 12 coefficients).
  float window[4][36];
  // DCT-IV kernels behind the 36- and 12-point IMDCTs, [k][j]; rows of the
  // 18-point one are padded with zeros to a multiple of four values.
  alignas(16) float dct18[18][20];
  float dct6[6][6];
  // MPEG-1 intensity ratios for positions 0..6, left and right.
  float intensity_left[7], intensity_right[7];
  // MPEG-2 intensity factors io^n for io = 2^(-1/4) and 2^(-1/2), n = 0..31.
  float lsf_intensity[2][32];
  // For short blocks: the source line of each line of the sub-band order
  // (sub-band, window, line) by rate index.
  std::uint16_t short_order[9][576];

  Layer3Tables();
};

const Layer3Tables& GetLayer3Tables();

}  // namespace zv::mpeg
