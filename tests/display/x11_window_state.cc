#include "tests/display/x11_window_state.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <vector>

namespace zv::test {
namespace {

// The property's items as longs (format 32) or bytes (format 8).
struct Property {
  bool present = false;
  std::vector<long> longs;
  std::string bytes;
};

Property ReadProperty(Display* display, Window window, const char* name) {
  Property p;
  Atom atom = XInternAtom(display, name, True);
  if (atom == None) return p;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, atom, 0, 1 << 20, False, AnyPropertyType, &type, &format, &count,
                         &after, &data) != Success)
    return p;
  p.present = type != None;
  if (data && format == 32) {
    const long* items = reinterpret_cast<const long*>(data);
    p.longs.assign(items, items + count);
  } else if (data && format == 8) {
    p.bytes.assign(reinterpret_cast<const char*>(data), count);
  }
  if (data) XFree(data);
  return p;
}

bool HasAtom(Display* display, const Property& list, const char* name) {
  Atom atom = XInternAtom(display, name, True);
  for (long item : list.longs)
    if (atom != None && static_cast<Atom>(item) == atom) return true;
  return false;
}

}  // namespace

X11WindowState ReadX11WindowState(SDL_Window* sdl_window) {
  X11WindowState state;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(sdl_window, &info) || info.subsystem != SDL_SYSWM_X11) return state;
  // A connection of our own, as any other client of the server would have.
  Display* display = XOpenDisplay(nullptr);
  if (!display) return state;
  const Window window = info.info.x11.window;
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, window, &attributes)) state.viewable = attributes.map_state == IsViewable;
  Property wm_state = ReadProperty(display, window, "WM_STATE");
  if (!wm_state.longs.empty()) state.wm_state = static_cast<int>(wm_state.longs[0]);
  Property net_state = ReadProperty(display, window, "_NET_WM_STATE");
  state.maximised = HasAtom(display, net_state, "_NET_WM_STATE_MAXIMIZED_VERT") &&
                    HasAtom(display, net_state, "_NET_WM_STATE_MAXIMIZED_HORZ");
  state.hidden = HasAtom(display, net_state, "_NET_WM_STATE_HIDDEN");
  Property extents = ReadProperty(display, window, "_NET_FRAME_EXTENTS");
  for (size_t i = 0; i < extents.longs.size() && i < state.frame.size(); ++i) state.frame[i] = extents.longs[i];
  state.icon = ReadProperty(display, window, "_NET_WM_ICON").longs;
  state.title = ReadProperty(display, window, "_NET_WM_NAME").bytes;
  state.read = true;
  XCloseDisplay(display);
  return state;
}

bool X11WindowManagerRunning() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  bool running = ReadProperty(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK").present;
  XCloseDisplay(display);
  return running;
}

}  // namespace zv::test
