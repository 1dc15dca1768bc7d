#pragma once

#include <SDL.h>

#include <array>
#include <string>
#include <vector>

namespace zv::test {

// A window as the X server and its window manager describe it to any
// client: what a user sees of it.
struct X11WindowState {
  bool read = false;       // false when the window is not an X11 one
  bool viewable = false;   // mapped, with every ancestor mapped
  int wm_state = -1;       // WM_STATE: 0 withdrawn, 1 normal, 3 iconic; -1 none
  bool maximised = false;  // both maximised states of _NET_WM_STATE
  bool hidden = false;     // _NET_WM_STATE_HIDDEN
  std::array<long, 4> frame{};  // _NET_FRAME_EXTENTS: left, right, top, bottom
  // _NET_WM_ICON: width, height, then the pixels. A window manager may put
  // its own default there for a window that has none.
  std::vector<long> icon;
  std::string title;            // _NET_WM_NAME
};

X11WindowState ReadX11WindowState(SDL_Window* window);

// True once the window manager has taken charge of the screen.
bool X11WindowManagerRunning();

}  // namespace zv::test
