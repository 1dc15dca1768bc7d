#include "audio/library/formats/mpeg_hybrid.h"

#include <algorithm>

#include "audio/library/formats/mpeg_layer3_tables.h"

namespace zv::mpeg {
namespace {

void AntiAlias(float* spectrum, int boundaries, const Layer3Tables& t) {
  for (int sb = 0; sb < boundaries; ++sb) {
    float* low = spectrum + 18 * sb + 17;
    float* high = spectrum + 18 * (sb + 1);
    for (int i = 0; i < 8; ++i) {
      const float a = low[-i], b = high[i];
      low[-i] = a * t.alias_cs[i] - b * t.alias_ca[i];
      high[i] = b * t.alias_cs[i] + a * t.alias_ca[i];
    }
  }
}

// 36-point IMDCT of 18 lines, windowed. The IMDCT is a DCT-IV of 18 points
// unfolded by its symmetries.
void LongImdct(const float* in, const float* window, const Layer3Tables& t, float out[36]) {
  alignas(16) float y[20] = {};
  for (int k = 0; k < 18; ++k) {
    const float x = in[k];
    if (x == 0.0f) continue;
    const float* row = t.dct18[k];
    for (int j = 0; j < 20; ++j) y[j] += x * row[j];
  }
  for (int i = 0; i < 9; ++i) out[i] = y[i + 9] * window[i];
  for (int i = 9; i < 27; ++i) out[i] = -y[26 - i] * window[i];
  for (int i = 27; i < 36; ++i) out[i] = -y[i - 27] * window[i];
}

// Three overlapping 12-point IMDCTs of 6 lines each, placed 6 apart from
// offset 6 of the 36-value block.
void ShortImdct(const float* in, const Layer3Tables& t, float out[36]) {
  std::fill(out, out + 36, 0.0f);
  const float* window = t.window[2];
  for (int w = 0; w < 3; ++w) {
    const float* lines = in + 6 * w;
    float y[6] = {};
    for (int k = 0; k < 6; ++k) {
      for (int j = 0; j < 6; ++j) y[j] += lines[k] * t.dct6[k][j];
    }
    float* block = out + 6 + 6 * w;
    for (int i = 0; i < 3; ++i) block[i] += y[i + 3] * window[i];
    for (int i = 3; i < 9; ++i) block[i] += -y[8 - i] * window[i];
    for (int i = 9; i < 12; ++i) block[i] += -y[i - 9] * window[i];
  }
}

}  // namespace

void HybridSynthesis(float* spectrum, const BlockLayout& layout, float* overlap,
                     float output[18][32]) {
  const Layer3Tables& t = GetLayer3Tables();
  int active = std::clamp((layout.active_lines + 17) / 18, 0, 32);

  if (layout.block_type != 2 || layout.mixed) {
    const int long_subbands = layout.block_type == 2 ? 2 : 32;
    const int boundaries = std::min(active, long_subbands - 1);
    AntiAlias(spectrum, boundaries, t);
    // The butterflies reach into the first silent sub-band.
    if (boundaries == active && active < long_subbands) ++active;
  }

  float block[36];
  for (int sb = 0; sb < 32; ++sb) {
    float* memory = overlap + 18 * sb;
    if (sb >= active) {
      for (int i = 0; i < 18; ++i) {
        output[i][sb] = memory[i];
        memory[i] = 0.0f;
      }
    } else {
      const bool short_block = layout.block_type == 2 && !(layout.mixed && sb < 2);
      if (short_block) {
        ShortImdct(spectrum + 18 * sb, t, block);
      } else {
        const int type = layout.block_type == 2 ? 0 : layout.block_type;
        LongImdct(spectrum + 18 * sb, t.window[type], t, block);
      }
      for (int i = 0; i < 18; ++i) {
        output[i][sb] = block[i] + memory[i];
        memory[i] = block[i + 18];
      }
    }
    if (sb & 1) {
      for (int i = 1; i < 18; i += 2) output[i][sb] = -output[i][sb];
    }
  }
}

}  // namespace zv::mpeg
