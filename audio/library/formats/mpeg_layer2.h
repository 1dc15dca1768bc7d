#pragma once

#include <cstdint>

#include "audio/library/formats/mpeg_bit_reader.h"
#include "audio/library/formats/mpeg_decoder.h"

namespace zv::mpeg {

// Decodes the layer II frame body under `bits` (positioned after the CRC)
// into 1152 samples per channel of the decoder's current header, written
// interleaved to `pcm`. Returns the number of 16-bit values written.
int DecodeLayer2(MpegDecoder& decoder, BitReader& bits, std::int16_t* pcm);

void InitLayer2Tables();

}  // namespace zv::mpeg
