#include "platform/text/mono_glyph.h"

#include <algorithm>
#include <cstring>

#include "platform/surface/blit.h"

namespace zv::platform {
namespace {

template <int Bytes>
void PaintRows(Surface& target, int32_t x, int32_t y, const MonoGlyph& g, int32_t c0, int32_t c1,
               int32_t r0, int32_t r1, uint32_t ink) {
  for (int32_t r = r0; r < r1; ++r) {
    const uint8_t* bits = g.bits.data() + static_cast<size_t>(r) * g.pitch;
    uint8_t* row = target.Row(y + r);
    for (int32_t c = c0; c < c1;) {
      const uint8_t byte = bits[c >> 3];
      if (byte == 0) {  // eight clear pixels at once
        c = (c | 7) + 1;
        continue;
      }
      if (byte & (0x80u >> (c & 7))) WritePixel(row + static_cast<size_t>(x + c) * Bytes, Bytes, ink);
      ++c;
    }
  }
}

}  // namespace

void PaintMonoGlyph(Surface& target, int32_t x, int32_t y, const MonoGlyph& glyph, uint32_t ink) {
  if (glyph.width <= 0 || glyph.rows <= 0) return;
  const int64_t c0 = std::max<int64_t>(0, -int64_t{x});
  const int64_t c1 = std::min<int64_t>(glyph.width, int64_t{target.Width()} - x);
  const int64_t r0 = std::max<int64_t>(0, -int64_t{y});
  const int64_t r1 = std::min<int64_t>(glyph.rows, int64_t{target.Height()} - y);
  if (c0 >= c1 || r0 >= r1) return;
  const int32_t a = static_cast<int32_t>(c0), b = static_cast<int32_t>(c1);
  const int32_t ra = static_cast<int32_t>(r0), rb = static_cast<int32_t>(r1);
  switch (target.Format().BytesPerPixel()) {
    case 1: PaintRows<1>(target, x, y, glyph, a, b, ra, rb, ink); break;
    case 2: PaintRows<2>(target, x, y, glyph, a, b, ra, rb, ink); break;
    case 3: PaintRows<3>(target, x, y, glyph, a, b, ra, rb, ink); break;
    case 4: PaintRows<4>(target, x, y, glyph, a, b, ra, rb, ink); break;
    default: break;
  }
}

void FillClipped(Surface& target, Rect rect, uint32_t value) {
  rect.left = std::max(rect.left, 0);
  rect.top = std::max(rect.top, 0);
  rect.right = std::min(rect.right, target.Width());
  rect.bottom = std::min(rect.bottom, target.Height());
  if (rect.Empty()) return;
  FillPixels(target, rect, value);
}

}  // namespace zv::platform
