#include "platform/window/sdl/sdl_title.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>

#include <string>

#include "platform/text/code_page.h"
#include "platform/window/sdl/sdl_library.h"
#include "platform/window/sdl/x11_library.h"

namespace zv::platform {
namespace {

// The nearest text in Latin-1 of the Windows-1252 letters that Latin-1 lacks,
// for the old WM_NAME property when X cannot hold them there.
std::string_view LookAlike(char32_t c) {
  switch (c) {
    case U'\u20AC': return "EUR";
    case U'\u201A': return ",";
    case U'\u0192': return "f";
    case U'\u201E':
    case U'\u201C':
    case U'\u201D': return "\"";
    case U'\u2026': return "...";
    case U'\u2020':
    case U'\u2021': return "+";
    case U'\u02C6': return "^";
    case U'\u2030': return "%";
    case U'\u0160': return "S";
    case U'\u2039': return "<";
    case U'\u0152': return "OE";
    case U'\u017D': return "Z";
    case U'\u2018':
    case U'\u2019': return "'";
    case U'\u2022': return "\u00B7";
    case U'\u2013':
    case U'\u2014': return "-";
    case U'\u02DC': return "~";
    case U'\u2122': return "TM";
    case U'\u0161': return "s";
    case U'\u203A': return ">";
    case U'\u0153': return "oe";
    case U'\u017E': return "z";
    case U'\u0178': return "Y";
    default: return "?";
  }
}

// Latin-1 (STRING) or compound text of UTF-8 text, as X defines WM_NAME;
// false when some character cannot be held (X would leave it out, and
// says so only for some: a letter alone may come out as nothing).
bool ToWmNameProperty(Display* display, const std::string& utf8, XTextProperty* property) {
  char* list[] = {const_cast<char*>(utf8.c_str())};
  const int status = X11().Xutf8TextListToTextProperty(display, list, 1, XStdICCTextStyle, property);
  if (status == Success && (property->nitems > 0 || utf8.empty())) return true;
  if (status >= Success) X11().XFree(property->value);
  return false;
}

// The title as close as WM_NAME's encodings allow: each character they
// cannot hold becomes its look-alike.
std::string WmNameText(Display* display, const std::string& utf8) {
  std::string text;
  for (size_t pos = 0; pos < utf8.size();) {
    const size_t start = pos;
    const char32_t c = NextUtf8(utf8, pos);
    const std::string character = utf8.substr(start, pos - start);
    XTextProperty property;
    if (ToWmNameProperty(display, character, &property)) {
      X11().XFree(property.value);
      text += character;
    } else {
      text += LookAlike(c);
    }
  }
  return text;
}

// SDL sets _NET_WM_NAME only when it could also convert the title into the
// locale's own text, which fails for letters such as the en dash, and puts
// the UTF-8 bytes into WM_NAME under the type STRING, which X defines as
// Latin-1 ("CafÃ©" for "Café"). Both are set here as the desktop reads them.
void SetX11Names(SDL_Window* window, const std::string& utf8) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!Sdl().SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  Display* display = info.info.x11.display;
  const ::Window x_window = info.info.x11.window;
  X11().XChangeProperty(display, x_window, X11().XInternAtom(display, "_NET_WM_NAME", False),
                        X11().XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
  XTextProperty property;
  if (ToWmNameProperty(display, utf8, &property) || ToWmNameProperty(display, WmNameText(display, utf8), &property)) {
    X11().XSetWMName(display, x_window, &property);
    X11().XFree(property.value);
  }
  X11().XFlush(display);
}

}  // namespace

void SetSdlWindowTitle(SDL_Window* window, std::string_view program_text) {
  const std::string utf8 = Cp1252ToUtf8(program_text);
  Sdl().SDL_SetWindowTitle(window, utf8.c_str());
  SetX11Names(window, utf8);
}

void RenameRemadeSdlWindow(SDL_Window* window) {
  if (const char* utf8 = Sdl().SDL_GetWindowTitle(window)) SetX11Names(window, utf8);
}

}  // namespace zv::platform
