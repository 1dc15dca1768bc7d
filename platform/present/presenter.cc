#include "platform/present/presenter.h"

#include <algorithm>
#include <cerrno>

#include "platform/surface/convert.h"
#include "platform/surface/png_writer.h"

namespace zv::platform {

bool Presenter::Present(const Surface& frame, const GammaRamp* gamma) {
  if (!last_frame_ || last_frame_->Width() != frame.Width() ||
      last_frame_->Height() != frame.Height()) {
    SurfaceDesc desc;
    desc.width = frame.Width();
    desc.height = frame.Height();
    desc.format = PixelFormat::Xrgb8888();
    last_frame_ = Surface::Create(desc);
    if (!last_frame_) return false;
  }
  ConvertToXrgb(frame, reinterpret_cast<uint32_t*>(last_frame_->Row(0)),
                last_frame_->Pitch() / 4, gamma);
  return Show(*last_frame_);
}

Rect Presenter::PictureRect() const {
  if (!last_frame_) return Rect{};
  Size picture{last_frame_->Width(), last_frame_->Height()};
  if (!FullScreen()) return RectOfSize(picture.width, picture.height);
  return FitPicture(picture, ClientSize());
}

Point Presenter::ClientToPicture(Point client) const {
  if (!FullScreen() || !last_frame_) return client;
  Size picture{last_frame_->Width(), last_frame_->Height()};
  Rect place = FitPicture(picture, ClientSize());
  if (place.Empty()) return client;
  return Point{
      static_cast<int32_t>(int64_t{client.x - place.left} * picture.width / place.Width()),
      static_cast<int32_t>(int64_t{client.y - place.top} * picture.height / place.Height())};
}

bool Presenter::WriteScreenshot(const std::string& path) const {
  if (!last_frame_) {
    errno = 0;
    return false;
  }
  return WriteSurfacePng(*last_frame_, path);
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
