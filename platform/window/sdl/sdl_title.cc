#include "platform/window/sdl/sdl_title.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>

#include "platform/text/code_page.h"

namespace zv::platform {
namespace {

// SDL puts the title's UTF-8 bytes in the old WM_NAME property under the
// type STRING, which X defines as Latin-1: tools that read that property
// show "CafÃ©" for "Café". It is set again as X means it: Latin-1, or
// compound text for letters beyond it.
void SetX11WmName(SDL_Window* window, const std::string& utf8) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  Display* display = info.info.x11.display;
  char* list[] = {const_cast<char*>(utf8.c_str())};
  XTextProperty property;
  if (Xutf8TextListToTextProperty(display, list, 1, XStdICCTextStyle, &property) < Success) return;
  XSetWMName(display, info.info.x11.window, &property);
  XFree(property.value);
  XFlush(display);
}

}  // namespace

void SetSdlWindowTitle(SDL_Window* window, std::string_view program_text) {
  const std::string utf8 = Cp1252ToUtf8(program_text);
  SDL_SetWindowTitle(window, utf8.c_str());
  SetX11WmName(window, utf8);
}

}  // namespace zv::platform
