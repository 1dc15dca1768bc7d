#pragma once

#include <SDL.h>

#include <bitset>
#include <memory>
#include <optional>

#include "platform/input/input.h"

// The devices of the SDL backend, for its own files.
namespace zv::platform::sdl_input {

std::unique_ptr<Keyboard> MakeKeyboard();
std::unique_ptr<Mouse> MakeMouse();
// The joystick with this instance id, null when it has gone.
std::unique_ptr<Joystick> OpenJoystick(SDL_JoystickID id);
// True when the joystick at this device index can play effects.
bool HasForceFeedback(int device_index);

// The keys the desktop holds down now, by scan code, whichever window has
// the focus; nothing where the window (by SDL's window id) is gone or the
// desktop cannot tell.
std::optional<std::bitset<256>> KeysHeldOnDesktop(Uint32 window_id);

}  // namespace zv::platform::sdl_input
