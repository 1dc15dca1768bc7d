#include "editor/help/help_background.h"

#include <cstdint>

#include "editor/help/help_viewer.h"

namespace zv {
namespace {

struct Rgb {
  int r, g, b;
};

// The paper at (x, y): a blue base, lighter along a diagonal weave of
// period 8 and a little grain from a hash of the position.
Rgb PaperAt(int32_t x, int32_t y) {
  Rgb c{14, 26, 62};
  const int32_t weave = (x + y) % 8 == 0 || (x - y + 800) % 8 == 0 ? 7 : 0;
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u;
  h = (h ^ (h >> 13)) * 1274126177u;
  const int grain = static_cast<int>((h >> 24) & 3);
  c.r += weave / 2 + grain;
  c.g += weave / 2 + grain;
  c.b += weave + grain;
  return c;
}

uint32_t PixelOf(const platform::PixelFormat& format, const platform::Palette* palette, Rgb c) {
  if (!format.indexed)
    return platform::PackRgb(format, static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g),
                             static_cast<uint8_t>(c.b));
  if (!palette) return 0;
  int best = 0;
  int best_distance = 1 << 30;
  for (int i = 0; i < platform::Palette::kSize; ++i) {
    const platform::PaletteEntry& e = palette->Entry(i);
    const int d = (e.red - c.r) * (e.red - c.r) + (e.green - c.g) * (e.green - c.g) +
                  (e.blue - c.b) * (e.blue - c.b);
    if (d < best_distance) {
      best_distance = d;
      best = i;
    }
  }
  return static_cast<uint32_t>(best);
}

}  // namespace

platform::SurfacePtr MakeHelpBackgroundTile(const platform::PixelFormat& format,
                                            const platform::Palette* palette) {
  platform::SurfaceDesc desc;
  desc.width = HelpViewer::kTileWidth;
  desc.height = HelpViewer::kTileHeight;
  desc.format = format;
  platform::SurfacePtr tile = platform::Surface::Create(desc);
  if (!tile) return nullptr;
  for (int32_t y = 0; y < desc.height; ++y)
    for (int32_t x = 0; x < desc.width; ++x) tile->SetPixelAt(x, y, PixelOf(format, palette, PaperAt(x, y)));
  return tile;
}

}  // namespace zv
