#pragma once

#include <SDL.h>

#include <string_view>

namespace zv::platform {

// Names a window on the desktop with program text (Windows-1252), in every
// property the desktop's tools read it from.
void SetSdlWindowTitle(SDL_Window* window, std::string_view program_text);

}  // namespace zv::platform
