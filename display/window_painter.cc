#include "display/window_painter.h"

#include <algorithm>

namespace zv {
namespace {

// Fills the part of the rectangle that lies on the surface.
void FillClipped(platform::Surface& surface, platform::Rect rect, uint32_t colour) {
  rect.left = std::max(rect.left, 0);
  rect.top = std::max(rect.top, 0);
  rect.right = std::min(rect.right, surface.Width());
  rect.bottom = std::min(rect.bottom, surface.Height());
  if (rect.Empty()) return;
  platform::BltFx fill;
  fill.fill_color = colour;
  surface.Blt(&rect, nullptr, nullptr, platform::kBltColorFill, &fill);
}

}  // namespace

platform::SurfacePtr PaintWindowPicture(int32_t width, int32_t height, const std::vector<WindowBox>& boxes,
                                        const std::vector<WindowText>& texts, platform::Font* font) {
  platform::SurfaceDesc desc;
  desc.width = width;
  desc.height = height;
  desc.format = platform::PixelFormat::Xrgb8888();
  platform::SurfacePtr picture = platform::Surface::Create(desc);
  if (!picture) return nullptr;  // a new surface is black
  for (const WindowBox& box : boxes) {
    FillClipped(*picture, {box.left, box.top, box.right, box.bottom}, 0);
    FillClipped(*picture, {box.left + 1, box.top + 1, box.right - 1, box.bottom - 1}, box.colour);
  }
  if (font == nullptr) return picture;
  for (const WindowText& text : texts)
    font->Draw(*picture, text.x, text.y, text.text, platform::TextColours{text.colour, 0, false});
  return picture;
}

}  // namespace zv
