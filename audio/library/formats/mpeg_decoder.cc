#include "audio/library/formats/mpeg_decoder.h"

#include "audio/library/formats/mpeg_bit_reader.h"
#include "audio/library/formats/mpeg_huffman.h"
#include "audio/library/formats/mpeg_layer2.h"
#include "audio/library/formats/mpeg_layer3.h"
#include "audio/library/formats/mpeg_synthesis.h"

namespace zv {

void InitDecoderTables() {
  mpeg::InitSynthesisTables();
  mpeg::InitLayer2Tables();
  mpeg::InitLayer3Tables();
  mpeg::InitHuffmanTables();
}

void RestartMpegDecoder(MpegDecoder& decoder) {
  const int layer = decoder.locked_layer;
  const int total = decoder.total_decoded_bytes;
  decoder = MpegDecoder{};
  decoder.locked_layer = layer;
  decoder.total_decoded_bytes = total;
}

bool DecodeMpegFrame(MpegDecoder& decoder, std::span<const std::uint8_t> frame,
                     std::span<std::int16_t> output, int& output_bytes) {
  output_bytes = 0;
  if (decoder.frame_size == 0 && !ParseMpegHeader(decoder, frame)) return false;
  const MpegHeader& h = decoder.header;
  const int body_size = decoder.frame_size;
  // The parsed header is used up whether or not the frame can be taken, so
  // that the next call looks at its own bytes.
  decoder.frame_size = 0;
  const std::size_t needed = static_cast<std::size_t>(h.samples_per_channel() * h.channels);
  if (body_size > kMpegMaxFrameBody || frame.size() < 4 + static_cast<std::size_t>(body_size) ||
      output.size() < needed) {
    return false;
  }

  const std::span<const std::uint8_t> body = frame.subspan(4, static_cast<std::size_t>(body_size));
  int values = 0;
  if (h.layer == 2) {
    mpeg::BitReader bits(body.data(), body.size());
    if (h.crc_present) bits.Skip(16);  // the CRC is not checked
    values = mpeg::DecodeLayer2(decoder, bits, output.data());
  } else {
    values = mpeg::DecodeLayer3(decoder, body, output.data());
  }
  output_bytes = values * 2;
  decoder.previous_frame_size = body_size;
  return true;
}

}  // namespace zv
