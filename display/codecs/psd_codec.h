#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "display/codecs/decoded_picture.h"

namespace zv::codecs {

struct DecodeNotes;

// The merged picture of a Photoshop file in RGB mode at 8 bits per
// channel, raw or PackBits coded. Nothing for other modes or depths, or
// when the data end early.
std::optional<DecodedPicture> DecodePsd(std::span<const uint8_t> file, DecodeNotes* notes = nullptr);

}  // namespace zv::codecs
