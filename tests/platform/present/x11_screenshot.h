#pragma once

#include <SDL.h>

#include <cstdint>

namespace zv::test {

// 0x00RRGGBB of a pixel of the window as the X server shows it (a real
// screenshot, not the presenter's copy); 0xFFFFFFFF when it cannot be read.
uint32_t X11WindowPixel(SDL_Window* window, int x, int y);

}  // namespace zv::test
