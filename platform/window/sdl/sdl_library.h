#pragma once

// SDL, loaded once, early in a run that opens a window (and by the editor):
// the window, its presentation, input, sound output and the clipboard all
// call it through this table. A run without a display never loads it.
#include <SDL.h>
#include <SDL_syswm.h>

#include "platform/dynlib/system_library.h"

namespace zv::platform {

#define ZV_SDL_FUNCTIONS(X) \
  X(SDL_AddEventWatch) X(SDL_CaptureMouse) X(SDL_CloseAudioDevice) X(SDL_CreateRGBSurfaceWithFormat) \
  X(SDL_CreateRenderer) X(SDL_CreateTexture) X(SDL_CreateWindow) X(SDL_DelEventWatch) X(SDL_DestroyRenderer) \
  X(SDL_DestroyTexture) X(SDL_DestroyWindow) X(SDL_EventState) X(SDL_FreeSurface) X(SDL_GameControllerClose) \
  X(SDL_GameControllerGetAxis) X(SDL_GameControllerGetButton) X(SDL_GameControllerGetJoystick) \
  X(SDL_GameControllerNameForIndex) X(SDL_GameControllerOpen) X(SDL_GetAudioDeviceName) \
  X(SDL_GetClipboardText) X(SDL_GetCurrentVideoDriver) X(SDL_GetDesktopDisplayMode) X(SDL_GetDisplayBounds) \
  X(SDL_GetDisplayUsableBounds) X(SDL_GetError) X(SDL_GetKeyboardFocus) X(SDL_GetKeyboardState) \
  X(SDL_GetMouseState) X(SDL_GetNumAudioDevices) X(SDL_GetRelativeMouseMode) X(SDL_GetRelativeMouseState) \
  X(SDL_GetRenderer) X(SDL_GetRendererOutputSize) X(SDL_GetTicks) X(SDL_GetTicks64) \
  X(SDL_GetWindowDisplayIndex) X(SDL_GetWindowFlags) X(SDL_GetWindowFromID) X(SDL_GetWindowID) \
  X(SDL_GetWindowPosition) X(SDL_GetWindowSize) X(SDL_GetWindowTitle) X(SDL_GetWindowWMInfo) X(SDL_HapticClose) \
  X(SDL_HapticDestroyEffect) X(SDL_HapticNewEffect) X(SDL_HapticOpenFromJoystick) X(SDL_HapticQuery) \
  X(SDL_HapticRunEffect) X(SDL_HapticSetAutocenter) X(SDL_HapticStopEffect) X(SDL_HapticUpdateEffect) \
  X(SDL_HasClipboardText) X(SDL_HideWindow) X(SDL_InitSubSystem) X(SDL_IsGameController) X(SDL_JoystickClose) \
  X(SDL_JoystickGetAttached) X(SDL_JoystickGetAxis) X(SDL_JoystickGetButton) \
  X(SDL_JoystickGetDeviceInstanceID) X(SDL_JoystickGetHat) X(SDL_JoystickIsHaptic) \
  X(SDL_JoystickNameForIndex) X(SDL_JoystickNumAxes) X(SDL_JoystickNumButtons) X(SDL_JoystickNumHats) \
  X(SDL_JoystickOpen) X(SDL_JoystickUpdate) X(SDL_LockAudioDevice) X(SDL_MaximizeWindow) \
  X(SDL_MinimizeWindow) X(SDL_NumJoysticks) X(SDL_OpenAudioDevice) X(SDL_PauseAudioDevice) X(SDL_PollEvent) \
  X(SDL_PumpEvents) X(SDL_QuitSubSystem) X(SDL_RaiseWindow) X(SDL_RenderClear) X(SDL_RenderCopy) \
  X(SDL_RenderPresent) X(SDL_RestoreWindow) X(SDL_SetClipboardText) X(SDL_SetHint) \
  X(SDL_SetRelativeMouseMode) X(SDL_SetRenderDrawColor) X(SDL_SetWindowBordered) X(SDL_SetWindowFullscreen) \
  X(SDL_SetWindowIcon) X(SDL_SetWindowKeyboardGrab) X(SDL_SetWindowModalFor) X(SDL_SetWindowPosition) \
  X(SDL_SetWindowResizable) X(SDL_SetWindowSize) X(SDL_SetWindowTitle) X(SDL_ShowCursor) X(SDL_ShowWindow) \
  X(SDL_UnlockAudioDevice) X(SDL_UpdateTexture) X(SDL_WaitEventTimeout) X(SDL_WarpMouseInWindow) \
  X(SDL_WasInit) X(SDL_free)
ZV_SYSTEM_LIBRARY(SdlLibrary, Sdl, "libSDL2-2.0.so.0", ZV_SDL_FUNCTIONS)

}  // namespace zv::platform
