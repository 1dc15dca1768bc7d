#include "audio/library/formats/mpeg_layer3_side_info.h"

namespace zv::mpeg {
namespace {

constexpr int kSlen1[16] = {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4};
constexpr int kSlen2[16] = {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3};

// LSF: number of scale factors in each of the four slen groups, by
// scalefac_compress case and block kind (long, short, mixed).
constexpr int kLsfGroupSizes[6][3][4] = {
    {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},
    {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
    {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}},
    {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
    {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},
    {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}}};

void ReadGranuleInfo(const MpegHeader& h, BitReader& bits, GranuleInfo& g) {
  g.part2_3_length = static_cast<int>(bits.Read(12));
  g.big_values = static_cast<int>(bits.Read(9));
  g.global_gain = static_cast<int>(bits.Read(8));
  g.scalefac_compress = static_cast<int>(bits.Read(h.lsf ? 9 : 4));
  g.window_switching = static_cast<int>(bits.Read(1));
  if (g.window_switching) {
    g.block_type = static_cast<int>(bits.Read(2));
    g.mixed_block = static_cast<int>(bits.Read(1));
    g.table_select[0] = static_cast<int>(bits.Read(5));
    g.table_select[1] = static_cast<int>(bits.Read(5));
    g.table_select[2] = 0;
    for (int w = 0; w < 3; ++w) g.subblock_gain[w] = static_cast<int>(bits.Read(3));
    g.region0_count = g.block_type == 2 && !g.mixed_block ? 8 : 7;
    g.region1_count = 36;  // region 1 reaches to the end of the big values
  } else {
    g.block_type = 0;
    g.mixed_block = 0;
    for (int r = 0; r < 3; ++r) g.table_select[r] = static_cast<int>(bits.Read(5));
    for (int w = 0; w < 3; ++w) g.subblock_gain[w] = 0;
    g.region0_count = static_cast<int>(bits.Read(4));
    g.region1_count = static_cast<int>(bits.Read(3));
  }
  g.preflag = h.lsf ? 0 : static_cast<int>(bits.Read(1));
  g.scalefac_scale = static_cast<int>(bits.Read(1));
  g.count1_table = static_cast<int>(bits.Read(1));
}

void ReadGroup(BitReader& bits, int slen, int* factor, int count) {
  for (int i = 0; i < count; ++i) factor[i] = static_cast<int>(bits.Read(slen));
}

}  // namespace

int SideInfoBytes(const MpegHeader& h) {
  if (h.lsf) return h.channels == 1 ? 9 : 17;
  return h.channels == 1 ? 17 : 32;
}

bool ReadSideInfo(const MpegHeader& h, BitReader& bits, SideInfo& side) {
  const int channels = h.channels;
  if (h.lsf) {
    side.main_data_begin = static_cast<int>(bits.Read(8));
    bits.Skip(channels == 1 ? 1 : 2);
    side.granules = 1;
  } else {
    side.main_data_begin = static_cast<int>(bits.Read(9));
    bits.Skip(channels == 1 ? 5 : 3);
    side.granules = 2;
    for (int ch = 0; ch < channels; ++ch) {
      for (int band = 0; band < 4; ++band) side.scfsi[ch][band] = static_cast<int>(bits.Read(1));
    }
  }
  bool valid = true;
  for (int gr = 0; gr < side.granules; ++gr) {
    for (int ch = 0; ch < channels; ++ch) {
      GranuleInfo& g = side.granule[gr][ch];
      ReadGranuleInfo(h, bits, g);
      if (g.big_values > 288) valid = false;
      if (g.window_switching && g.block_type == 0) valid = false;
    }
  }
  return valid;
}

void ReadScaleFactorsMpeg1(BitReader& bits, const GranuleInfo& g, const int scfsi[4], int granule,
                           ScaleFactors& sf) {
  const int slen1 = kSlen1[g.scalefac_compress & 15];
  const int slen2 = kSlen2[g.scalefac_compress & 15];
  if (g.short_blocks()) {
    int first_short = 0;
    if (g.mixed_block) {
      ReadGroup(bits, slen1, sf.long_sf, 8);
      first_short = 3;
    }
    for (int sfb = first_short; sfb < 12; ++sfb) {
      ReadGroup(bits, sfb < 6 ? slen1 : slen2, sf.short_sf[sfb], 3);
    }
    for (int w = 0; w < 3; ++w) sf.short_sf[12][w] = 0;
    return;
  }
  constexpr int kGroupStart[5] = {0, 6, 11, 16, 21};
  for (int group = 0; group < 4; ++group) {
    const int first = kGroupStart[group], count = kGroupStart[group + 1] - first;
    if (granule == 1 && scfsi[group]) continue;  // kept from the first granule
    ReadGroup(bits, group < 2 ? slen1 : slen2, sf.long_sf + first, count);
  }
  sf.long_sf[21] = 0;
}

void ReadScaleFactorsLsf(BitReader& bits, GranuleInfo& g, bool intensity_right, ScaleFactors& sf,
                         int& intensity_scale) {
  int slen[4] = {};
  int kind = 0;
  int compress = g.scalefac_compress;
  intensity_scale = 0;
  g.preflag = 0;
  if (!intensity_right) {
    if (compress < 400) {
      slen[0] = (compress >> 4) / 5;
      slen[1] = (compress >> 4) % 5;
      slen[2] = (compress & 15) >> 2;
      slen[3] = compress & 3;
      kind = 0;
    } else if (compress < 500) {
      compress -= 400;
      slen[0] = (compress >> 2) / 5;
      slen[1] = (compress >> 2) % 5;
      slen[2] = compress & 3;
      kind = 1;
    } else {
      compress -= 500;
      slen[0] = compress / 3;
      slen[1] = compress % 3;
      g.preflag = 1;
      kind = 2;
    }
  } else {
    intensity_scale = compress & 1;
    compress >>= 1;
    if (compress < 180) {
      slen[0] = compress / 36;
      slen[1] = (compress % 36) / 6;
      slen[2] = (compress % 36) % 6;
      kind = 3;
    } else if (compress < 244) {
      compress -= 180;
      slen[0] = (compress % 64) >> 4;
      slen[1] = (compress % 16) >> 2;
      slen[2] = compress % 4;
      kind = 4;
    } else {
      compress -= 244;
      slen[0] = compress / 3;
      slen[1] = compress % 3;
      kind = 5;
    }
  }
  const int block_kind = g.short_blocks() ? (g.mixed_block ? 2 : 1) : 0;
  const int* sizes = kLsfGroupSizes[kind][block_kind];

  // The factors come in the order of the bands: long bands one each, short
  // bands three each (one per window); a mixed block has 6 long bands
  // followed by short bands from 3 on.
  int position = 0;
  for (int group = 0; group < 4; ++group) {
    const int width = slen[group] > 15 ? 15 : slen[group];
    const int max = (1 << width) - 1;
    for (int i = 0; i < sizes[group]; ++i, ++position) {
      const int value = static_cast<int>(bits.Read(width));
      if (block_kind == 0) {
        if (position < 21) {
          sf.long_sf[position] = value;
          sf.long_max[position] = max;
        }
      } else {
        const int long_bands = block_kind == 2 ? 6 : 0;
        if (position < long_bands) {
          sf.long_sf[position] = value;
          sf.long_max[position] = max;
          continue;
        }
        const int short_index = position - long_bands + (block_kind == 2 ? 9 : 0);
        const int sfb = short_index / 3;
        if (sfb < 12) {
          sf.short_sf[sfb][short_index % 3] = value;
          sf.short_max[sfb] = max;
        }
      }
    }
  }
}

}  // namespace zv::mpeg
