#pragma once

#include <cstddef>
#include <cstdint>

namespace zv::codecs {

// The largest picture any codec makes: sides up to 16384 and at most 64
// million pixels (256 MiB at 32 bits per pixel).
constexpr int32_t kMaxSide = 16384;
constexpr int64_t kMaxPixels = int64_t{64} << 20;

// Files above this size are refused before they are read.
constexpr size_t kMaxFileBytes = size_t{1} << 30;

// Whether a picture of width x height may be made at all: both sides in
// 1..kMaxSide and no more than kMaxPixels pixels.
inline bool SizeAllowed(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide &&
         width * height <= kMaxPixels;
}

// Whether `bytes` bytes of coded data can describe width x height pixels
// when each byte yields at most `pixels_per_byte` pixels: a header that
// claims a picture far larger than its file could hold is refused before
// anything is allocated for it.
inline bool FileCanHold(int64_t width, int64_t height, size_t bytes, int64_t pixels_per_byte) {
  return SizeAllowed(width, height) &&
         width * height <= static_cast<int64_t>(bytes) * pixels_per_byte;
}

}  // namespace zv::codecs
