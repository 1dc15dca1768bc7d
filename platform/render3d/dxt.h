#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/surface/surface.h"

namespace zv::platform {

// Block-compressed pixel formats (4x4 texel blocks): DXT1 with 1-bit alpha,
// DXT2/DXT3 with explicit 4-bit alpha, DXT4/DXT5 with interpolated alpha.
// DXT2 and DXT4 hold premultiplied colour; decoding keeps the stored values.
enum class DxtFormat : uint8_t { kDxt1 = 1, kDxt2, kDxt3, kDxt4, kDxt5 };

inline constexpr int32_t kMaxDxtSide = 65536;

// Bytes one level of width x height takes; 0 for a side outside
// 1..kMaxDxtSide.
size_t DxtLevelBytes(DxtFormat format, int32_t width, int32_t height);

// Decodes one level into 0xAARRGGBB pixels, `pitch` pixels from one row to
// the next. The data are untrusted: nothing is read beyond `data`, and a
// level longer than `data` (or an invalid size) is refused with false before
// anything is written.
bool DecodeDxt(DxtFormat format, int32_t width, int32_t height, std::span<const uint8_t> data,
               uint32_t* out, size_t pitch);

// A block-compressed image and its mip levels (each half the size of the
// one before, down to 1x1 at most), as a compressed image file holds it.
// A blit out of it decompresses.
class DxtImage {
 public:
  // Null for a size outside 1..kMaxDxtSide or a level count outside 1 to
  // the number of halvings the size allows.
  static std::shared_ptr<DxtImage> Create(DxtFormat format, int32_t width, int32_t height,
                                          int32_t levels);

  DxtFormat Format() const { return format_; }
  int32_t LevelCount() const { return static_cast<int32_t>(levels_.size()); }
  int32_t Width(int32_t level) const { return levels_[level].width; }
  int32_t Height(int32_t level) const { return levels_[level].height; }
  std::span<uint8_t> LevelData(int32_t level) { return levels_[level].blocks; }
  std::span<const uint8_t> LevelData(int32_t level) const { return levels_[level].blocks; }

  // The level decoded into a new 32-bit surface with an alpha field
  // (Argb8888); null for a level out of range.
  SurfacePtr DecodeLevel(int32_t level) const;

 private:
  struct Level {
    int32_t width, height;
    std::vector<uint8_t> blocks;
  };
  DxtImage() = default;
  DxtFormat format_ = DxtFormat::kDxt1;
  std::vector<Level> levels_;
};

using DxtImagePtr = std::shared_ptr<DxtImage>;

}  // namespace zv::platform
