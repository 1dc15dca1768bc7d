#include "platform/surface/surface.h"

#include <cstring>
#include <utility>

#include "platform/surface/blit.h"

namespace zv::platform {
namespace {

// Rows start on 4-byte boundaries, as display memory does.
int32_t PitchFor(int32_t width, const PixelFormat& format) {
  int64_t bytes = static_cast<int64_t>(width) * format.BytesPerPixel();
  return static_cast<int32_t>((bytes + 3) & ~int64_t{3});
}

constexpr int64_t kMaxSurfaceBytes = int64_t{1} << 30;

}  // namespace

SurfacePtr Surface::Create(const SurfaceDesc& desc, std::shared_ptr<SurfaceContext> context) {
  if (desc.width < 1 || desc.height < 1 || desc.format.bits == 0 || desc.format.bits % 8 != 0 ||
      desc.format.bits > 32)
    return nullptr;
  SurfacePtr s(new Surface());
  s->format_ = desc.format;
  s->role_ = desc.role;
  s->pool_ = desc.pool;
  s->context_ = std::move(context);
  s->storage_ = PixelStorage(0, desc.home);
  if (!s->AllocatePixels(desc.width, desc.height)) return nullptr;
  return s;
}

bool Surface::AllocatePixels(int32_t width, int32_t height) {
  int32_t pitch = PitchFor(width, format_);
  int64_t bytes = static_cast<int64_t>(pitch) * height;
  if (bytes <= 0 || bytes > kMaxSurfaceBytes) return false;
  PixelStorage storage(static_cast<size_t>(bytes), storage_.home());
  if (storage.data() == nullptr) return false;
  if (context_ && pool_ == MemoryPool::kVideo)
    context_->video_bytes += bytes - static_cast<int64_t>(storage_.size());
  storage_ = std::move(storage);
  width_ = width;
  height_ = height;
  pitch_ = pitch;
  return true;
}

Surface::~Surface() {
  if (context_ && pool_ == MemoryPool::kVideo)
    context_->video_bytes -= static_cast<int64_t>(storage_.size());
}

uint32_t Surface::PixelAt(int32_t x, int32_t y) const {
  return ReadPixel(Row(y) + static_cast<size_t>(x) * format_.BytesPerPixel(),
                   format_.BytesPerPixel());
}

void Surface::SetPixelAt(int32_t x, int32_t y, uint32_t value) {
  WritePixel(Row(y) + static_cast<size_t>(x) * format_.BytesPerPixel(), format_.BytesPerPixel(),
             value);
}

Result Surface::Lock(const Rect* rect, uint32_t flags, LockedRegion* out) {
  (void)flags;
  if (out == nullptr) return result::kInvalidParams;
  if (lost_) return result::kSurfaceLost;
  if (locked_) return result::kSurfaceBusy;
  Rect r = rect ? *rect : Bounds();
  if (!r.FitsIn(width_, height_)) return result::kInvalidRect;
  locked_ = true;
  out->bits = Row(r.top) + static_cast<size_t>(r.left) * format_.BytesPerPixel();
  out->pitch = pitch_;
  out->width = r.Width();
  out->height = r.Height();
  out->format = format_;
  return result::kOk;
}

Result Surface::Unlock() {
  if (!locked_) return result::kNotLocked;
  locked_ = false;
  return result::kOk;
}

Result Surface::Blt(const Rect* dest, Surface* src, const Rect* src_rect, uint32_t flags,
                    const BltFx* fx) {
  if (lost_) return result::kSurfaceLost;
  if (locked_) return result::kSurfaceBusy;
  Rect d = dest ? *dest : Bounds();
  if (d.Empty()) return result::kInvalidRect;
  Rect visible = d;
  if (clipper_) {
    visible = Rect{std::max(d.left, 0), std::max(d.top, 0), std::min(d.right, width_),
                   std::min(d.bottom, height_)};
    if (visible.Empty()) return result::kOk;
  } else if (!d.FitsIn(width_, height_)) {
    return result::kInvalidRect;
  }

  if (flags & kBltColorFill) {
    FillPixels(*this, visible, fx ? fx->fill_color : 0);
    return result::kOk;
  }
  if (src == nullptr) return result::kInvalidParams;
  if (src->lost_) return result::kSurfaceLost;
  if (src->locked_) return result::kSurfaceBusy;
  Rect s = src_rect ? *src_rect : src->Bounds();
  if (!s.FitsIn(src->width_, src->height_)) return result::kInvalidRect;

  BlitOptions options;
  if (flags & kBltKeySrc) {
    if (!src->color_key_) return result::kNoColorKey;
    options.key = src->color_key_;
  }
  if ((flags & kBltFx) && fx) {
    options.mirror_left_right = fx->mirror_left_right;
    options.mirror_up_down = fx->mirror_up_down;
  }
  return BlitPixels(*this, d, visible, *src, s, options);
}

Result Surface::BltFast(int32_t x, int32_t y, Surface* src, const Rect* src_rect,
                        uint32_t flags) {
  if (src == nullptr) return result::kInvalidParams;
  if (lost_ || src->lost_) return result::kSurfaceLost;
  if (locked_ || src->locked_) return result::kSurfaceBusy;
  Rect s = src_rect ? *src_rect : src->Bounds();
  if (!s.FitsIn(src->width_, src->height_)) return result::kInvalidRect;
  Rect d{x, y, x + s.Width(), y + s.Height()};
  if (!d.FitsIn(width_, height_)) return result::kInvalidRect;
  BlitOptions options;
  if (flags & kBltFastSrcColorKey) {
    if (!src->color_key_) return result::kNoColorKey;
    options.key = src->color_key_;
  }
  return BlitPixels(*this, d, d, *src, s, options);
}

Result Surface::Flip() {
  if (!back_buffer_) return result::kNotFlippable;
  if (lost_ || back_buffer_->lost_) return result::kSurfaceLost;
  if (locked_ || back_buffer_->locked_) return result::kSurfaceBusy;
  std::swap(storage_, back_buffer_->storage_);
  return result::kOk;
}

Result Surface::SetGammaRamp(const GammaRamp& ramp) {
  if (!HasGammaControl()) return result::kUnsupported;
  gamma_ = std::make_unique<GammaRamp>(ramp);
  return result::kOk;
}

const GammaRamp& Surface::GetGammaRamp() const {
  static const GammaRamp identity = GammaRamp::Identity();
  return gamma_ ? *gamma_ : identity;
}

Result Surface::Restore() {
  if (!lost_) return result::kOk;
  if (context_ && context_->restore_fails) return result::kFail;
  lost_ = false;
  return result::kOk;
}

Result Surface::Resize(int32_t width, int32_t height) {
  if (locked_) return result::kSurfaceBusy;
  if (width < 1 || height < 1) return result::kInvalidParams;
  if (width == width_ && height == height_) return result::kOk;
  return AllocatePixels(width, height) ? result::kOk : result::kOutOfMemory;
}

}  // namespace zv::platform
