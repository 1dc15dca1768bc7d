#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/library/formats/mpeg_decoder.h"

namespace zv::test {

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

// Output of a whole stream decoded frame by frame.
struct DecodedStream {
  std::vector<std::int16_t> pcm;
  std::vector<int> frame_bytes;  // output bytes of each frame taken
  int channels = 0;
  int rate = 0;
};

// Decodes `stream` from its first byte, one frame after another, as the
// sound library's loader does: each frame starts where the one before ended,
// and decoding stops at the first position that holds no valid header.
DecodedStream DecodeStream(MpegDecoder& decoder, const std::vector<std::uint8_t>& stream);
DecodedStream DecodeStream(const std::vector<std::uint8_t>& stream);

// The frames of a clean stream, each a copy starting with its header.
std::vector<std::vector<std::uint8_t>> SplitFrames(const std::vector<std::uint8_t>& stream);

}  // namespace zv::test
