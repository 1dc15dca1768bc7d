#pragma once

#include "audio/library/formats/mpeg_header.h"
#include "audio/library/formats/mpeg_layer3_side_info.h"
#include "audio/library/formats/mpeg_layer3_tables.h"

namespace zv::mpeg {

// What joint-stereo processing of one granule needs to know.
struct StereoGranule {
  const MpegHeader& header;
  const GranuleInfo& right;          // side information of the right channel
  const ScaleFactorBands& bands;
  const ScaleFactors& right_factors; // the intensity positions
  bool mid_side;
  bool intensity;
  int intensity_scale;               // LSF: selects the intensity factor base
};

// Turns the dequantised mid/side and intensity-coded lines of a granule into
// left and right. Bands above the right channel's last non-zero line carry
// intensity positions (when intensity stereo is on); the rest is mid/side
// when that is on and left as it is otherwise. Afterwards both channels'
// active line counts are the larger of the two.
void ProcessStereo(const StereoGranule& granule, float* left, float* right, int active_lines[2]);

}  // namespace zv::mpeg
