#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "display/codecs/decoded_picture.h"
#include "platform/surface/surface.h"

namespace zv::codecs {

struct DecodeNotes;

// A PNG of any colour type and bit depth, interlaced or not, reduced to
// 8-bit red, green and blue (transparency is dropped).
std::optional<DecodedPicture> DecodePng(std::span<const uint8_t> file, DecodeNotes* notes = nullptr);

// The surface as an 8-bit RGB PNG without interlacing; empty when it cannot
// be coded.
std::vector<uint8_t> EncodePng(const platform::Surface& surface);

}  // namespace zv::codecs
