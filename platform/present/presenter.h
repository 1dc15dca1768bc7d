#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/surface/draw_device.h"
#include "platform/surface/gamma_ramp.h"
#include "platform/surface/rect.h"
#include "platform/surface/surface.h"

namespace zv::platform {

struct Point {
  int32_t x = 0, y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// Shows the display's primary surface. In a window the picture appears 1:1
// in the client area; full screen is a desktop-sized window with the
// picture scaled to fit, aspect kept and the bands black. Every backend
// keeps the last presented picture (after gamma) for screenshots; one that
// shows nothing keeps the frame as it was presented and converts it only
// when somebody asks for the picture.
class Presenter {
 public:
  virtual ~Presenter() = default;

  // Size and depth of the desktop the window is shown on.
  virtual DisplayMode Desktop() const = 0;
  virtual void SetFullScreen(bool full_screen) = 0;
  virtual bool FullScreen() const = 0;

  // Converts the surface through its palette and the gamma ramp (null: none)
  // and shows it. False when nothing could be shown.
  bool Present(const Surface& frame, const GammaRamp* gamma);

  // Where the last picture lies in the client area: scaled to fit in full
  // screen, at the top left otherwise.
  Rect PictureRect() const;
  // The point of the presented picture under a point of the client area;
  // in full screen the scaling is undone.
  Point ClientToPicture(Point client) const;

  // The last presented picture, 32 bits per pixel; null before the first.
  const Surface* LastFrame() const;
  // Writes LastFrame as a PNG file; false when there is none (errno 0) or
  // the write fails (errno says why).
  bool WriteScreenshot(const std::string& path) const;

  // The size of the last presented picture; 0 by 0 before the first.
  Size PictureSize() const;

 protected:
  // Shows the picture on the device: LastFrame, or, where ShowsPictures is
  // false, the frame as it was presented.
  virtual bool Show(const Surface& picture) = 0;
  // Whether the device shows what is presented, and so needs each picture
  // converted at once.
  virtual bool ShowsPictures() const { return true; }
  // The client area's size in pixels (for the full-screen scaling).
  virtual Size ClientSize() const = 0;

 private:
  // Keeps a copy of `frame`, with its palette and `gamma`, to convert later.
  bool Keep(const Surface& frame, const GammaRamp* gamma);

  mutable SurfacePtr last_frame_;
  SurfacePtr kept_frame_;  // the frame as presented, not yet converted
  std::optional<GammaRamp> kept_gamma_;
  mutable bool kept_is_newer_ = false;
};

// Where the picture lies inside a client area when it is scaled to fit with
// its aspect kept.
Rect FitPicture(Size picture, Size client);

}  // namespace zv::platform
