// Showing the back buffer, the frame rate, lost surfaces, the back-buffer
// clear, the gamma ramp and the program's pixel lock.
#include "display/display.h"
#include "display/pixel_ops.h"

namespace zv {
namespace {

namespace result = platform::result;
using platform::Rect;
using platform::Result;

constexpr uint32_t kFrameRateInterval = 1000;

}  // namespace

bool Display::PresentFrame() {
  if (++present_.frame == 0) present_.frame = 1;
  if (!surfaces_.primary || !surfaces_.back_buffer || !DrawingEnabled()) return false;
  if (!(surfaces_.flip_chain ? FlipBuffers() : CopyBackBufferToWindow())) return false;
  ShowPrimary();
  CountFrame();
  return true;
}

bool Display::RepaintFrame() {
  if (!surfaces_.primary || !surfaces_.back_buffer || !DrawingEnabled()) return false;
  // A flip chain's front buffer holds the frame shown last. A flip here
  // would show the frame before it and leave the chain a flip out of step:
  // a screen record drawn into one buffer so far would be drawn into that
  // same buffer again, never into the other, and blink.
  if (!surfaces_.flip_chain && !CopyBackBufferToWindow()) return false;
  ShowPrimary();
  return true;
}

bool Display::FlipBuffers() {
  for (;;) {
    Result r = surfaces_.primary->Flip();
    if (platform::Succeeded(r)) {
      // Saved sprite backgrounds are paired with the buffer they were
      // taken from, so the index turns only when the buffers did.
      present_.current_buffer = 1 - present_.current_buffer;
      return true;
    }
    if (r == result::kSurfaceLost) {
      if (platform::Failed(RestoreAllSurfaces())) return false;
      continue;
    }
    if (r != result::kWasStillDrawing) return true;
  }
}

bool Display::CopyBackBufferToWindow() {
  platform::Surface& primary = *surfaces_.primary;
  bool windowed = device_.full_screen == 0;
  if (windowed) {
    platform::Size client = ClientSize();
    primary.Resize(client.width, client.height);
  }
  const int32_t sw = surfaces_.screen_width, sh = surfaces_.screen_height;
  Rect source{0, 0, sw, sh};
  int32_t left = windowed ? (primary.Width() - sw) / 2 : 0;
  int32_t top = windowed ? (primary.Height() - sh) / 2 : 0;
  Rect dest{left, top, left + sw, top + sh};
  present_.client_origin_x = left;
  present_.client_origin_y = top;
  for (;;) {
    Result r = primary.Blt(&dest, surfaces_.back_buffer.get(), &source, 0);
    if (platform::Succeeded(r)) break;
    if (r == result::kSurfaceLost) {
      if (platform::Failed(RestoreAllSurfaces())) return false;
      continue;
    }
    if (r != result::kWasStillDrawing) break;
  }
  if (layout_.clear_borders) ClearWindowBorders(dest);
  return true;
}

void Display::ShowPrimary() {
  platform::Surface& primary = *surfaces_.primary;
  Presenter().Present(primary, surfaces_.gamma_available ? &primary.GetGammaRamp() : nullptr);
}

void Display::TakeBackPresentedFrame() {
  if (!surfaces_.flip_chain || !surfaces_.primary || !DrawingEnabled()) return;
  // The chain swaps its buffers: a second flip brings the shown one back,
  // with the sprite backgrounds that were saved on it.
  if (platform::Succeeded(surfaces_.primary->Flip())) present_.current_buffer = 1 - present_.current_buffer;
}

void Display::ClearWindowBorders(const Rect& picture) {
  if (device_.full_screen != 0 || !surfaces_.primary) return;
  platform::Surface& primary = *surfaces_.primary;
  const int32_t w = primary.Width(), h = primary.Height();
  platform::BltFx black;
  for (Rect band : {Rect{0, 0, w, picture.top}, Rect{0, picture.bottom, w, h},
                    Rect{0, 0, picture.left, h}, Rect{picture.right, 0, w, h}}) {
    if (!band.Empty()) primary.Blt(&band, nullptr, nullptr, platform::kBltColorFill, &black);
  }
}

void Display::CountFrame() {
  ++present_.frame_count;
  present_.now = vm_.Host().NowMs();
  uint32_t elapsed = present_.now - present_.time_of_last;
  if (elapsed > kFrameRateInterval) {
    present_.frames_per_second = static_cast<int32_t>(
        (present_.frame_count - present_.frame_count_at_last) * 1000u / elapsed);
    present_.time_of_last = present_.now;
    present_.frame_count_at_last = present_.frame_count;
  }
}

Result Display::RestoreAllSurfaces() {
  if (device_.device) {
    Result r = device_.device->RestoreAllSurfaces();
    if (platform::Succeeded(r) && surfaces_.primary) r = surfaces_.primary->Restore();
    if (platform::Succeeded(r) && surfaces_.back_buffer) r = surfaces_.back_buffer->Restore();
    if (platform::Failed(r)) {
      SuspendAfterFailedRestore();
      return r;
    }
  }
  clients_->ReleaseSpriteBackgrounds();
  return result::kOk;
}

bool Display::ClearBackBuffer() {
  if (!surfaces_.back_buffer) return false;
  platform::Surface& back = *surfaces_.back_buffer;
  Rect all{0, 0, surfaces_.screen_width, surfaces_.screen_height};
  platform::BltFx fill;
  fill.fill_color = present_.background_colour;
  Result r = RetrySurfaceCall(*this, back, nullptr, [&] {
    return back.Blt(&all, nullptr, nullptr, platform::kBltColorFill | platform::kBltWait, &fill);
  });
  return r != result::kSurfaceLost;
}

bool Display::SetGammaRamp(int32_t red, int32_t green, int32_t blue) {
  if (!surfaces_.primary || !surfaces_.gamma_available) return false;
  auto fill = [](std::array<uint16_t, 256>& channel, int32_t v) {
    int32_t base = v > 256 ? v - 256 : 0;
    int32_t slope = v > 256 ? 255 - base : v;
    for (int32_t i = 0; i < 256; ++i) channel[i] = static_cast<uint16_t>(base * 256 + i * slope);
  };
  platform::GammaRamp ramp;
  fill(ramp.red, red);
  fill(ramp.green, green);
  fill(ramp.blue, blue);
  return platform::Succeeded(surfaces_.primary->SetGammaRamp(ramp));
}

bool Display::RestorePrimarySurface() {
  if (!surfaces_.primary || device_.full_screen == 0) return false;
  // A full-screen display belongs to the window with the focus: while
  // another window has it, the display cannot be had back, so the program
  // stays paused until the window is activated again.
  if (!runtime_.window.input_focus) return false;
  return platform::Succeeded(surfaces_.primary->Restore());
}

PictureArea Display::Picture() const {
  PictureArea area;
  area.screen_width = surfaces_.screen_width;
  area.screen_height = surfaces_.screen_height;
  const platform::Presenter& presenter = *platform_.presenter;
  Rect shown = presenter.PictureRect();
  if (presenter.FullScreen() && !shown.Empty()) {
    area.x = shown.left;
    area.y = shown.top;
    area.width = shown.Width();
    area.height = shown.Height();
  } else {
    area.x = present_.client_origin_x;
    area.y = present_.client_origin_y;
    area.width = surfaces_.screen_width;
    area.height = surfaces_.screen_height;
  }
  return area;
}

void Display::LockPixels() {
  if (!surfaces_.back_buffer) return;
  platform::LockedRegion region;
  if (platform::Failed(surfaces_.back_buffer->Lock(nullptr, platform::kLockWait, &region))) return;
  lock_.pixels = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(region.bits));
  lock_.width = region.width;
  lock_.height = region.height;
  lock_.depth = region.format.bits;
  lock_.pitch = region.pitch;
}

void Display::UnlockPixels() {
  if (surfaces_.back_buffer) surfaces_.back_buffer->Unlock();
  lock_ = PixelLock{};
}

}  // namespace zv
