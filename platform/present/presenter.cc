#include "platform/present/presenter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/surface/convert.h"
#include "platform/surface/png_writer.h"

namespace zv::platform {

namespace {

// `surface`, made anew unless it has `frame`'s size and `format`.
bool SizedLike(SurfacePtr& surface, const Surface& frame, const PixelFormat& format) {
  if (surface && surface->Width() == frame.Width() && surface->Height() == frame.Height() &&
      surface->Format() == format)
    return true;
  SurfaceDesc desc;
  desc.width = frame.Width();
  desc.height = frame.Height();
  desc.format = format;
  surface = Surface::Create(desc);
  return surface != nullptr;
}

// Copies the rows of `from` that `to` does not hold already: a picture that
// stays the same, or memory nobody has drawn on, is not written again.
void CopyChangedRows(const Surface& from, Surface& to) {
  const size_t bytes = static_cast<size_t>(from.Width()) * from.Format().BytesPerPixel();
  for (int32_t y = 0; y < from.Height(); ++y)
    if (std::memcmp(to.Row(y), from.Row(y), bytes) != 0) std::memcpy(to.Row(y), from.Row(y), bytes);
}

}  // namespace

bool Presenter::Present(const Surface& frame, const GammaRamp* gamma) {
  if (!ShowsPictures()) return Keep(frame, gamma) && Show(*kept_frame_);
  if (!SizedLike(last_frame_, frame, PixelFormat::Xrgb8888())) return false;
  ConvertToXrgb(frame, reinterpret_cast<uint32_t*>(last_frame_->Row(0)),
                last_frame_->Pitch() / 4, gamma);
  return Show(*last_frame_);
}

bool Presenter::Keep(const Surface& frame, const GammaRamp* gamma) {
  if (!SizedLike(kept_frame_, frame, frame.Format())) return false;
  CopyChangedRows(frame, *kept_frame_);
  const Palette* palette = frame.GetPalette();
  kept_frame_->SetPalette(palette ? std::make_shared<Palette>(*palette) : nullptr);
  kept_gamma_.reset();
  if (gamma) kept_gamma_ = *gamma;
  kept_is_newer_ = true;
  return true;
}

const Surface* Presenter::LastFrame() const {
  if (kept_is_newer_ && SizedLike(last_frame_, *kept_frame_, PixelFormat::Xrgb8888())) {
    ConvertToXrgb(*kept_frame_, reinterpret_cast<uint32_t*>(last_frame_->Row(0)), last_frame_->Pitch() / 4,
                  kept_gamma_ ? &*kept_gamma_ : nullptr);
    kept_is_newer_ = false;
  }
  return last_frame_.get();
}

Size Presenter::PictureSize() const {
  const Surface* picture = kept_frame_ ? kept_frame_.get() : last_frame_.get();
  return picture ? Size{picture->Width(), picture->Height()} : Size{};
}

Rect Presenter::PictureRect() const {
  const Size picture = PictureSize();
  if (picture.width == 0) return Rect{};
  if (!FullScreen()) return RectOfSize(picture.width, picture.height);
  return FitPicture(picture, ClientSize());
}

Point Presenter::ClientToPicture(Point client) const {
  const Size picture = PictureSize();
  if (!FullScreen() || picture.width == 0) return client;
  Rect place = FitPicture(picture, ClientSize());
  if (place.Empty()) return client;
  return Point{
      static_cast<int32_t>(int64_t{client.x - place.left} * picture.width / place.Width()),
      static_cast<int32_t>(int64_t{client.y - place.top} * picture.height / place.Height())};
}

bool Presenter::WriteScreenshot(const std::string& path) const {
  const Surface* picture = LastFrame();
  if (!picture) {
    errno = 0;
    return false;
  }
  return WriteSurfacePng(*picture, path);
}

Rect FitPicture(Size picture, Size client) {
  if (picture.width < 1 || picture.height < 1 || client.width < 1 || client.height < 1)
    return Rect{};
  // The larger scale at which the whole picture still fits.
  int64_t w = client.width, h = int64_t{client.width} * picture.height / picture.width;
  if (h > client.height) {
    h = client.height;
    w = int64_t{client.height} * picture.width / picture.height;
  }
  int32_t left = static_cast<int32_t>((client.width - w) / 2);
  int32_t top = static_cast<int32_t>((client.height - h) / 2);
  return Rect{left, top, left + static_cast<int32_t>(w), top + static_cast<int32_t>(h)};
}

}  // namespace zv::platform
