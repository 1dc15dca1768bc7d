#pragma once

#include <SDL.h>

#include <string_view>

namespace zv::platform {

// Names a window on the desktop with program text (Windows-1252), in every
// property the desktop's tools read it from.
void SetSdlWindowTitle(SDL_Window* window, std::string_view program_text);
// Names the window again with the title SDL keeps: SDL makes its window
// anew when a renderer needs another kind of window, and names the new one
// its own way.
void RenameRemadeSdlWindow(SDL_Window* window);

}  // namespace zv::platform
