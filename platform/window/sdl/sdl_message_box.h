#pragma once

#include <SDL.h>

#include <string_view>

#include "platform/window/window.h"

namespace zv::platform {

// A modal box of our own over `owner` (may be null), drawn with the text
// service. It waits until the user closes it (OK, Enter, Escape, Space or
// its close button), until the owner is closed, or until the process is
// asked to stop (by SDL's quit event, or by a signal the stop-signal handlers
// noted). True when it ended for one of the last two.
bool RunSdlMessageBox(SDL_Window* owner, std::string_view title, std::string_view text,
                      MessageBoxIcon icon);

}  // namespace zv::platform
