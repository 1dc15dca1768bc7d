#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "display/codecs/decoded_picture.h"

namespace zv::codecs {

struct DecodeNotes;

// The first picture of a TIFF file, in any colour model, depth and
// compression the TIFF library reads. Nothing when it cannot.
std::optional<DecodedPicture> DecodeTiff(std::span<const uint8_t> file, DecodeNotes* notes = nullptr);

}  // namespace zv::codecs
