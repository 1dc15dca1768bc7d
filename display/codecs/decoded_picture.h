#pragma once

#include <cstdint>
#include <functional>
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

  platform::Dib dib;  // dib.bits points into storage (or the file)
  std::vector<uint8_t> storage;

  // Describes `storage`, sized and filled by the caller, as width x height
  // 32-bit pixels, top row first.
  void DescribeTopDown32(int32_t width, int32_t height) {
    dib.width = width;
    dib.height = -height;
    dib.bit_count = 32;
    dib.bits = storage;
  }

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
