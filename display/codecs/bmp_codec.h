#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "display/codecs/decoded_picture.h"
#include "platform/surface/surface.h"

namespace zv::codecs {

struct DecodeNotes;

// A Windows bitmap file ("bmp", "rle", "dib"): core or info header, 1, 4,
// 8, 16, 24 or 32 bits, uncompressed, run-length (RLE4, RLE8) or bit
// fields, bottom-up or top-down. Nothing when the file is damaged or
// describes a picture that its data cannot hold.
std::optional<DecodedPicture> DecodeBmp(std::vector<uint8_t> file, DecodeNotes* notes = nullptr);

// The same, leaving the pixel data where it is: the picture points into
// `file`, which must outlive it.
std::optional<DecodedPicture> DecodeBmpInPlace(std::span<const uint8_t> file, DecodeNotes* notes = nullptr);

// The surface as an uncompressed 24-bit bottom-up bitmap file.
std::vector<uint8_t> EncodeBmp(const platform::Surface& surface);

}  // namespace zv::codecs
