#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "platform/dib/dib.h"
#include "platform/surface/surface.h"

namespace zv::codecs {

// Makes a surface of width x height in the display's format; null on
// failure.
using SurfaceFactory = std::function<platform::SurfacePtr(int32_t width, int32_t height)>;

// A picture as every loader but the DDS one hands it over: a
// device-independent bitmap whose pixel data lies in `storage` or, for a
// picture decoded in place (storage empty), in the file it came from.
struct DecodedPicture {
  DecodedPicture() = default;
  DecodedPicture(DecodedPicture&&) = default;
  DecodedPicture& operator=(DecodedPicture&&) = default;
  DecodedPicture(const DecodedPicture&) = delete;
  DecodedPicture& operator=(const DecodedPicture&) = delete;

  platform::Dib dib;  // dib.bits points into storage or raster (or the file)
  std::vector<uint8_t> storage;
  // Pixel memory taken uncleared, for a decoder that writes all of it: its
  // pages cost memory only as the decoder fills them, so a header that
  // claims more than its file holds costs only what was decoded before the
  // decoder stopped.
  std::unique_ptr<uint8_t[]> raster;

  // Whether the pixels are the picture's own (not the file's).
  bool OwnsPixels() const { return !storage.empty() || raster; }

  // Describes `bits`, sized and filled by the caller, as width x height
  // 32-bit pixels, top row first.
  void DescribeTopDown32(int32_t width, int32_t height, std::span<const uint8_t> bits) {
    dib.width = width;
    dib.height = -height;
    dib.bit_count = 32;
    dib.bits = bits;
  }
  void DescribeTopDown32(int32_t width, int32_t height) { DescribeTopDown32(width, height, storage); }

  int32_t Width() const { return dib.width; }
  int32_t Height() const { return dib.Rows(); }
};

// A new surface from `make` with the picture drawn into it 1:1 in the
// surface's format; null when no surface can be made.
platform::SurfacePtr DrawPicture(const DecodedPicture& picture, const SurfaceFactory& make);

// Draws the picture at the top-left of `dest` (which is at least as large).
// False when the picture's data cannot be drawn.
bool DrawPictureInto(platform::Surface& dest, const DecodedPicture& picture);

}  // namespace zv::codecs
