#include "audio/library/formats/mpeg_layer3.h"

#include <algorithm>
#include <cstring>

#include "audio/library/formats/mpeg_bit_reader.h"
#include "audio/library/formats/mpeg_huffman.h"
#include "audio/library/formats/mpeg_hybrid.h"
#include "audio/library/formats/mpeg_layer3_side_info.h"
#include "audio/library/formats/mpeg_layer3_stereo.h"
#include "audio/library/formats/mpeg_layer3_tables.h"
#include "audio/library/formats/mpeg_synthesis.h"

namespace zv::mpeg {
namespace {

// Padding behind the main data so that bit reads near its end stay inside
// the buffer's own bytes.
constexpr int kMainDataPadding = 16;

// Main data of one frame: the reservoir bytes it reaches back to, then the
// main data of its own body.
struct MainData {
  std::uint8_t bytes[kMpegMaxReservoir + kMpegMaxFrameBody + kMainDataPadding];
  int size = 0;
};

// Working memory of one granule; kept off the decoder since nothing of it
// outlives the granule.
struct GranuleWork {
  alignas(16) int values[576];
  alignas(16) float spectrum[2][576];
  alignas(16) float reordered[576];
  alignas(16) float subbands[18][32];
  ScaleFactors scale_factors[2];
  int active_lines[2] = {};
};

// Where the big-values regions end. With window switching region 0 spans
// the bands that region0_count implies (8 long bands, or 9 short bands in
// three windows: 3 x the start of short band 3) and region 1 the rest.
HuffmanRegions RegionsOf(const GranuleInfo& g, const ScaleFactorBands& bands, std::size_t end_bit) {
  HuffmanRegions r;
  const int big = g.big_values * 2;
  int region1 = 576, region2 = 576;
  if (!g.window_switching) {
    region1 = bands.long_start[std::min(g.region0_count + 1, 22)];
    region2 = bands.long_start[std::min(g.region0_count + g.region1_count + 2, 22)];
  } else if (!g.short_blocks()) {
    region1 = bands.long_start[8];
  } else if (g.mixed_block) {
    region1 = 36;
  } else {
    region1 = 3 * bands.short_start[3];
  }
  r.region_end[0] = std::min(region1, big);
  r.region_end[1] = std::min(region2, big);
  r.region_end[2] = big;
  for (int i = 0; i < 3; ++i) r.table_select[i] = g.table_select[i];
  r.count1_table = g.count1_table;
  r.end_bit = end_bit;
  return r;
}

inline float Gain(const Layer3Tables& t, int quarter_steps) {
  const int index = std::clamp(quarter_steps + Layer3Tables::kGainOffset, 0,
                               Layer3Tables::kGainOffset + 63);
  return t.gain[index];
}

inline float Requantize(const Layer3Tables& t, int value, float gain) {
  const int magnitude = std::min(value < 0 ? -value : value, Layer3Tables::kMaxMagnitude);
  const float x = t.power43[magnitude] * gain;
  return value < 0 ? -x : x;
}

// Lines [begin, end) of `values` requantised into `out`, with one gain.
void RequantizeRange(const Layer3Tables& t, const int* values, float* out, int begin, int end,
                     float gain) {
  for (int i = begin; i < end; ++i) out[i] = values[i] == 0 ? 0.0f : Requantize(t, values[i], gain);
}

void RequantizeGranule(const GranuleInfo& g, const ScaleFactors& sf, const ScaleFactorBands& bands,
                       const int* values, int active, float* out) {
  const Layer3Tables& t = GetLayer3Tables();
  const int shift = 1 + g.scalefac_scale;
  const int base = g.global_gain - 210;
  std::fill(out, out + 576, 0.0f);
  int short_from_band = 0;
  if (!g.short_blocks() || g.mixed_block) {
    const int long_end = g.short_blocks() ? 36 : 576;
    for (int sfb = 0; sfb < 22; ++sfb) {
      const int begin = bands.long_start[sfb];
      if (begin >= std::min(long_end, active)) break;
      const int end = std::min({bands.long_start[sfb + 1], long_end, active});
      const int factor = sf.long_sf[sfb] + (g.preflag ? kPretab[sfb] : 0);
      RequantizeRange(t, values, out, begin, end, Gain(t, base - (factor << shift)));
    }
    if (!g.short_blocks()) return;
    short_from_band = 3;
  }
  for (int sfb = short_from_band; sfb < 13; ++sfb) {
    const int width = bands.short_start[sfb + 1] - bands.short_start[sfb];
    for (int w = 0; w < 3; ++w) {
      const int begin = 3 * bands.short_start[sfb] + w * width;
      if (begin >= active) return;
      const int end = std::min(begin + width, active);
      const int quarters = base - 8 * g.subblock_gain[w] - (sf.short_sf[sfb][w] << shift);
      RequantizeRange(t, values, out, begin, end, Gain(t, quarters));
    }
  }
}

// Puts the short-block lines of a granule into sub-band order.
void ReorderShort(const GranuleInfo& g, int rate_index, float* spectrum, float* scratch) {
  const std::uint16_t* order = GetLayer3Tables().short_order[rate_index];
  const int first = g.mixed_block ? 36 : 0;
  for (int i = first; i < 576; ++i) scratch[i] = spectrum[order[i]];
  std::memcpy(spectrum + first, scratch + first, sizeof(float) * static_cast<std::size_t>(576 - first));
}

int LastNonZero(const int* values, int end) {
  while (end > 0 && values[end - 1] == 0) --end;
  return end;
}

// Assembles the frame's main data behind the reservoir bytes it asks for.
// False when the reservoir does not hold that many bytes.
bool AssembleMainData(const MpegDecoder& decoder, int main_data_begin,
                      std::span<const std::uint8_t> own, MainData& md) {
  if (main_data_begin > decoder.reservoir_bytes) return false;
  const std::uint8_t* reservoir_end = decoder.reservoir.data() + decoder.reservoir_bytes;
  std::memcpy(md.bytes, reservoir_end - main_data_begin, static_cast<std::size_t>(main_data_begin));
  std::memcpy(md.bytes + main_data_begin, own.data(), own.size());
  md.size = main_data_begin + static_cast<int>(own.size());
  return true;
}

// Keeps the newest main-data bytes for the frames that follow.
void FillReservoir(MpegDecoder& decoder, std::span<const std::uint8_t> own) {
  const int keep_old = std::max(0, std::min(decoder.reservoir_bytes,
                                            kMpegMaxReservoir - static_cast<int>(own.size())));
  std::memmove(decoder.reservoir.data(),
               decoder.reservoir.data() + decoder.reservoir_bytes - keep_old,
               static_cast<std::size_t>(keep_old));
  const int take = std::min(static_cast<int>(own.size()), kMpegMaxReservoir);
  std::memcpy(decoder.reservoir.data() + keep_old, own.data() + own.size() - take,
              static_cast<std::size_t>(take));
  decoder.reservoir_bytes = keep_old + take;
}

// Decodes the granules of a frame; returns how many were decoded before a
// damaged one stopped the frame.
int DecodeGranules(MpegDecoder& decoder, SideInfo& side, const MainData& md, std::int16_t* pcm) {
  const MpegHeader& h = decoder.header;
  const int channels = h.channels;
  const ScaleFactorBands& bands = BandsFor(h.rate_index);
  const bool ms_stereo = h.mode == 1 && (h.mode_extension & 2);
  const bool intensity_stereo = h.mode == 1 && (h.mode_extension & 1);

  BitReader bits(md.bytes, static_cast<std::size_t>(md.size));
  GranuleWork work;
  for (int gr = 0; gr < side.granules; ++gr) {
    int intensity_scale = 0;
    for (int ch = 0; ch < channels; ++ch) {
      GranuleInfo& g = side.granule[gr][ch];
      const std::size_t start = bits.position();
      const std::size_t end_bit = start + static_cast<std::size_t>(g.part2_3_length);
      ScaleFactors& sf = work.scale_factors[ch];
      if (h.lsf) {
        sf = ScaleFactors{};
        ReadScaleFactorsLsf(bits, g, intensity_stereo && ch == 1, sf, intensity_scale);
      } else {
        if (gr == 0) sf = ScaleFactors{};
        ReadScaleFactorsMpeg1(bits, g, side.scfsi[ch], gr, sf);
      }
      const int end = DecodeHuffman(bits, RegionsOf(g, bands, end_bit), work.values);
      if (end < 0 || bits.overran()) return gr;
      const int active = LastNonZero(work.values, end);
      work.active_lines[ch] = active;
      RequantizeGranule(g, sf, bands, work.values, active, work.spectrum[ch]);
    }

    if (channels == 2 && (ms_stereo || intensity_stereo)) {
      StereoGranule stereo{h, side.granule[gr][1], bands, work.scale_factors[1], ms_stereo,
                           intensity_stereo, intensity_scale};
      ProcessStereo(stereo, work.spectrum[0], work.spectrum[1], work.active_lines);
    }

    for (int ch = 0; ch < channels; ++ch) {
      const GranuleInfo& g = side.granule[gr][ch];
      if (g.short_blocks()) ReorderShort(g, h.rate_index, work.spectrum[ch], work.reordered);
      BlockLayout layout{g.block_type, g.short_blocks() ? g.mixed_block : 0,
                         g.short_blocks() ? 576 : work.active_lines[ch]};
      HybridSynthesis(work.spectrum[ch], layout, decoder.overlap[ch], work.subbands);
      std::int16_t* out = pcm + gr * 576 * channels;
      for (int slot = 0; slot < 18; ++slot) {
        SynthesizeStep(decoder.synthesis[ch], (decoder.synthesis_phase - 1 - slot) & 15,
                       work.subbands[slot], out + slot * 32 * channels + ch, channels);
      }
    }
    decoder.synthesis_phase = (decoder.synthesis_phase - 18) & 15;
  }
  return side.granules;
}

}  // namespace

void InitLayer3Tables() { (void)GetLayer3Tables(); }

int DecodeLayer3(MpegDecoder& decoder, std::span<const std::uint8_t> body, std::int16_t* pcm) {
  const MpegHeader& h = decoder.header;
  const int side_offset = h.crc_present ? 2 : 0;
  const int main_offset = side_offset + SideInfoBytes(h);
  if (static_cast<int>(body.size()) < main_offset) return 0;

  BitReader side_bits(body.data() + side_offset, static_cast<std::size_t>(SideInfoBytes(h)));
  SideInfo side;
  const bool side_valid = ReadSideInfo(h, side_bits, side);
  const std::span<const std::uint8_t> own = body.subspan(static_cast<std::size_t>(main_offset));

  if (decoder.previous_frame_size < 0) decoder.reservoir_bytes = 0;
  MainData md;
  const bool assembled = side_valid && AssembleMainData(decoder, side.main_data_begin, own, md);
  FillReservoir(decoder, own);
  if (!assembled) return 0;
  std::memset(md.bytes + md.size, 0, kMainDataPadding);
  const int granules = DecodeGranules(decoder, side, md, pcm);
  return granules * 576 * h.channels;
}

}  // namespace zv::mpeg
