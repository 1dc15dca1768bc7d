#include "audio/library/formats/mpeg_layer3_stereo.h"

#include <algorithm>
#include <numbers>

namespace zv::mpeg {
namespace {

void MidSide(float* left, float* right, int begin, int end) {
  constexpr float kHalfRoot = static_cast<float>(std::numbers::sqrt2 / 2.0);
  for (int i = begin; i < end; ++i) {
    const float m = left[i], s = right[i];
    left[i] = (m + s) * kHalfRoot;
    right[i] = (m - s) * kHalfRoot;
  }
}

// Gains of the left and right channel for an intensity position, or false
// when the position is the illegal one (the band is then coded normally).
bool IntensityGains(const StereoGranule& g, int position, int max, float& left_gain,
                    float& right_gain) {
  const Layer3Tables& t = GetLayer3Tables();
  if (!g.header.lsf) {
    if (position < 0 || position >= 7) return false;
    left_gain = t.intensity_left[position];
    right_gain = t.intensity_right[position];
    return true;
  }
  if (position == max) return false;
  const float* factor = t.lsf_intensity[g.intensity_scale & 1];
  left_gain = right_gain = 1.0f;
  if (position & 1) {
    left_gain = factor[std::min((position + 1) / 2, 31)];
  } else {
    right_gain = factor[std::min(position / 2, 31)];
  }
  return true;
}

// Stereo processing of lines [begin, end) that belong to one band.
void ProcessBand(const StereoGranule& g, float* left, float* right, int begin, int end,
                 bool intensity_band, int position, int max) {
  float left_gain, right_gain;
  if (intensity_band && IntensityGains(g, position, max, left_gain, right_gain)) {
    for (int i = begin; i < end; ++i) {
      const float x = left[i];
      left[i] = x * left_gain;
      right[i] = x * right_gain;
    }
    return;
  }
  if (g.mid_side) MidSide(left, right, begin, end);
}

// Long bands [0, band_end) whose lines lie below `line_limit`.
void ProcessLongBands(const StereoGranule& g, float* left, float* right, int band_end,
                      int line_limit, int right_end, bool intensity_allowed) {
  const int* start = g.bands.long_start;
  for (int sfb = 0; sfb < band_end; ++sfb) {
    const int begin = start[sfb], end = std::min(start[sfb + 1], line_limit);
    if (begin >= end) break;
    const int factor_band = std::min(sfb, 20);  // the last band has no factor of its own
    ProcessBand(g, left, right, begin, end, intensity_allowed && begin >= right_end,
                g.right_factors.long_sf[factor_band], g.right_factors.long_max[factor_band]);
  }
}

}  // namespace

void ProcessStereo(const StereoGranule& g, float* left, float* right, int active_lines[2]) {
  const int active = std::max(active_lines[0], active_lines[1]);
  active_lines[0] = active_lines[1] = active;
  if (!g.intensity) {
    if (g.mid_side) MidSide(left, right, 0, active);
    return;
  }

  if (!g.right.short_blocks()) {
    int right_end = 576;
    while (right_end > 0 && right[right_end - 1] == 0.0f) --right_end;
    ProcessLongBands(g, left, right, 22, 576, right_end, true);
    return;
  }

  // Short blocks: each window has its own intensity region above its last
  // non-zero line of the right channel.
  const int* s = g.bands.short_start;
  const int first_band = g.right.mixed_block ? 3 : 0;
  int window_end[3];
  bool short_part_silent = true;
  for (int w = 0; w < 3; ++w) {
    window_end[w] = 0;
    for (int sfb = 12; sfb >= first_band && window_end[w] == 0; --sfb) {
      const int width = s[sfb + 1] - s[sfb];
      const float* lines = right + 3 * s[sfb] + w * width;
      for (int j = width - 1; j >= 0; --j) {
        if (lines[j] != 0.0f) {
          window_end[w] = s[sfb] + j + 1;
          break;
        }
      }
    }
    if (window_end[w] > 0) short_part_silent = false;
  }
  if (g.right.mixed_block) {
    int right_end = 36;
    while (right_end > 0 && right[right_end - 1] == 0.0f) --right_end;
    ProcessLongBands(g, left, right, 22, 36, right_end, short_part_silent);
  }
  for (int sfb = first_band; sfb < 13; ++sfb) {
    const int width = s[sfb + 1] - s[sfb];
    const int factor_band = std::min(sfb, 11);
    for (int w = 0; w < 3; ++w) {
      const int begin = 3 * s[sfb] + w * width;
      ProcessBand(g, left, right, begin, begin + width, s[sfb] >= window_end[w],
                  g.right_factors.short_sf[factor_band][w], g.right_factors.short_max[factor_band]);
    }
  }
}

}  // namespace zv::mpeg
