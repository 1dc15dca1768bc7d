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

// What a decoder tells beside its picture: the progress codes of the JPEG
// and DDS loaders, and whether it refused a picture larger than the limits
// above (so that the load can say why it failed).
struct DecodeNotes {
  int32_t step = 0;
  bool too_large = false;
};

// Whether a picture of width x height may be made at all: both sides in
// 1..kMaxSide and no more than kMaxPixels pixels. A refusal of sides above
// the limits is noted.
inline bool SizeAllowed(int64_t width, int64_t height, DecodeNotes* notes = nullptr) {
  if (width < 1 || height < 1) return false;
  const bool allowed = width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
  if (!allowed && notes) notes->too_large = true;
  return allowed;
}

// Whether `bytes` bytes of coded data can describe width x height pixels
// when each byte yields at most `pixels_per_byte` pixels: a header that
// claims a picture far larger than its file could hold is refused before
// anything is allocated for it.
inline bool FileCanHold(int64_t width, int64_t height, size_t bytes, int64_t pixels_per_byte,
                        DecodeNotes* notes = nullptr) {
  return SizeAllowed(width, height, notes) && width * height <= static_cast<int64_t>(bytes) * pixels_per_byte;
}

}  // namespace zv::codecs
