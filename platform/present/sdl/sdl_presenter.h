#pragma once

#include <SDL.h>

#include <cstdint>

#include "platform/present/presenter.h"

namespace zv::platform {

// Presents through a streaming texture on a renderer of the given window.
// The window belongs to the caller and must outlive the presenter.
class SdlPresenter final : public Presenter {
 public:
  explicit SdlPresenter(SDL_Window* window);
  ~SdlPresenter() override;
  SdlPresenter(const SdlPresenter&) = delete;
  SdlPresenter& operator=(const SdlPresenter&) = delete;

  // False when no renderer could be made for the window.
  bool Ready() const { return renderer_ != nullptr; }

  DisplayMode Desktop() const override;
  void SetFullScreen(bool full_screen) override;
  bool FullScreen() const override { return full_screen_; }

 protected:
  bool Show(const Surface& picture) override;
  Size ClientSize() const override;

 private:
  bool EnsureTexture(int32_t width, int32_t height);
  // Until the window has the full-screen size SDL assumes for it, each
  // frame looks; when the window manager has not made it so in time (or
  // there is none), the window is made desktop-sized itself.
  void CheckFullScreenTaken();

  SDL_Window* window_;
  SDL_Renderer* renderer_ = nullptr;
  bool owns_renderer_ = false;
  SDL_Texture* texture_ = nullptr;
  int32_t texture_width_ = 0, texture_height_ = 0;
  bool full_screen_ = false;
  bool full_screen_pending_ = false;
  uint32_t full_screen_asked_ms_ = 0;
};

}  // namespace zv::platform
