#include "tests/audio/library/formats/mpeg_test_stream.h"

#include <fstream>
#include <iterator>
#include <span>

namespace zv::test {

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

DecodedStream DecodeStream(MpegDecoder& decoder, const std::vector<std::uint8_t>& stream) {
  DecodedStream out;
  std::vector<std::int16_t> frame_pcm(kMpegMaxFrameSamples);
  std::size_t pos = 0;
  while (pos + 4 <= stream.size()) {
    const std::span<const std::uint8_t> rest = std::span(stream).subspan(pos);
    int rate = 0, channels = 0, frame_size = 0;
    if (!ParseMpegHeader(decoder, rest, &rate, &channels, &frame_size)) break;
    int bytes = 0;
    if (!DecodeMpegFrame(decoder, rest, frame_pcm, bytes)) break;
    out.rate = rate;
    out.channels = channels;
    out.frame_bytes.push_back(bytes);
    out.pcm.insert(out.pcm.end(), frame_pcm.begin(), frame_pcm.begin() + bytes / 2);
    pos += 4 + static_cast<std::size_t>(frame_size);
  }
  return out;
}

DecodedStream DecodeStream(const std::vector<std::uint8_t>& stream) {
  MpegDecoder decoder;
  return DecodeStream(decoder, stream);
}

std::vector<std::vector<std::uint8_t>> SplitFrames(const std::vector<std::uint8_t>& stream) {
  std::vector<std::vector<std::uint8_t>> frames;
  std::size_t pos = 0;
  while (pos + 4 <= stream.size()) {
    MpegDecoder parser;
    int frame_size = 0;
    if (!ParseMpegHeader(parser, std::span(stream).subspan(pos), nullptr, nullptr, &frame_size)) break;
    const std::size_t end = std::min(stream.size(), pos + 4 + static_cast<std::size_t>(frame_size));
    frames.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(pos),
                        stream.begin() + static_cast<std::ptrdiff_t>(end));
    pos = end;
  }
  return frames;
}

}  // namespace zv::test
