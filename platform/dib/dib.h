#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/surface/rect.h"
#include "platform/surface/surface.h"

namespace zv::platform {

// Compression codes of a device-independent bitmap.
namespace dib_compression {
constexpr uint32_t kRgb = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitFields = 3;
}  // namespace dib_compression

// The largest picture side the copies accept.
constexpr int32_t kMaxDibSide = 32768;

struct DibColour {
  uint8_t blue = 0, green = 0, red = 0, reserved = 0;
};

// A device-independent bitmap as the image codecs hand it over: the fields
// of its info header that drawing reads, the channel masks of a bit-fields
// picture, its colour table, and its pixel rows (rows padded to 4 bytes,
// bottom-up for a positive height, top-down for a negative one; RLE data for
// the two run-length compressions).
struct Dib {
  int32_t width = 0;
  int32_t height = 0;
  uint16_t bit_count = 0;  // 1, 4, 8, 16, 24 or 32
  uint32_t compression = dib_compression::kRgb;
  std::array<uint32_t, 3> masks{};  // red, green, blue; bit fields only
  std::vector<DibColour> colours;
  std::span<const uint8_t> bits;

  int32_t Rows() const { return height < 0 ? -height : height; }
  bool TopDown() const { return height < 0; }
};

// Bytes of one row of `width` pixels of `bit_count` bits, padded to 4 bytes;
// 0 when the values are out of range.
size_t DibStride(int32_t width, int32_t bit_count);

// Reads an info block as it stands in a file or in memory: the header (the
// 12-byte core form or a 40-byte or longer one), the masks that follow a
// 40-byte bit-fields header, and the colour table (3-byte entries after a
// core header, 4-byte ones otherwise). Leaves `out->bits` alone. False when
// the block is too short or describes no picture the copies can draw.
bool ReadDibInfo(std::span<const uint8_t> info, Dib* out);

// Whether the run-length data of the picture reach their end code, or fill
// its last row, before they run out. Data cut short would leave the rest of
// the picture as the surface held it, as skipped pixels are left. True for a
// picture without run-length data.
bool RleDataWhole(const Dib& dib);

// The copy into a surface: the source rectangle of the picture (row 0 at the
// top) is drawn onto the destination rectangle of the surface, stretched by
// nearest pixel when the sizes differ, converted to the surface's format
// (nearest palette colour on an 8-bit surface), and clipped to the surface.
// Pixels that run-length data skips are left as they were. Returns the
// number of picture rows the source rectangle spans, or 0 when nothing can
// be drawn (a picture that is too large, a rectangle outside it, or pixel
// data shorter than the header says).
int32_t StretchDibBits(Surface& dest, const Rect& dest_rect, const Dib& dib, const Rect& src_rect);

// The copy out of a surface: `count` rows starting `first` rows above the
// bottom of the surface, written bottom row first as 24-bit (blue, green,
// red) or 32-bit (blue, green, red, 0) pixels, each row padded to 4 bytes.
// Returns the number of rows written; rows beyond the surface or beyond
// `out` are not written.
int32_t GetDibBits(const Surface& src, int32_t first, int32_t count, int32_t bit_count,
                   std::span<uint8_t> out);

}  // namespace zv::platform
