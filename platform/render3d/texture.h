#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/render3d/dxt.h"
#include "platform/surface/surface.h"

namespace zv::platform {

struct TextureDesc {
  int32_t width = 0, height = 0;
  PixelFormat format;  // one of TextureFormats()
  int32_t levels = 1;  // mip levels; 0 = the whole chain down to 1x1
};

// One mip level as the rasterizer samples it: 0xAARRGGBB words, row after
// row. `coverage` (only in the colour-keyed copy) is 255 for a texel that
// is drawn and 0 for one that matches the colour key; such texels also read
// as transparent black so that filtering does not bleed the key colour.
struct SampledLevel {
  int32_t width = 0, height = 0;
  int32_t width_shift = 0;  // log2 of width
  const uint32_t* texels = nullptr;
  const uint8_t* coverage = nullptr;
  // Every texel (and coverage) of this level and of those below it is the
  // same: any filtering of any of them gives texels[0].
  bool uniform = false;
};

// A texture: power-of-two surfaces of one format from the full size down
// its mip chain, an optional source colour key, and the palette of an 8-bit
// format. The level surfaces are ordinary surfaces; the device samples a
// copy of them in 32-bit colour that is made when the device first needs it
// (or at PreLoad) and made again after the texture changed. Changes made
// through Blt, Lock/Unlock, SetColorKey and SetPalette are seen; a caller
// that writes a level surface in any other way calls MarkChanged.
class Texture {
 public:
  // Null, with the reason in `*error`, for a format the device does not
  // sample, a side that is not a power of two from 1 to kMaxTextureSize, or
  // a level count beyond the chain.
  static std::shared_ptr<Texture> Create(const TextureDesc& desc, Result* error = nullptr);

  int32_t Width() const { return levels_[0]->Width(); }
  int32_t Height() const { return levels_[0]->Height(); }
  int32_t LevelCount() const { return static_cast<int32_t>(levels_.size()); }
  const PixelFormat& Format() const { return levels_[0]->Format(); }
  const Surface& Level(int32_t level) const { return *levels_[level]; }
  // For reading a level (as a blit source, to save it); see MarkChanged.
  Surface& LevelSurface(int32_t level) { return *levels_[level]; }

  // Blits into a level as Surface::Blt does (colour fill, source key,
  // mirroring, nearest stretching, strict rectangles), converting between
  // formats with their alpha fields: a source without alpha is opaque. An
  // 8-bit level takes only 8-bit sources.
  Result Blt(int32_t level, const Rect* dest, Surface* src, const Rect* src_rect, uint32_t flags,
             const BltFx* fx = nullptr);
  // Decompresses one level of a compressed image into a level (stretched
  // when the sizes differ).
  Result BltFromDxt(int32_t level, const Rect* dest, const DxtImage& src, int32_t src_level);
  Result Lock(int32_t level, const Rect* rect, uint32_t flags, LockedRegion* out);
  Result Unlock(int32_t level);

  void SetColorKey(std::optional<ColorKey> key);
  std::optional<ColorKey> SrcColorKey() const { return color_key_; }
  void SetPalette(PalettePtr palette);
  const Palette* GetPalette() const { return palette_.get(); }

  void MarkChanged() { sampled_valid_ = keyed_valid_ = false; }

  // The sampled copy of every level, made now when missing or stale;
  // `keyed` asks for the colour-keyed copy (the plain one when the texture
  // has no key).
  const std::vector<SampledLevel>& Sampled(bool keyed);
  // Frees the sampled copies (they are made again when needed).
  void DropSampledCopies();

 private:
  struct SampledCopy {
    std::vector<uint32_t> texels;
    std::vector<uint8_t> coverage;
    std::vector<SampledLevel> levels;
  };
  Texture() = default;
  void BuildCopy(bool keyed, SampledCopy& copy) const;

  std::vector<SurfacePtr> levels_;
  std::optional<ColorKey> color_key_;
  PalettePtr palette_;
  std::vector<uint32_t> lock_flags_;  // per level, while locked
  SampledCopy sampled_, keyed_;
  bool sampled_valid_ = false, keyed_valid_ = false;
};

using TexturePtr = std::shared_ptr<Texture>;

}  // namespace zv::platform
