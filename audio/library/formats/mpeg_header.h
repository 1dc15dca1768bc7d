#pragma once

#include <cstdint>
#include <span>

namespace zv {

struct MpegDecoder;

// The fields of one MPEG audio frame header, as ParseMpegHeader found them.
struct MpegHeader {
  std::uint32_t word = 0;       // the four header bytes, big-endian
  int layer = 0;                // 2 or 3
  int lsf = 0;                  // 1 for MPEG-2 and MPEG-2.5 (lower sampling frequencies)
  int mpeg25 = 0;               // 1 for MPEG-2.5
  int crc_present = 0;          // 1 when the protection bit is 0: 16 CRC bits follow
  int bitrate_index = 0;
  int rate_index = 0;           // 0..8 over 44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000
  int padding = 0;
  int private_bit = 0;
  int mode = 0;                 // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  int mode_extension = 0;
  int copyright = 0;
  int original = 0;
  int emphasis = 0;
  int channels = 0;             // 1 for single channel, else 2
  int frame_size = 0;           // body bytes after the 4 header bytes
  // Layer II only.
  int allocation_table = 0;     // 0..3 for MPEG-1 by rate and bitrate, 4 for LSF
  int subband_limit = 0;        // 27, 30, 8, 12 or 30 by allocation table
  int joint_bound = 0;          // first sub-band coded jointly, or the limit

  int bitrate_kbps() const;
  int sample_rate() const;
  // PCM samples per channel that the frame decodes to.
  int samples_per_channel() const { return layer == 3 && lsf ? 576 : 1152; }
};

// Sample rate in Hz by rate index 0..8.
int MpegSampleRate(int rate_index);

// Reads the first four of `bytes` as a layer II or III frame header into
// `header`; false for fewer than four bytes or an invalid header (`header`
// then keeps the fields read before the check that failed).
bool ReadMpegHeader(std::span<const std::uint8_t> bytes, MpegHeader& header);

// Validates the first four of `bytes` as a layer II or III frame header and
// stores its fields in the decoder (and the decoder's frame size). The first
// header that names a layer II or III locks the decoder to that layer, even
// when a later check rejects it; headers of the other layer are invalid from
// then on. False for fewer than four bytes or an invalid header.
bool ParseMpegHeader(MpegDecoder& decoder, std::span<const std::uint8_t> bytes,
                     int* rate = nullptr, int* channels = nullptr, int* frame_size = nullptr);

}  // namespace zv
