#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "display/codecs/decoded_picture.h"

namespace zv::codecs {

struct DecodeNotes;

// A PCX file: 1-bit, planar 16-colour (2 to 4 planes), 8-bit with its
// trailing palette, or 24-bit in three planes; run-length coded. Nothing
// when the header is damaged or the data end before the last line.
std::optional<DecodedPicture> DecodePcx(std::span<const uint8_t> file, DecodeNotes* notes = nullptr);

}  // namespace zv::codecs
