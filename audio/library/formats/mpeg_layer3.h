#pragma once

#include <cstdint>
#include <span>

#include "audio/library/formats/mpeg_decoder.h"

namespace zv::mpeg {

// Decodes the layer III frame body `body` (everything after the 4 header
// bytes) of the decoder's current header into `pcm`, taking the bit
// reservoir from the frames before and adding this frame's main data to it.
// Returns the number of 16-bit values written: 576 per channel for every
// granule decoded, 0 when the side information is damaged or the reservoir
// reaches back before the first frame decoded.
int DecodeLayer3(MpegDecoder& decoder, std::span<const std::uint8_t> body, std::int16_t* pcm);

void InitLayer3Tables();

}  // namespace zv::mpeg
