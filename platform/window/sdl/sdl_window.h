#pragma once

#include <memory>
#include <string>

#include "platform/window/window.h"

namespace zv::platform {

// The exit status of a process whose display was lost: Xlib's own.
constexpr int kDisplayLostStatus = 1;

struct SdlWindowOptions {
  std::string title = "Zentrovex";
  // Client size of the window as first made; start-up places it afterwards.
  int32_t width = 320;
  int32_t height = 240;
};

// Whether the environment names a display (an X server or a Wayland
// compositor) to show windows on, and does not ask SDL for a video driver
// without one (SDL_VIDEODRIVER=dummy or offscreen).
bool DisplayNamed();

// Opens the video system and a window on it. Returns null and says why when
// no display can be opened (none named, or the one named cannot be reached).
// Should the X server's connection end later, the process says so, does
// its ending work (platform/signals/ending_work.h) and ends with
// kDisplayLostStatus.
std::unique_ptr<Window> OpenSdlWindow(const SdlWindowOptions& options, std::string* error);

// The key number of an SDL scancode, 0 for keys without one (for tests).
int KeyNumberOfScancode(int scancode);

}  // namespace zv::platform
