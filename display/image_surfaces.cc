#include "display/image_surfaces.h"

#include <algorithm>

#include "display/pixel_ops.h"

namespace zv {

using platform::Rect;

bool EnsureImageSurface(ImageRecord& image, int32_t width, int32_t height, uint32_t colour_key,
                        const SurfaceMaker& make) {
  if (!(image.surface && image.created_width == width && image.created_height == height)) {
    image.surface.reset();
    if (width < 1 || height < 1) return false;
    platform::SurfacePtr surface = make(width, height);
    if (!surface) return false;
    surface->SetColorKey(platform::ColorKey{colour_key, colour_key});
    image.surface = std::move(surface);
    image.created_width = width;
    image.created_height = height;
  }
  image.source = platform::RectOfSize(width, height);
  image.width = width;
  image.height = height;
  image.in_use = 1;
  return true;
}

bool GrabImage(Display& display, ImageRecord& image, platform::Surface& source, const Rect& rect,
               uint32_t colour_key, const SurfaceMaker& make) {
  if (!EnsureImageSurface(image, rect.Width(), rect.Height(), colour_key, make)) {
    image.surface.reset();
    image.width = image.height = 0;
    image.in_use = 0;
    return false;
  }
  platform::Surface& picture = *image.surface;
  RetrySurfaceCall(display, picture, nullptr, [&] { return picture.BltFast(0, 0, &source, &rect, 0); });
  return true;
}

bool BltImageRecord(Display& display, platform::Surface& dest, const ImageRecord& image, int32_t x, int32_t y,
                    bool transparent) {
  if (!image.surface) return false;
  Rect from = image.source;
  int64_t left = x, top = y;
  // Cut whatever lies off the destination from the source's edges.
  if (left < 0) from.left = static_cast<int32_t>(std::min<int64_t>(from.right, from.left - left)), left = 0;
  if (top < 0) from.top = static_cast<int32_t>(std::min<int64_t>(from.bottom, from.top - top)), top = 0;
  const int64_t over_right = left + from.Width() - dest.Width();
  const int64_t over_bottom = top + from.Height() - dest.Height();
  if (over_right > 0) from.right = static_cast<int32_t>(std::max<int64_t>(from.left, from.right - over_right));
  if (over_bottom > 0) from.bottom = static_cast<int32_t>(std::max<int64_t>(from.top, from.bottom - over_bottom));
  if (from.Empty()) return true;
  platform::Surface& picture = *image.surface;
  const uint32_t flags = transparent ? platform::kBltFastSrcColorKey : 0u;
  const platform::Result r = RetrySurfaceCall(display, dest, &picture, [&] {
    return dest.BltFast(static_cast<int32_t>(left), static_cast<int32_t>(top), &picture, &from, flags);
  });
  return platform::Succeeded(r);
}

}  // namespace zv
