#include "display/sprite_blit.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "display/pixel_ops.h"

namespace zv {
namespace {

// trunc(value) as a 64-bit integer; values beyond any picture saturate.
int64_t Truncate(float value) {
  if (!(std::fabs(value) < 1e15f)) return value < 0 ? -(int64_t{1} << 50) : (int64_t{1} << 50);
  return static_cast<int64_t>(value);
}

int32_t Narrow(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

void ClipBlitRects(platform::Size target, platform::Rect& source, platform::Rect& dest, int64_t x, int64_t y,
                   int32_t width, int32_t height, float scale_x, float scale_y, bool flipped, bool mirrored) {
  int64_t s_left = source.left, s_top = source.top;
  int64_t s_right = s_left + width, s_bottom = s_top + height;
  int64_t left = x, top = y;
  int64_t right = x + Truncate(static_cast<float>(width) * scale_x);
  int64_t bottom = y + Truncate(static_cast<float>(height) * scale_y);
  if (!(scale_x > 0.0f) || !(scale_y > 0.0f)) right = left, bottom = top;
  else {
    if (left < 0) {
      const int64_t cut = Truncate(static_cast<float>(-left) / scale_x);
      mirrored ? s_right -= cut : s_left += cut;
      left = 0;
    }
    if (top < 0) {
      const int64_t cut = Truncate(static_cast<float>(-top) / scale_y);
      flipped ? s_bottom -= cut : s_top += cut;
      top = 0;
    }
    if (right > target.width) {
      const int64_t cut = Truncate(static_cast<float>(right - target.width) / scale_x);
      mirrored ? s_left += cut : s_right -= cut;
      right = target.width;
    }
    if (bottom > target.height) {
      const int64_t cut = Truncate(static_cast<float>(bottom - target.height) / scale_y);
      flipped ? s_top += cut : s_bottom -= cut;
      bottom = target.height;
    }
  }
  source = platform::Rect{Narrow(s_left), Narrow(s_top), Narrow(s_right), Narrow(s_bottom)};
  dest = platform::Rect{Narrow(left), Narrow(top), Narrow(right), Narrow(bottom)};
}

void BlitSprite(Display& display, platform::Surface& target, platform::Size target_size, const SpriteRecord& sprite,
                const ImageRecord* image, int32_t x, int32_t y) {
  if (sprite.is_3d == 1 || image == nullptr || image->in_use != 1 || !image->surface) return;
  platform::Rect source = image->source, dest;
  ClipBlitRects(target_size, source, dest, int64_t{x} - sprite.hot_x, int64_t{y} - sprite.hot_y, image->width,
                image->height,
                sprite.scale_x, sprite.scale_y, sprite.flipped == 1, sprite.mirrored == 1);
  if (dest.Empty()) return;
  // What the clipping cut away entirely leaves nothing of the picture.
  if (source.Empty() || !source.FitsIn(image->surface->Width(), image->surface->Height())) return;
  platform::BltFx fx;
  fx.mirror_up_down = sprite.flipped == 1;
  fx.mirror_left_right = sprite.mirrored == 1;
  const uint32_t flags = platform::kBltFx | (sprite.transparent == 1 ? platform::kBltKeySrc : 0u);
  platform::Surface& picture = *image->surface;
  RetrySurfaceCall(display, target, nullptr, [&] { return target.Blt(&dest, &picture, &source, flags, &fx); });
}

}  // namespace zv
