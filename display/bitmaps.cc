#include "display/bitmaps.h"

#include <algorithm>
#include <cstring>

#include "platform/surface/blit.h"

namespace zv {

bool BitmapTable::CreateSystemSurface(int32_t slot, int32_t width, int32_t height, const SurfaceMaker& make) {
  ReleaseSurface(slot);
  if (width < 1 || height < 1) return false;
  platform::SurfacePtr surface = make(width, height);
  if (!surface) return false;
  RecordSize(slot, *surface);
  surfaces_[static_cast<size_t>(slot)] = std::move(surface);
  return true;
}

void BitmapTable::ReleaseAll() {
  for (int32_t slot = 1; slot < kSlots; ++slot) ReleaseSurface(slot);
}

void BitmapTable::RecordSize(int32_t slot, const platform::Surface& surface) {
  BitmapInfo& info = Info(slot);
  info.width = surface.Width();
  info.height = surface.Height();
  info.depth = surface.Format().bits;
}

bool MirrorSurface(platform::Surface& surface) {
  if (surface.IsLost() || surface.IsLocked()) return false;
  const int bytes = surface.Format().BytesPerPixel();
  const int32_t w = surface.Width();
  for (int32_t y = 0; y < surface.Height(); ++y) {
    uint8_t* row = surface.Row(y);
    for (int32_t i = 0; i < w / 2; ++i) {
      uint8_t* a = row + static_cast<size_t>(i) * bytes;
      uint8_t* b = row + static_cast<size_t>(w - 1 - i) * bytes;
      std::swap_ranges(a, a + bytes, b);
    }
  }
  return true;
}

bool FlipSurface(platform::Surface& surface) {
  if (surface.IsLost() || surface.IsLocked()) return false;
  const size_t bytes = static_cast<size_t>(surface.Width()) * surface.Format().BytesPerPixel();
  const int32_t h = surface.Height();
  for (int32_t i = 0; i < h / 2; ++i) std::swap_ranges(surface.Row(i), surface.Row(i) + bytes, surface.Row(h - 1 - i));
  return true;
}

platform::SurfacePtr RotateSurfaceQuarterTurns(const platform::SurfacePtr& surface, int32_t angle,
                                               const SurfaceMaker& make) {
  platform::SurfacePtr current = surface;
  // Four quarter turns give the picture back, so a huge angle turns at most
  // three times instead of keeping the program busy for hours.
  int32_t turns = angle / 90;
  if (turns > 4) turns = (turns - 1) % 4 + 1;
  for (; turns >= 1; --turns) {
    if (!current || current->IsLost() || current->IsLocked()) return nullptr;
    const int32_t w = current->Width(), h = current->Height();
    platform::SurfacePtr turned = make(h, w);
    if (!turned || turned->Format() != current->Format()) return nullptr;
    const int bytes = current->Format().BytesPerPixel();
    // Source pixel (x, y) lands at (h - 1 - y, x): a quarter turn clockwise.
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* from = current->Row(y);
      for (int32_t x = 0; x < w; ++x)
        std::memcpy(turned->Row(x) + static_cast<size_t>(h - 1 - y) * bytes, from + static_cast<size_t>(x) * bytes,
                    static_cast<size_t>(bytes));
    }
    turned->SetColorKey(current->SrcColorKey());
    current = std::move(turned);
  }
  return current;
}

}  // namespace zv
