#pragma once

#include <cstdint>
#include <memory>

namespace zv::platform {

// Clips blits onto the surface it is attached to. The surface a clipper is
// attached to is the window's client area, so the clip region is the
// surface's own bounds; the window is remembered for the caller.
class Clipper {
 public:
  // An opaque handle of the window whose client area the clip follows.
  void SetWindow(uintptr_t window) { window_ = window; }
  uintptr_t Window() const { return window_; }

 private:
  uintptr_t window_ = 0;
};

using ClipperPtr = std::shared_ptr<Clipper>;

}  // namespace zv::platform
