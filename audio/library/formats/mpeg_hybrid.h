#pragma once

namespace zv::mpeg {

// How the spectrum of one granule and channel is laid out in blocks.
struct BlockLayout {
  int block_type = 0;     // 0 normal, 1 start, 2 short, 3 stop
  int mixed = 0;          // short blocks with the two lowest sub-bands long
  int active_lines = 0;   // lines at and past this one are zero
};

// The hybrid filter bank of layer III for one granule and channel: anti-alias
// butterflies between long-block sub-bands, the IMDCT of each sub-band
// (36-point for long blocks, three 12-point ones for short blocks), the
// block type's window, overlap-add with the previous granule and the
// frequency inversion of odd sub-bands. `spectrum` holds 576 lines, short
// blocks already in sub-band order (sub-band, window, line); it is
// overwritten. `overlap` is the channel's 576-value memory. Writes 18 time
// slots of 32 sub-band samples to `output` ([slot][sub-band]).
void HybridSynthesis(float* spectrum, const BlockLayout& layout, float* overlap,
                     float output[18][32]);

}  // namespace zv::mpeg
