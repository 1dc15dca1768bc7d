#include "platform/render3d/texture.h"

#include <algorithm>
#include <bit>
#include <cstddef>

#include "platform/render3d/caps.h"
#include "platform/render3d/texel_format.h"

namespace zv::platform {
namespace {

bool PowerOfTwoSide(int32_t side) {
  return side >= 1 && side <= kMaxTextureSize && std::has_single_bit(static_cast<uint32_t>(side));
}

int32_t ChainLength(int32_t width, int32_t height) {
  return std::bit_width(static_cast<uint32_t>(std::max(width, height)));
}

bool Keyed(uint32_t pixel, const PixelFormat& format, const ColorKey& key) {
  uint32_t mask = format.ValueMask();
  uint32_t v = pixel & mask;
  return v >= (key.low & mask) && v <= (key.high & mask);
}

// Nearest-pixel copy between formats through 0xAARRGGBB, with the strict
// rectangles, source key and mirroring of Surface::Blt.
void ConvertPixels(Surface& dest, const Rect& d, const Surface& src, const Rect& s,
                   const std::optional<ColorKey>& key, bool mirror_lr, bool mirror_ud) {
  const PixelFormat& sf = src.Format();
  const PixelFormat& df = dest.Format();
  for (int32_t y = d.top; y < d.bottom; ++y) {
    int64_t v = y - d.top;
    if (mirror_ud) v = d.Height() - 1 - v;
    int32_t sy = s.top + static_cast<int32_t>(v * s.Height() / d.Height());
    for (int32_t x = d.left; x < d.right; ++x) {
      int64_t u = x - d.left;
      if (mirror_lr) u = d.Width() - 1 - u;
      int32_t sx = s.left + static_cast<int32_t>(u * s.Width() / d.Width());
      uint32_t pixel = src.PixelAt(sx, sy);
      if (key && Keyed(pixel, sf, *key)) continue;
      dest.SetPixelAt(x, y, PackArgb(df, UnpackArgb(sf, pixel, src.GetPalette())));
    }
  }
}

int32_t Log2(int32_t side) { return std::countr_zero(static_cast<uint32_t>(side)); }

}  // namespace

std::shared_ptr<Texture> Texture::Create(const TextureDesc& desc, Result* error) {
  auto fail = [&](Result r) {
    if (error) *error = r;
    return std::shared_ptr<Texture>();
  };
  if (!IsTextureFormat(desc.format)) return fail(result::kInvalidPixelFormat);
  if (!PowerOfTwoSide(desc.width) || !PowerOfTwoSide(desc.height)) return fail(result::kInvalidParams);
  int32_t chain = ChainLength(desc.width, desc.height);
  int32_t count = desc.levels == 0 ? chain : desc.levels;
  if (count < 1 || count > chain) return fail(result::kInvalidParams);

  std::shared_ptr<Texture> texture(new Texture());
  int32_t w = desc.width, h = desc.height;
  for (int32_t i = 0; i < count; ++i) {
    SurfaceDesc level;
    level.width = w;
    level.height = h;
    level.format = desc.format;
    level.role = SurfaceRole::kTexture;
    SurfacePtr surface = Surface::Create(level);
    if (!surface) return fail(result::kOutOfMemory);
    texture->levels_.push_back(std::move(surface));
    w = std::max(w / 2, 1);
    h = std::max(h / 2, 1);
  }
  texture->lock_flags_.assign(static_cast<size_t>(count), 0);
  if (error) *error = result::kOk;
  return texture;
}

Result Texture::Blt(int32_t level, const Rect* dest, Surface* src, const Rect* src_rect,
                    uint32_t flags, const BltFx* fx) {
  if (level < 0 || level >= LevelCount()) return result::kInvalidParams;
  Surface& target = *levels_[level];
  MarkChanged();
  if ((flags & kBltColorFill) || (src && src->Format() == target.Format()))
    return target.Blt(dest, src, src_rect, flags, fx);
  if (src == nullptr) return result::kInvalidParams;
  if (target.IsLocked() || src->IsLocked()) return result::kSurfaceBusy;
  if (target.IsLost() || src->IsLost()) return result::kSurfaceLost;
  if (target.Format().indexed || src->Format().depth) return result::kInvalidPixelFormat;
  Rect d = dest ? *dest : target.Bounds();
  Rect s = src_rect ? *src_rect : src->Bounds();
  if (!d.FitsIn(target.Width(), target.Height()) || !s.FitsIn(src->Width(), src->Height()))
    return result::kInvalidRect;
  std::optional<ColorKey> key;
  if (flags & kBltKeySrc) {
    if (!src->SrcColorKey()) return result::kNoColorKey;
    key = src->SrcColorKey();
  }
  bool mirror = (flags & kBltFx) && fx;
  ConvertPixels(target, d, *src, s, key, mirror && fx->mirror_left_right, mirror && fx->mirror_up_down);
  return result::kOk;
}

Result Texture::BltFromDxt(int32_t level, const Rect* dest, const DxtImage& src, int32_t src_level) {
  SurfacePtr decoded = src.DecodeLevel(src_level);
  if (!decoded) return result::kInvalidParams;
  return Blt(level, dest, decoded.get(), nullptr, 0);
}

Result Texture::Lock(int32_t level, const Rect* rect, uint32_t flags, LockedRegion* out) {
  if (level < 0 || level >= LevelCount()) return result::kInvalidParams;
  Result r = levels_[level]->Lock(rect, flags, out);
  if (Succeeded(r)) lock_flags_[level] = flags | 0x80000000u;
  return r;
}

Result Texture::Unlock(int32_t level) {
  if (level < 0 || level >= LevelCount()) return result::kInvalidParams;
  Result r = levels_[level]->Unlock();
  if (Succeeded(r) && !(lock_flags_[level] & kLockReadOnly)) MarkChanged();
  lock_flags_[level] = 0;
  return r;
}

void Texture::SetColorKey(std::optional<ColorKey> key) {
  color_key_ = key;
  levels_[0]->SetColorKey(key);
  keyed_valid_ = false;
}

void Texture::SetPalette(PalettePtr palette) {
  palette_ = palette;
  for (SurfacePtr& level : levels_) level->SetPalette(palette);
  MarkChanged();
}

void Texture::BuildCopy(bool keyed, SampledCopy& copy) const {
  size_t total = 0;
  for (const SurfacePtr& level : levels_) total += static_cast<size_t>(level->Width()) * level->Height();
  copy.texels.assign(total, 0);
  copy.coverage.assign(keyed ? total : 0, 0);
  copy.levels.clear();
  const PixelFormat& format = Format();
  const Palette* palette = palette_.get();
  size_t offset = 0;
  for (const SurfacePtr& level : levels_) {
    SampledLevel sampled;
    sampled.width = level->Width();
    sampled.height = level->Height();
    sampled.width_shift = Log2(sampled.width);
    sampled.texels = copy.texels.data() + offset;
    sampled.coverage = keyed ? copy.coverage.data() + offset : nullptr;
    for (int32_t y = 0; y < sampled.height; ++y) {
      for (int32_t x = 0; x < sampled.width; ++x) {
        size_t i = offset + static_cast<size_t>(y) * sampled.width + x;
        uint32_t pixel = level->PixelAt(x, y);
        if (keyed && Keyed(pixel, format, *color_key_)) continue;  // stays 0, coverage 0
        copy.texels[i] = UnpackArgb(format, pixel, palette);
        if (keyed) copy.coverage[i] = 255;
      }
    }
    copy.levels.push_back(sampled);
    offset += static_cast<size_t>(sampled.width) * sampled.height;
  }
  // A plain colour's texture (the backdrop's, say) then needs no sampling.
  for (size_t l = copy.levels.size(); l-- > 0;) {
    const SampledLevel& level = copy.levels[l];
    const size_t start = static_cast<size_t>(level.texels - copy.texels.data());
    bool level_same = std::all_of(copy.texels.begin() + static_cast<std::ptrdiff_t>(start), copy.texels.end(),
                                  [&](uint32_t t) { return t == level.texels[0]; });
    if (keyed)
      level_same = level_same && std::all_of(copy.coverage.begin() + static_cast<std::ptrdiff_t>(start),
                                             copy.coverage.end(), [&](uint8_t c) { return c == level.coverage[0]; });
    if (!level_same) break;
    copy.levels[l].uniform = true;
  }
}

const std::vector<SampledLevel>& Texture::Sampled(bool keyed) {
  if (keyed && color_key_) {
    if (!keyed_valid_) BuildCopy(true, keyed_);
    keyed_valid_ = true;
    return keyed_.levels;
  }
  if (!sampled_valid_) BuildCopy(false, sampled_);
  sampled_valid_ = true;
  return sampled_.levels;
}

void Texture::DropSampledCopies() {
  sampled_ = SampledCopy{};
  keyed_ = SampledCopy{};
  sampled_valid_ = keyed_valid_ = false;
}

}  // namespace zv::platform
