#include "platform/surface/convert.h"

#include <array>
#include <cstring>

#include "platform/surface/blit.h"

namespace zv::platform {
namespace {

// 16-bit pixels convert through a table built once per call.
std::array<uint32_t, 65536> Table16(const PixelFormat& format) {
  std::array<uint32_t, 65536> table;
  for (uint32_t v = 0; v < table.size(); ++v) table[v] = UnpackRgb(format, v);
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
  std::array<uint32_t, 65536> table16;
  if (bpp == 2 && !f.depth) table16 = Table16(f);

  for (int32_t y = 0; y < surface.Height(); ++y) {
    const uint8_t* src = surface.Row(y);
    uint32_t* dst = out + static_cast<size_t>(y) * out_pitch;
    if (plain32) {
      std::memcpy(dst, src, static_cast<size_t>(w) * 4);
      for (int32_t x = 0; x < w; ++x) dst[x] &= 0xFFFFFF;
    } else if (bpp == 2 && !f.depth) {
      for (int32_t x = 0; x < w; ++x) dst[x] = table16[ReadPixel(src + x * 2, 2)];
    } else {
      for (int32_t x = 0; x < w; ++x) dst[x] = PixelValueToRgb(surface, ReadPixel(src + x * bpp, bpp));
    }
    if (!identity_gamma)
      for (int32_t x = 0; x < w; ++x) dst[x] = gamma->Apply(dst[x]);
  }
}

}  // namespace zv::platform
