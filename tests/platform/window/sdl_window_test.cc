#include "platform/window/sdl/sdl_window.h"

#include <SDL_scancode.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace zv::platform {
namespace {

TEST(SdlWindow, KeysAreNumberedByPosition) {
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_ESCAPE), key::kEscape);
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_F11), key::kF11);
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_F12), key::kF12);
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_A), 'A');
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_0), '0');
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_RETURN), key::kEnter);
}

TEST(SdlWindow, WithoutADisplayNoWindowOpens) {
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  ::unsetenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const std::string saved_wayland = wayland ? wayland : "";
  ::unsetenv("WAYLAND_DISPLAY");
  std::string error;
  EXPECT_EQ(OpenSdlWindow({}, &error), nullptr);
  EXPECT_NE(error.find("no display"), std::string::npos);
  if (display) ::setenv("DISPLAY", saved.c_str(), 1);
  if (wayland) ::setenv("WAYLAND_DISPLAY", saved_wayland.c_str(), 1);
}

}  // namespace
}  // namespace zv::platform
