#include "platform/present/sdl/sdl_presenter.h"

#include <SDL_syswm.h>

#include <optional>

#include "platform/window/sdl/sdl_library.h"
#include "platform/window/sdl/sdl_title.h"
#include "platform/window/sdl/x11_library.h"

namespace zv::platform {
namespace {

// How long a window manager has to make the window full screen.
constexpr uint32_t kFullScreenGraceMs = 1000;

// The window as it really is on the X server; nothing elsewhere.
std::optional<XWindowAttributes> ServerWindow(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!Sdl().SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return std::nullopt;
  XWindowAttributes attributes;
  if (!X11().XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &attributes)) return std::nullopt;
  return attributes;
}

std::optional<Size> ServerWindowSize(SDL_Window* window) {
  const std::optional<XWindowAttributes> attributes = ServerWindow(window);
  if (!attributes) return std::nullopt;
  return Size{attributes->width, attributes->height};
}

// Whether the window is in front, where the pointer can be held for it: SDL
// takes it for focused and the X server shows it (elsewhere SDL would ask
// the server to hold the pointer for 5 s in vain).
bool InFront(SDL_Window* window) {
  const Uint32 flags = Sdl().SDL_GetWindowFlags(window);
  if (!(flags & SDL_WINDOW_INPUT_FOCUS) || (flags & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED))) return false;
  const std::optional<XWindowAttributes> attributes = ServerWindow(window);
  return !attributes || attributes->map_state == IsViewable;
}

}  // namespace

SdlPresenter::SdlPresenter(SDL_Window* window) : window_(window) {
  if (window_ == nullptr) return;
  // The frame pacing is the message pump's; the renderer must not wait for
  // the vertical blank as well.
  renderer_ = Sdl().SDL_GetRenderer(window_);
  if (renderer_ != nullptr) return;  // the window's owner made one; it stays theirs
  renderer_ = Sdl().SDL_CreateRenderer(window_, -1, 0);
  if (renderer_ == nullptr) renderer_ = Sdl().SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
  owns_renderer_ = renderer_ != nullptr;
  RenameRemadeSdlWindow(window_);
}

SdlPresenter::~SdlPresenter() {
  if (texture_) Sdl().SDL_DestroyTexture(texture_);
  if (owns_renderer_) Sdl().SDL_DestroyRenderer(renderer_);
}

DisplayMode SdlPresenter::Desktop() const {
  SDL_DisplayMode mode{};
  int index = window_ ? Sdl().SDL_GetWindowDisplayIndex(window_) : 0;
  if (Sdl().SDL_GetDesktopDisplayMode(index < 0 ? 0 : index, &mode) != 0) return DisplayMode{1024, 768, 32};
  int bits = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
  return DisplayMode{mode.w, mode.h, bits == 24 || bits == 32 ? 32 : bits};
}

void SdlPresenter::SetFullScreen(bool full_screen) {
  full_screen_ = full_screen;
  full_screen_pending_ = false;
  if (!window_) return;
  Sdl().SDL_SetWindowFullscreen(window_, full_screen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  // In full screen the program draws its own pointer and moves it by the
  // mouse's own moves, as far as it likes: the desktop's pointer is held in
  // the window, where no edge of the desktop can stop those moves.
  Sdl().SDL_SetRelativeMouseMode(full_screen ? SDL_TRUE : SDL_FALSE);
  full_screen_pending_ = full_screen;
  full_screen_asked_ms_ = Sdl().SDL_GetTicks();
}

// SDL takes a window to have the desktop's size as soon as it asks the
// window manager for full screen; the window manager makes it so, late on a
// loaded machine, or never (without one nobody does). A picture drawn for a
// size the window does not have shows only its lower part: a program's
// drawing, but not the text at its top.
void SdlPresenter::CheckFullScreenTaken() {
  int width = 0, height = 0;
  Sdl().SDL_GetWindowSize(window_, &width, &height);
  const std::optional<Size> real = ServerWindowSize(window_);
  if (!real || (real->width == width && real->height == height)) {
    full_screen_pending_ = false;
    return;
  }
  if (Sdl().SDL_GetTicks() - full_screen_asked_ms_ < kFullScreenGraceMs) return;
  full_screen_pending_ = false;
  Sdl().SDL_SetWindowFullscreen(window_, 0);
  SDL_Rect desktop{0, 0, width, height};
  Sdl().SDL_GetDisplayBounds(Sdl().SDL_GetWindowDisplayIndex(window_), &desktop);
  Sdl().SDL_SetWindowPosition(window_, desktop.x, desktop.y);
  Sdl().SDL_SetWindowSize(window_, desktop.w, desktop.h);
}

Size SdlPresenter::ClientSize() const {
  int w = 0, h = 0;
  if (renderer_) Sdl().SDL_GetRendererOutputSize(renderer_, &w, &h);
  return Size{w, h};
}

bool SdlPresenter::EnsureTexture(int32_t width, int32_t height) {
  if (texture_ && texture_width_ == width && texture_height_ == height) return true;
  if (texture_) Sdl().SDL_DestroyTexture(texture_);
  texture_ = Sdl().SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height);
  texture_width_ = texture_ ? width : 0;
  texture_height_ = texture_ ? height : 0;
  return texture_ != nullptr;
}

bool SdlPresenter::Show(const Surface& picture) {
  if (renderer_ == nullptr || !EnsureTexture(picture.Width(), picture.Height())) return false;
  if (full_screen_pending_) CheckFullScreenTaken();
  // The pointer, let go while the window was put away, is held again.
  if (full_screen_ && !Sdl().SDL_GetRelativeMouseMode() && InFront(window_)) Sdl().SDL_SetRelativeMouseMode(SDL_TRUE);
  if (Sdl().SDL_UpdateTexture(texture_, nullptr, picture.Row(0), picture.Pitch()) != 0) return false;
  SDL_Rect place{0, 0, picture.Width(), picture.Height()};
  if (full_screen_) {
    Rect fit = FitPicture(Size{picture.Width(), picture.Height()}, ClientSize());
    place = SDL_Rect{fit.left, fit.top, fit.Width(), fit.Height()};
  }
  Sdl().SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  Sdl().SDL_RenderClear(renderer_);
  Sdl().SDL_RenderCopy(renderer_, texture_, nullptr, &place);
  Sdl().SDL_RenderPresent(renderer_);
  return true;
}

}  // namespace zv::platform
