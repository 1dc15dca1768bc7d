#pragma once

#include <cstdint>

#include "platform/surface/rect.h"
#include "platform/surface/surface.h"

namespace zv::editor {

using platform::Rect;
using platform::Surface;
using platform::SurfacePtr;

// A 32-bit surface for the editor's pages, images and glyph sheet; null
// when the memory cannot be had.
SurfacePtr MakeEditorSurface(int32_t width, int32_t height);

// Flag of the copies: skip source pixels of the source's colour key.
constexpr uint32_t kSourceKey = 1;

// Copies of one surface onto another. The part of the copy that falls
// outside either surface is left out; a lost surface is restored and the
// copy made again.
void BltFastWhole(Surface& dest, Surface& src);
void BltFastAt(Surface& dest, int32_t x, int32_t y, Surface& src, uint32_t flags);
// The source rectangle (0, 0)-(width, height) to (x, y).
void BltFastSized(Surface& dest, int32_t x, int32_t y, Surface& src, int32_t width, int32_t height, uint32_t flags);
void BltFastRect(Surface& dest, int32_t x, int32_t y, Surface& src, int32_t sx, int32_t sy, int32_t width,
                 int32_t height, uint32_t flags);
// A colour fill of the part of `rect` on the surface; an empty or inverted
// rectangle fills nothing.
void FillSurfaceRect(Surface& surface, Rect rect, uint32_t colour);

// Kinds of the three-colour frame.
enum class BevelKind { kFlat = 0, kRaised = 1, kPressed = 2 };
// A 17-pixel-high frame x to x + width: filled with the menu background,
// the first edge along the top and left, the second along the bottom and
// right (raised: light then dark; pressed: dark then light; flat: none).
void DrawBevel(Surface& surface, BevelKind kind, int32_t x, int32_t y, int32_t width);
// One-pixel edges around `rect`: `first` top and left, `second` bottom and right.
void DrawEdges(Surface& surface, Rect rect, uint32_t first, uint32_t second);

}  // namespace zv::editor
