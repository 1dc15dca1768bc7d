#pragma once

#include "platform/present/presenter.h"

namespace zv::platform {

// No window: presenting only keeps the picture (for --screenshot and tests).
// The virtual client area is the picture itself, so nothing is scaled and
// scripted mouse positions are display positions, unless a test sets a
// client size of its own.
class HeadlessPresenter final : public Presenter {
 public:
  explicit HeadlessPresenter(DisplayMode desktop = DisplayMode{1024, 768, 32}) : desktop_(desktop) {}

  DisplayMode Desktop() const override { return desktop_; }
  void SetFullScreen(bool full_screen) override { full_screen_ = full_screen; }
  bool FullScreen() const override { return full_screen_; }

  int PresentCount() const { return presents_; }
  void SetClientSize(Size size) { client_ = size; }

 protected:
  bool Show(const Surface&) override {
    ++presents_;
    return true;
  }
  bool ShowsPictures() const override { return false; }
  Size ClientSize() const override {
    if (client_.width > 0) return client_;
    const Size picture = PictureSize();
    return picture.width > 0 ? picture : Size{desktop_.width, desktop_.height};
  }

 private:
  DisplayMode desktop_;
  bool full_screen_ = false;
  int presents_ = 0;
  Size client_;
};

}  // namespace zv::platform
