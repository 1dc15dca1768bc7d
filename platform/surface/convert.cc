#include "platform/surface/convert.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/surface/blit.h"

namespace zv::platform {
namespace {

// 16-bit pixels convert through a table, kept for the next call (the
// presenter converts every frame) while the format stays the same. The
// channels are widened apart, each through its own small table.
const std::array<uint32_t, 65536>& Table16(const PixelFormat& format) {
  struct Cache {
    uint32_t masks[3] = {0, 0, 0};
    std::unique_ptr<std::array<uint32_t, 65536>> table;
  };
  thread_local Cache cache;
  const uint32_t masks[3] = {format.red_mask, format.green_mask, format.blue_mask};
  if (cache.table && std::equal(masks, masks + 3, cache.masks)) return *cache.table;
  if (!cache.table) cache.table = std::make_unique<std::array<uint32_t, 65536>>();
  std::copy(masks, masks + 3, cache.masks);
  std::array<uint32_t, 65536>& table = *cache.table;
  table.fill(0);
  for (int channel = 0; channel < 3; ++channel) {
    const uint32_t field_mask = masks[channel] & 0xFFFF;
    if (field_mask == 0) continue;
    PixelFormat alone = format;
    alone.red_mask = channel == 0 ? masks[0] : 0;
    alone.green_mask = channel == 1 ? masks[1] : 0;
    alone.blue_mask = channel == 2 ? masks[2] : 0;
    const int shift = std::countr_zero(field_mask);
    std::vector<uint32_t> widened((field_mask >> shift) + 1);
    for (uint32_t f = 0; f < widened.size(); ++f) widened[f] = UnpackRgb(alone, f << shift);
    for (uint32_t v = 0; v < table.size(); ++v) table[v] |= widened[(v & field_mask) >> shift];
  }
  return table;
}

}  // namespace

uint32_t PixelValueToRgb(const Surface& surface, uint32_t pixel) {
  const PixelFormat& f = surface.Format();
  if (f.indexed) {
    const Palette* palette = surface.GetPalette();
    return palette ? palette->Rgb(static_cast<int>(pixel & 0xFF)) : 0;
  }
  if (f.depth) return 0;
  return UnpackRgb(f, pixel);
}

void ConvertToXrgb(const Surface& surface, uint32_t* out, int32_t out_pitch,
                   const GammaRamp* gamma) {
  const PixelFormat& f = surface.Format();
  const int bpp = f.BytesPerPixel();
  const int32_t w = surface.Width();
  bool identity_gamma = gamma == nullptr || gamma->IsIdentity();
  bool plain32 = bpp == 4 && f.red_mask == 0xFF0000 && f.green_mask == 0xFF00 && f.blue_mask == 0xFF;
  const std::array<uint32_t, 65536>* table16 = bpp == 2 && !f.depth ? &Table16(f) : nullptr;

  for (int32_t y = 0; y < surface.Height(); ++y) {
    const uint8_t* src = surface.Row(y);
    uint32_t* dst = out + static_cast<size_t>(y) * out_pitch;
    if (plain32) {
      std::memcpy(dst, src, static_cast<size_t>(w) * 4);
      for (int32_t x = 0; x < w; ++x) dst[x] &= 0xFFFFFF;
    } else if (bpp == 2 && !f.depth) {
      for (int32_t x = 0; x < w; ++x) dst[x] = (*table16)[ReadPixel(src + x * 2, 2)];
    } else {
      for (int32_t x = 0; x < w; ++x) dst[x] = PixelValueToRgb(surface, ReadPixel(src + x * bpp, bpp));
    }
    if (!identity_gamma)
      for (int32_t x = 0; x < w; ++x) dst[x] = gamma->Apply(dst[x]);
  }
}

}  // namespace zv::platform
