#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "audio/library/formats/mpeg_header.h"

namespace zv {

// Largest frame body (bytes after the 4 header bytes) that the decoder takes.
// It covers every layer III frame and every MPEG-1 and MPEG-2 layer II frame;
// only layer II at the MPEG-2.5 rates can be larger, and such frames are
// rejected.
inline constexpr int kMpegMaxFrameBody = 1792;
// Most 16-bit values one frame decodes to: 1152 samples for each of 2 channels.
inline constexpr int kMpegMaxFrameSamples = 2304;
// Most main-data bytes a layer III frame may take from the frames before it.
inline constexpr int kMpegMaxReservoir = 511;

namespace mpeg {

// History of the polyphase synthesis of one channel: the 64 values that each
// of the last 16 steps produced, indexed by the decoder's synthesis phase.
struct SynthesisHistory {
  alignas(16) float v[16][64] = {};
};

}  // namespace mpeg

// The state of one decoded stream. Everything that changes while decoding
// lives here, so decoders are independent of each other and may run on
// different threads at once. The constant tables are shared (see
// InitDecoderTables).
struct MpegDecoder {
  // Body size of a parsed but not yet decoded frame; 0 means the next
  // DecodeMpegFrame parses the header itself.
  int frame_size = 0;
  // Body size of the last decoded frame; -1 means no earlier frame, so no
  // bit reservoir (setting it to -1 also drops a reservoir already held, for
  // a caller that jumps within the stream).
  int previous_frame_size = -1;
  // Layer locked by the first header parsed; 0 = none yet.
  int locked_layer = 0;
  // Decoded bytes of the whole stream, when a caller counted them (0 = not).
  int total_decoded_bytes = 0;
  // 0..15; stepped back before every synthesis step.
  int synthesis_phase = 1;
  MpegHeader header;

  std::array<mpeg::SynthesisHistory, 2> synthesis;
  // Layer III overlap-add memory of the hybrid filter bank, per channel.
  alignas(16) float overlap[2][576] = {};
  // The newest main-data bytes of the frames decoded so far (layer III).
  std::array<std::uint8_t, kMpegMaxReservoir> reservoir = {};
  int reservoir_bytes = 0;
};

// Puts the decoder back where it stood before its first frame: no synthesis
// or overlap history and no bit reservoir, so that decoding from a frame on
// gives what a fresh decoder gives. The layer lock and the counted length of
// the stream stay.
void RestartMpegDecoder(MpegDecoder& decoder);

// Builds the constant tables that all decoders share. Safe to call more than
// once and from several threads; decoding builds them on first use as well.
void InitDecoderTables();

// Decodes one frame: `frame` starts with the 4 header bytes. Writes the PCM
// samples, 16-bit, interleaved left then right for two channels, to `output`
// and their size in bytes to `output_bytes` (0 for a frame that yields
// nothing, such as one whose bit reservoir reaches back before the first
// frame decoded, or one with damaged side information).
// Returns true when the frame was taken, false when it was not: an invalid
// header, a frame larger than `frame`, a body over kMpegMaxFrameBody bytes or
// an `output` too small for the frame's samples. Nothing is written then.
bool DecodeMpegFrame(MpegDecoder& decoder, std::span<const std::uint8_t> frame,
                     std::span<std::int16_t> output, int& output_bytes);

}  // namespace zv
