#include "editor/surface_drawing.h"

#include <algorithm>

#include "editor/editor_colours.h"
#include "platform/surface/pixel_format.h"

namespace zv::editor {
namespace {

Rect Clip(Rect r, int32_t width, int32_t height) {
  return Rect{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width), std::min(r.bottom, height)};
}

}  // namespace

SurfacePtr MakeEditorSurface(int32_t width, int32_t height) {
  platform::SurfaceDesc desc;
  desc.width = width;
  desc.height = height;
  desc.format = platform::PixelFormat::Xrgb8888();
  return Surface::Create(desc);
}

void BltFastRect(Surface& dest, int32_t x, int32_t y, Surface& src, int32_t sx, int32_t sy, int32_t width,
                 int32_t height, uint32_t flags) {
  // Clip the source to its surface, then the placed copy to the destination.
  Rect s = Clip(Rect{sx, sy, sx + width, sy + height}, src.Width(), src.Height());
  x += s.left - sx;
  y += s.top - sy;
  if (x < 0) s.left -= x, x = 0;
  if (y < 0) s.top -= y, y = 0;
  s.right = std::min(s.right, s.left + dest.Width() - x);
  s.bottom = std::min(s.bottom, s.top + dest.Height() - y);
  if (s.Empty()) return;
  const uint32_t fast_flags = (flags & kSourceKey) ? uint32_t{platform::kBltFastSrcColorKey} : 0u;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const platform::Result result = dest.BltFast(x, y, &src, &s, fast_flags);
    if (result != platform::result::kSurfaceLost) return;
    dest.Restore();
    src.Restore();
  }
}

void BltFastWhole(Surface& dest, Surface& src) { BltFastRect(dest, 0, 0, src, 0, 0, src.Width(), src.Height(), 0); }

void BltFastAt(Surface& dest, int32_t x, int32_t y, Surface& src, uint32_t flags) {
  BltFastRect(dest, x, y, src, 0, 0, src.Width(), src.Height(), flags);
}

void BltFastSized(Surface& dest, int32_t x, int32_t y, Surface& src, int32_t width, int32_t height, uint32_t flags) {
  BltFastRect(dest, x, y, src, 0, 0, width, height, flags);
}

void FillSurfaceRect(Surface& surface, Rect rect, uint32_t colour) {
  rect = Clip(rect, surface.Width(), surface.Height());
  if (rect.Empty()) return;
  platform::BltFx fx;
  fx.fill_color = colour;
  surface.Blt(&rect, nullptr, nullptr, platform::kBltColorFill, &fx);
}

void DrawEdges(Surface& surface, Rect r, uint32_t first, uint32_t second) {
  FillSurfaceRect(surface, {r.left, r.top, r.right, r.top + 1}, first);
  FillSurfaceRect(surface, {r.left, r.top, r.left + 1, r.bottom}, first);
  FillSurfaceRect(surface, {r.left, r.bottom - 1, r.right, r.bottom}, second);
  FillSurfaceRect(surface, {r.right - 1, r.top, r.right, r.bottom}, second);
}

void DrawBevel(Surface& surface, BevelKind kind, int32_t x, int32_t y, int32_t width) {
  const Rect r{x, y, x + width, y + 17};
  FillSurfaceRect(surface, r, colour::kMenuBackground);
  if (kind == BevelKind::kRaised) DrawEdges(surface, r, colour::kMenuLight, colour::kMenuDark);
  if (kind == BevelKind::kPressed) DrawEdges(surface, r, colour::kMenuDark, colour::kMenuLight);
}

}  // namespace zv::editor
