#include "audio/library/formats/mpeg_header.h"

#include <algorithm>

#include "audio/library/formats/mpeg_decoder.h"

namespace zv {
namespace {

constexpr int kSampleRates[9] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};

// kbit/s by [LSF][layer - 2][bitrate index]; index 15 stays 0 and fails the
// frame-size check.
constexpr int kBitrates[2][2][16] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};

constexpr int kLayer2SubbandLimits[5] = {27, 30, 8, 12, 30};

// The standard's choice of MPEG-1 layer II allocation table by sampling
// frequency and bitrate per channel.
int ChooseLayer2Table(int rate_index, int kbps, int channels) {
  const int per_channel = kbps / channels;
  if (rate_index == 1) return per_channel <= 48 ? 2 : 0;
  if (per_channel <= 48) return rate_index == 2 ? 3 : 2;
  return per_channel <= 80 ? 0 : 1;
}

}  // namespace

int MpegSampleRate(int rate_index) {
  return rate_index >= 0 && rate_index < 9 ? kSampleRates[rate_index] : 0;
}

int MpegHeader::bitrate_kbps() const {
  if (layer < 2 || layer > 3 || bitrate_index < 0 || bitrate_index > 15) return 0;
  return kBitrates[lsf][layer - 2][bitrate_index];
}

int MpegHeader::sample_rate() const { return MpegSampleRate(rate_index); }

bool ReadMpegHeader(std::span<const std::uint8_t> bytes, MpegHeader& h) {
  h = MpegHeader{};
  if (bytes.size() < 4) return false;
  const std::uint32_t word = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                             (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
  if ((word >> 24) != 0xFF) return false;

  h.word = word;
  if (word & (1u << 20)) {
    h.lsf = (word & (1u << 19)) ? 0 : 1;
  } else {
    h.lsf = 1;
    h.mpeg25 = 1;
  }
  h.layer = 4 - static_cast<int>((word >> 17) & 3);
  if (h.layer != 2 && h.layer != 3) return false;

  const int rate_code = static_cast<int>((word >> 10) & 3);
  if (rate_code == 3) return false;
  h.rate_index = h.mpeg25 ? rate_code + 6 : rate_code + 3 * h.lsf;

  h.crc_present = (word & (1u << 16)) ? 0 : 1;
  h.bitrate_index = static_cast<int>((word >> 12) & 15);
  h.padding = static_cast<int>((word >> 9) & 1);
  h.private_bit = static_cast<int>((word >> 8) & 1);
  h.mode = static_cast<int>((word >> 6) & 3);
  h.mode_extension = static_cast<int>((word >> 4) & 3);
  h.copyright = static_cast<int>((word >> 3) & 1);
  h.original = static_cast<int>((word >> 2) & 1);
  h.emphasis = static_cast<int>(word & 3);
  h.channels = h.mode == 3 ? 1 : 2;
  if (h.bitrate_index == 0) return false;  // free format is not decoded

  const int kbps = h.bitrate_kbps();
  const int sample_rate = h.sample_rate();
  if (h.layer == 2) {
    h.allocation_table = h.lsf ? 4 : ChooseLayer2Table(h.rate_index, kbps, h.channels);
    h.subband_limit = kLayer2SubbandLimits[h.allocation_table];
    // A bound past the limit would name sub-bands that have no allocation.
    h.joint_bound =
        h.mode == 1 ? std::min(4 * h.mode_extension + 4, h.subband_limit) : h.subband_limit;
    h.frame_size = kbps * 144000 / sample_rate + h.padding - 4;
  } else {
    h.frame_size = kbps * 144000 / (sample_rate << h.lsf) + h.padding - 4;
  }
  return h.frame_size >= 16;
}

bool ParseMpegHeader(MpegDecoder& decoder, std::span<const std::uint8_t> bytes, int* rate,
                     int* channels, int* frame_size) {
  MpegHeader h;
  const bool valid = ReadMpegHeader(bytes, h);
  // The lock follows the first header that names layer II or III, valid or not.
  if (h.layer == 2 || h.layer == 3) {
    if (decoder.locked_layer == 0) decoder.locked_layer = h.layer;
    if (h.layer != decoder.locked_layer) return false;
  }
  if (!valid) return false;

  decoder.header = h;
  decoder.frame_size = h.frame_size;
  if (rate) *rate = h.sample_rate();
  if (channels) *channels = h.channels;
  if (frame_size) *frame_size = h.frame_size;
  return true;
}

}  // namespace zv
