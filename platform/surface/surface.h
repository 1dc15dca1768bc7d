#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/surface/clipper.h"
#include "platform/surface/color_key.h"
#include "platform/surface/gamma_ramp.h"
#include "platform/surface/palette.h"
#include "platform/surface/pixel_format.h"
#include "platform/surface/pixel_storage.h"
#include "platform/surface/rect.h"
#include "platform/surface/result.h"

namespace zv::platform {

class Surface;
using SurfacePtr = std::shared_ptr<Surface>;

enum class SurfaceRole { kOffscreen, kPrimary, kBackBuffer, kZBuffer, kTexture };
// The memory budget a surface counts against. Every surface lives in main
// memory; "video" surfaces only draw on the device's reported video memory.
enum class MemoryPool { kSystem, kVideo };

struct SurfaceDesc {
  int32_t width = 0, height = 0;
  PixelFormat format;  // bits 0: the device fills in the display's format
  SurfaceRole role = SurfaceRole::kOffscreen;
  MemoryPool pool = MemoryPool::kSystem;
  PixelHome home = PixelHome::kHeap;
};

struct LockedRegion {
  uint8_t* bits = nullptr;  // first pixel of the locked rectangle
  int32_t pitch = 0;        // bytes from one row to the next
  int32_t width = 0, height = 0;
  PixelFormat format;
};

// Blt flags.
enum BltFlag : uint32_t {
  kBltColorFill = 1u << 0,  // fill the destination with BltFx::fill_color
  kBltKeySrc = 1u << 1,     // skip source pixels matching the source's colour key
  kBltFx = 1u << 2,         // apply the mirror effects of BltFx
  kBltWait = 1u << 3,       // wait while the blitter is busy (ours never is)
};
// BltFast flags.
enum BltFastFlag : uint32_t {
  kBltFastSrcColorKey = 1u << 0,
  kBltFastWait = 1u << 1,
};
// Lock flags.
enum LockFlag : uint32_t {
  kLockWait = 1u << 0,
  kLockReadOnly = 1u << 1,
  kLockWriteOnly = 1u << 2,
};

struct BltFx {
  uint32_t fill_color = 0;
  bool mirror_left_right = false;
  bool mirror_up_down = false;
};

// What the surfaces of one device share: the video-memory count and whether
// lost surfaces can be restored.
struct SurfaceContext {
  int64_t video_bytes = 0;
  bool restore_fails = false;
};

// A rectangle of pixels in memory, the stand-in for a display surface: it can
// be locked, blitted to and from (colour fill, source colour key, mirroring,
// nearest stretching, overlapping source and destination), flipped with its
// attached back buffer, and lost and restored. Rectangles follow strict
// rules: a rectangle that is empty or reaches outside its surface makes the
// call fail with kInvalidRect. Only a destination with a clipper attached
// clips; everyone else clips before calling.
class Surface {
 public:
  // Null when the size is not positive, the format has no bits, or the
  // memory cannot be had.
  static SurfacePtr Create(const SurfaceDesc& desc,
                           std::shared_ptr<SurfaceContext> context = nullptr);
  ~Surface();
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  Rect Bounds() const { return RectOfSize(width_, height_); }
  const PixelFormat& Format() const { return format_; }
  int32_t Pitch() const { return pitch_; }
  SurfaceRole Role() const { return role_; }
  MemoryPool Pool() const { return pool_; }
  PixelHome Home() const { return storage_.home(); }

  // Direct access for this layer, presentation and tests; no lock taken.
  uint8_t* Row(int32_t y) { return storage_.data() + static_cast<size_t>(y) * pitch_; }
  const uint8_t* Row(int32_t y) const {
    return storage_.data() + static_cast<size_t>(y) * pitch_;
  }
  uint32_t PixelAt(int32_t x, int32_t y) const;
  void SetPixelAt(int32_t x, int32_t y, uint32_t value);

  Result Lock(const Rect* rect, uint32_t flags, LockedRegion* out);
  Result Unlock();
  bool IsLocked() const { return locked_; }

  // `dest` and `src_rect` null mean whole surfaces; `src` is ignored for a
  // colour fill. Different sizes stretch by nearest pixel.
  Result Blt(const Rect* dest, Surface* src, const Rect* src_rect, uint32_t flags,
             const BltFx* fx = nullptr);
  // Unscaled copy of `src_rect` (null: whole source) to x, y.
  Result BltFast(int32_t x, int32_t y, Surface* src, const Rect* src_rect, uint32_t flags);

  void SetColorKey(std::optional<ColorKey> key) { color_key_ = key; }
  std::optional<ColorKey> SrcColorKey() const { return color_key_; }

  // A primary surface with an attached back buffer is a flip chain: Flip
  // exchanges the pixels of the two, so what was drawn becomes visible and
  // the former front buffer becomes the one drawn next.
  void AttachBackBuffer(SurfacePtr back) { back_buffer_ = std::move(back); }
  Surface* AttachedBackBuffer() const { return back_buffer_.get(); }
  SurfacePtr AttachedBackBufferPtr() const { return back_buffer_; }
  Result Flip();
  void AttachZBuffer(SurfacePtr zbuffer) { zbuffer_ = std::move(zbuffer); }
  Surface* AttachedZBuffer() const { return zbuffer_.get(); }

  void SetPalette(PalettePtr palette) { palette_ = std::move(palette); }
  const Palette* GetPalette() const { return palette_.get(); }
  void SetClipper(ClipperPtr clipper) { clipper_ = std::move(clipper); }
  const Clipper* GetClipper() const { return clipper_.get(); }

  // Gamma belongs to the primary surface.
  bool HasGammaControl() const { return role_ == SurfaceRole::kPrimary; }
  Result SetGammaRamp(const GammaRamp& ramp);
  const GammaRamp& GetGammaRamp() const;

  bool IsLost() const { return lost_; }
  void MarkLost() { lost_ = true; }
  // Fails (kFail) while the device cannot restore; the pixels are kept.
  Result Restore();

  // A windowed primary follows the client area's size; pixels are cleared.
  Result Resize(int32_t width, int32_t height);

 private:
  Surface() = default;
  bool AllocatePixels(int32_t width, int32_t height);

  int32_t width_ = 0, height_ = 0, pitch_ = 0;
  PixelFormat format_;
  SurfaceRole role_ = SurfaceRole::kOffscreen;
  MemoryPool pool_ = MemoryPool::kSystem;
  PixelStorage storage_;
  std::shared_ptr<SurfaceContext> context_;
  std::optional<ColorKey> color_key_;
  SurfacePtr back_buffer_, zbuffer_;
  PalettePtr palette_;
  ClipperPtr clipper_;
  // Null for the identity: only a primary has a ramp of its own, and a
  // program may make surfaces by the ten thousand.
  std::unique_ptr<GammaRamp> gamma_;
  bool locked_ = false;
  bool lost_ = false;
};

}  // namespace zv::platform
