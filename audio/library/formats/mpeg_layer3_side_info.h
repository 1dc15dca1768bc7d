#pragma once

#include "audio/library/formats/mpeg_bit_reader.h"
#include "audio/library/formats/mpeg_header.h"

namespace zv::mpeg {

// Side information of one granule and channel.
struct GranuleInfo {
  int part2_3_length = 0;
  int big_values = 0;
  int global_gain = 0;
  int scalefac_compress = 0;
  int window_switching = 0;
  int block_type = 0;        // 0 normal, 1 start, 2 short, 3 stop
  int mixed_block = 0;
  int table_select[3] = {};
  int subblock_gain[3] = {};
  int region0_count = 0;
  int region1_count = 0;
  int preflag = 0;
  int scalefac_scale = 0;
  int count1_table = 0;

  bool short_blocks() const { return block_type == 2; }
};

struct SideInfo {
  int main_data_begin = 0;
  int granules = 0;           // 2 for MPEG-1, 1 for LSF
  int scfsi[2][4] = {};
  GranuleInfo granule[2][2];  // [granule][channel]
};

// Bytes of side information in a frame of this header.
int SideInfoBytes(const MpegHeader& header);

// Reads the side information. False when it is damaged: big-values above
// 288, or window switching with block type 0.
bool ReadSideInfo(const MpegHeader& header, BitReader& bits, SideInfo& side);

// Scale factors of one granule and channel. `long_max` and `short_max` hold
// the largest value each factor could take (2^slen - 1), which marks an
// illegal intensity position in LSF streams.
struct ScaleFactors {
  int long_sf[22] = {};
  int short_sf[13][3] = {};
  int long_max[22] = {};
  int short_max[13] = {};
};

// MPEG-1: reads the scale factors of granule `granule`; `sf` holds the first
// granule's factors when the second one reuses them (scfsi).
void ReadScaleFactorsMpeg1(BitReader& bits, const GranuleInfo& info, const int scfsi[4],
                           int granule, ScaleFactors& sf);

// LSF: reads the scale factors; sets the pre-emphasis flag, which LSF streams
// carry in scalefac_compress. `intensity_right` selects the intensity-stereo
// variant for the right channel; `intensity_scale` receives its scale bit.
void ReadScaleFactorsLsf(BitReader& bits, GranuleInfo& info, bool intensity_right,
                         ScaleFactors& sf, int& intensity_scale);

}  // namespace zv::mpeg
