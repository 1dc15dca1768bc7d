#pragma once

#include <cstdint>

namespace zv::platform {

// The window's key number (platform/window/window.h) of the key at a
// keyboard scan code (platform/input/key_codes.h), 0 for keys the window
// does not number. Both name a key by its place on the keyboard, so a key
// found held in the keyboard state can be matched with the window's key
// events.
int KeyNumberOfScanCode(uint8_t scan_code);

}  // namespace zv::platform
