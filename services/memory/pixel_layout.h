#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace zv {

// A bitmap or image as a memory block: width, height and bits per pixel as
// three 32-bit words, then the pixel rows top first, each width x bytes
// per pixel long with nothing between rows, in the surface's own pixel
// format.
struct PixelMemblockLayout {
  static constexpr uint32_t kHeaderBytes = 12;

  uint32_t width = 0, height = 0, bits = 0;

  uint32_t BytesPerPixel() const { return bits >> 3; }
  uint64_t RowBytes() const { return uint64_t{width} * BytesPerPixel(); }
  uint64_t PixelBytes() const { return RowBytes() * height; }
  // Where row `y` starts in the block.
  uint64_t RowOffset(uint32_t y) const { return kHeaderBytes + RowBytes() * y; }
};

// The size of the block for `layout`; nothing when it would exceed
// `limit` bytes.
std::optional<uint32_t> PixelBlockSize(const PixelMemblockLayout& layout, uint32_t limit);

// The header of a pixel block that holds every row its header promises;
// nothing (error 5105) for a block shorter than that.
std::optional<PixelMemblockLayout> ReadPixelLayout(std::span<const uint8_t> block);
// Writes the three header words; the block holds at least 12 bytes.
void WritePixelHeader(std::span<uint8_t> block, const PixelMemblockLayout& layout);

}  // namespace zv
