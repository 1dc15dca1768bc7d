#pragma once

#include <SDL.h>

#include <memory>

#include "platform/input/input.h"

// The devices of the SDL backend, for its own files.
namespace zv::platform::sdl_input {

std::unique_ptr<Keyboard> MakeKeyboard();
std::unique_ptr<Mouse> MakeMouse();
// The joystick with this instance id, null when it has gone.
std::unique_ptr<Joystick> OpenJoystick(SDL_JoystickID id);
// True when the joystick at this device index can play effects.
bool HasForceFeedback(int device_index);

}  // namespace zv::platform::sdl_input
