#include "services/memory/pixel_layout.h"

#include "services/memory/little_endian.h"

namespace zv {

std::optional<uint32_t> PixelBlockSize(const PixelMemblockLayout& layout, uint32_t limit) {
  if (limit < PixelMemblockLayout::kHeaderBytes) return std::nullopt;
  // Checked factor by factor so that the products cannot wrap.
  if (layout.RowBytes() > limit) return std::nullopt;
  if (layout.height != 0 && layout.RowBytes() > (limit - PixelMemblockLayout::kHeaderBytes) / layout.height)
    return std::nullopt;
  return static_cast<uint32_t>(PixelMemblockLayout::kHeaderBytes + layout.PixelBytes());
}

std::optional<PixelMemblockLayout> ReadPixelLayout(std::span<const uint8_t> block) {
  if (block.size() < PixelMemblockLayout::kHeaderBytes) return std::nullopt;
  PixelMemblockLayout layout;
  layout.width = le::LoadU32(block.data());
  layout.height = le::LoadU32(block.data() + 4);
  layout.bits = le::LoadU32(block.data() + 8);
  // A row is below 2^61 bytes; once it fits the block (below 2^32 bytes),
  // the rows together cannot wrap 64 bits.
  if (layout.RowBytes() > block.size()) return std::nullopt;
  if (layout.PixelBytes() > block.size() - PixelMemblockLayout::kHeaderBytes) return std::nullopt;
  return layout;
}

void WritePixelHeader(std::span<uint8_t> block, const PixelMemblockLayout& layout) {
  le::StoreU32(block.data(), layout.width);
  le::StoreU32(block.data() + 4, layout.height);
  le::StoreU32(block.data() + 8, layout.bits);
}

}  // namespace zv
