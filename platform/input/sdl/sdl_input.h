#pragma once

#include <cstdint>
#include <memory>

#include "platform/input/input.h"

namespace zv::platform {

// The real keyboard, mouse and game controllers through SDL, with force
// feedback through SDL's haptic devices. The keyboard and the mouse need the
// SDL window to be open (they read what it receives); without it there are
// none.
std::unique_ptr<InputSystem> MakeSdlInput();

// The keyboard scan code (platform/input/key_codes.h) of an SDL scancode, 0
// for keys that have none.
uint8_t ScanCodeOfSdlScancode(int sdl_scancode);

}  // namespace zv::platform
