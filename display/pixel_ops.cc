#include "display/pixel_ops.h"

#include <vector>

#include "display/display.h"
#include "platform/surface/blit.h"

namespace zv {
namespace {

namespace result = platform::result;
using platform::Rect;
using platform::Result;
using platform::Surface;

// Field values of one pixel by the display's current channel layout.
struct Channels {
  int32_t red, green, blue;
};

Channels Split(const PresentState& p, uint32_t pixel) {
  const platform::ChannelLayout& c = p.channels;
  return Channels{static_cast<int32_t>((pixel >> c.red_shift) & static_cast<uint32_t>(p.red_max)),
                  static_cast<int32_t>((pixel >> c.green_shift) & static_cast<uint32_t>(p.green_max)),
                  static_cast<int32_t>(pixel & static_cast<uint32_t>(p.blue_max))};
}

uint32_t Join(const PresentState& p, Channels ch) {
  return static_cast<uint32_t>(ch.red) << p.channels.red_shift |
         static_cast<uint32_t>(ch.green) << p.channels.green_shift | static_cast<uint32_t>(ch.blue);
}

// Locks with the wait flag, asking again while the blitter is busy.
Result LockWaiting(Surface& surface, uint32_t flags, platform::LockedRegion* region) {
  Result r;
  do {
    r = surface.Lock(nullptr, flags | platform::kLockWait, region);
  } while (r == result::kWasStillDrawing);
  return r;
}

platform::SurfacePtr MakeWorkSurface(const Surface& like) {
  platform::SurfaceDesc desc;
  desc.width = like.Width();
  desc.height = like.Height();
  desc.format = like.Format();
  return Surface::Create(desc);
}

int32_t BitsBelowTop(uint32_t mask) {
  int32_t shifts = 0;
  while (mask != 0) {
    mask >>= 1;
    ++shifts;
  }
  return shifts;
}

}  // namespace

Result RetrySurfaceCall(Display& display, Surface& dest, Surface* src,
                        const std::function<Result()>& call) {
  for (;;) {
    Result r = call();
    if (platform::Succeeded(r)) return r;
    if (r == result::kWasStillDrawing) continue;
    if (r != result::kSurfaceLost) return r;
    bool restored = platform::Succeeded(dest.Restore()) &&
                    (src == nullptr || platform::Succeeded(src->Restore()));
    if (!restored) {
      display.SuspendAfterFailedRestore();
      return r;
    }
  }
}

int32_t BltFastWhole(Display& display, Surface& dest, Surface& src) {
  RetrySurfaceCall(display, dest, nullptr, [&] { return dest.BltFast(0, 0, &src, nullptr, 0); });
  return 1;
}

int32_t BltFastSized(Display& display, Surface& dest, int32_t x, int32_t y, Surface& src,
                     int32_t width, int32_t height, uint32_t flags) {
  return BltFastRect(display, dest, x, y, src, 0, 0, width, height, flags);
}

int32_t BltFastRect(Display& display, Surface& dest, int32_t x, int32_t y, Surface& src,
                    int32_t sx, int32_t sy, int32_t width, int32_t height, uint32_t flags) {
  Rect r{sx, sy, sx + width, sy + height};
  RetrySurfaceCall(display, dest, nullptr, [&] { return dest.BltFast(x, y, &src, &r, flags); });
  return 1;
}

int32_t BltFastAt(Display& display, Surface& dest, int32_t x, int32_t y, Surface& src,
                  uint32_t flags) {
  RetrySurfaceCall(display, dest, nullptr, [&] { return dest.BltFast(x, y, &src, nullptr, flags); });
  return 1;
}

int32_t FillSurfaceRect(Surface& surface, const Rect& rect, uint32_t colour) {
  platform::BltFx fx;
  fx.fill_color = colour;
  surface.Blt(&rect, nullptr, nullptr, platform::kBltColorFill | platform::kBltWait, &fx);
  return 1;
}

void ComputeChannelMasks(Display& display, const Surface& surface) {
  const platform::PixelFormat& f = surface.Format();
  PresentState& p = display.Presentation();
  int32_t blue_bits = BitsBelowTop(f.blue_mask);
  int32_t green_bits = BitsBelowTop(f.green_mask) - blue_bits;
  int32_t red_bits = BitsBelowTop(f.red_mask) - blue_bits - green_bits;
  if (green_bits < 0) green_bits = 0;
  if (red_bits < 0) red_bits = 0;
  p.channels = platform::ChannelLayout{blue_bits + green_bits, blue_bits, 0,
                                       red_bits, green_bits, blue_bits};
  p.red_max = (1 << red_bits) - 1;
  p.green_max = (1 << green_bits) - 1;
  p.blue_max = (1 << blue_bits) - 1;
}

uint32_t PixelToRgb(const Display& display, uint32_t pixel) {
  const PresentState& p = display.Presentation();
  Channels ch = Split(p, pixel);
  auto widen = [](int32_t field, int32_t max) {
    return max == 0 ? 0u : static_cast<uint32_t>(field * (255.0 / max));
  };
  return widen(ch.red, p.red_max) << 16 | widen(ch.green, p.green_max) << 8 |
         widen(ch.blue, p.blue_max);
}

uint32_t ReadSurfacePixel(Display& display, Surface& surface, int32_t x, int32_t y) {
  ComputeChannelMasks(display, surface);
  platform::LockedRegion region;
  if (platform::Failed(LockWaiting(surface, platform::kLockReadOnly, &region))) return 0;
  int bytes = region.format.BytesPerPixel();
  uint32_t pixel = platform::ReadPixel(
      region.bits + static_cast<size_t>(y) * region.pitch + static_cast<size_t>(x) * bytes, bytes);
  surface.Unlock();
  return PixelToRgb(display, pixel & region.format.ValueMask());
}

int32_t BlurSurface(Display& display, Surface& surface, int32_t size) {
  ComputeChannelMasks(display, surface);
  if (size > 9) return 0;
  platform::SurfacePtr a = MakeWorkSurface(surface);
  platform::SurfacePtr b = MakeWorkSurface(surface);
  if (!a || !b) return 0;
  if (platform::Failed(a->BltFast(0, 0, &surface, nullptr, 0))) return 0;
  platform::LockedRegion ra, rb;
  if (platform::Failed(LockWaiting(*a, platform::kLockReadOnly, &ra))) return 0;
  if (platform::Failed(LockWaiting(*b, platform::kLockWriteOnly, &rb))) {
    a->Unlock();
    return 0;
  }

  const PresentState& p = display.Presentation();
  const int bytes = ra.format.BytesPerPixel();
  int32_t from = 0, to = 0;
  if (size > 1) {
    from = -(size / 2);
    to = size + from - 1;
  }
  const int32_t w = ra.width, h = ra.height;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      int64_t red = 0, green = 0, blue = 0, used = 0;
      for (int32_t v = y + from; v <= y + to; ++v) {
        if (v < 0 || v >= h) continue;
        for (int32_t u = x + from; u <= x + to; ++u) {
          if (u < 0 || u >= w) continue;
          Channels ch = Split(p, platform::ReadPixel(ra.bits + static_cast<size_t>(v) * ra.pitch +
                                                         static_cast<size_t>(u) * bytes, bytes));
          red += ch.red;
          green += ch.green;
          blue += ch.blue;
          ++used;
        }
      }
      Channels mean{static_cast<int32_t>(red / used), static_cast<int32_t>(green / used),
                    static_cast<int32_t>(blue / used)};
      platform::WritePixel(rb.bits + static_cast<size_t>(y) * rb.pitch + static_cast<size_t>(x) * bytes,
                           bytes, Join(p, mean));
    }
  }
  a->Unlock();
  b->Unlock();
  surface.BltFast(0, 0, b.get(), nullptr, 0);
  return 1;
}

int32_t FadeSurface(Display& display, Surface& surface, int32_t percent) {
  if (percent < 0 || percent > 100) return 0;
  ComputeChannelMasks(display, surface);
  platform::LockedRegion region;
  if (platform::Failed(LockWaiting(surface, 0, &region))) return 0;
  const PresentState& p = display.Presentation();
  const double factor = percent / 100.0;
  const int bytes = region.format.BytesPerPixel();
  for (int32_t y = 0; y < region.height; ++y) {
    uint8_t* row = region.bits + static_cast<size_t>(y) * region.pitch;
    for (int32_t x = 0; x < region.width; ++x) {
      uint8_t* at = row + static_cast<size_t>(x) * bytes;
      Channels ch = Split(p, platform::ReadPixel(at, bytes));
      Channels faded{static_cast<int32_t>(ch.red * factor), static_cast<int32_t>(ch.green * factor),
                     static_cast<int32_t>(ch.blue * factor)};
      platform::WritePixel(at, bytes, Join(p, faded));
    }
  }
  surface.Unlock();
  return 1;
}

}  // namespace zv
