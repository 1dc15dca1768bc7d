// Feeds arbitrary bytes to the MPEG audio decoder the way the sound library's
// loader walks a stream: at every position that holds a valid header the
// frame there is decoded from the bytes that remain, then the walk moves on
// by the frame's size (or by one byte when nothing was taken). The first
// byte picks how often the walk restarts the decoder (no history, no bit
// reservoir), as a stream that jumps within the file does.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "audio/library/formats/mpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int reset_every = data[0] & 7;
  const std::span<const std::uint8_t> stream(data + 1, size - 1);

  zv::MpegDecoder decoder;
  std::vector<std::int16_t> pcm(zv::kMpegMaxFrameSamples);
  std::size_t pos = 0;
  int frames = 0;
  while (pos + 4 <= stream.size()) {
    const std::span<const std::uint8_t> rest = stream.subspan(pos);
    int frame_size = 0;
    if (!zv::ParseMpegHeader(decoder, rest, nullptr, nullptr, &frame_size)) {
      ++pos;
      continue;
    }
    int bytes = 0;
    if (zv::DecodeMpegFrame(decoder, rest, pcm, bytes)) {
      if (bytes < 0 || bytes > zv::kMpegMaxFrameSamples * 2) __builtin_trap();
      pos += 4 + static_cast<std::size_t>(frame_size);
    } else {
      ++pos;
    }
    if (reset_every && ++frames % reset_every == 0) zv::RestartMpegDecoder(decoder);
  }
  return 0;
}
