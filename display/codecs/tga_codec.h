#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "display/codecs/decoded_picture.h"
#include "platform/surface/surface.h"

namespace zv::codecs {

struct DecodeNotes;

// A Targa file: colour-mapped (8-bit indices into 15-, 16-, 24- or 32-bit
// entries), true colour (15, 16, 24 or 32 bits) or 8-bit grey, each
// uncompressed or run-length coded, in any of the four orientations.
// Nothing when the file is damaged or its data end early.
std::optional<DecodedPicture> DecodeTga(std::span<const uint8_t> file, DecodeNotes* notes = nullptr);

// The same, leaving uncompressed rows that can be drawn as they stand in
// `file`: the picture may point into it, so `file` must outlive it.
std::optional<DecodedPicture> DecodeTgaInPlace(std::span<const uint8_t> file, DecodeNotes* notes = nullptr);

// The surface as an uncompressed 24-bit true-colour Targa file, bottom row
// first.
std::vector<uint8_t> EncodeTga(const platform::Surface& surface);

}  // namespace zv::codecs
