#include "audio/library/volume_table.h"

#include <algorithm>
#include <cmath>

namespace zv {
namespace {

struct Row {
  int32_t volume;
  int32_t millibels;
};

// Rows the curve passes through; between them it runs straight against the
// logarithm of the volume. It flattens towards the quiet end, so the
// softest volumes stay audible.
constexpr Row kRows[] = {{1, -7678},  {2, -6830},  {8, -4955},   {16, -3977}, {32, -2988}, {64, -1994},
                         {128, -997}, {192, -413}, {250, -32},   {254, -5},   {255, 0}};

std::array<int32_t, 256> MakeTable() {
  std::array<int32_t, 256> table{};
  table[0] = -10000;
  for (int32_t v = 1; v < 256; ++v) {
    const Row* upper = std::find_if(std::begin(kRows), std::end(kRows), [v](const Row& r) { return r.volume >= v; });
    if (upper->volume == v || upper == std::begin(kRows)) {
      table[static_cast<size_t>(v)] = upper->millibels;
      continue;
    }
    const Row* lower = upper - 1;
    const double t = (std::log2(v) - std::log2(lower->volume)) / (std::log2(upper->volume) - std::log2(lower->volume));
    table[static_cast<size_t>(v)] =
        static_cast<int32_t>(std::lround(lower->millibels + t * (upper->millibels - lower->millibels)));
  }
  return table;
}

}  // namespace

const std::array<int32_t, 256>& VolumeTable() {
  static const std::array<int32_t, 256> table = MakeTable();
  return table;
}

int32_t VolumeMillibels(int32_t volume) { return VolumeTable()[static_cast<size_t>(std::clamp(volume, 0, 255))]; }

float MillibelsToGain(int32_t millibels) {
  if (millibels <= -10000) return 0.0f;
  return static_cast<float>(std::pow(10.0, millibels / 2000.0));
}

int32_t GainToMillibels(float gain) {
  if (!(gain > 0.0f)) return -10000;
  gain = std::min(gain, 1.0e6f);
  return std::max<int32_t>(-10000, static_cast<int32_t>(std::lround(2000.0 * std::log10(gain))));
}

}  // namespace zv
