#pragma once

// Xlib and its authority files, for what the window does beside SDL on an
// X server, and for the clipboard's reader: loaded with the window (SDL
// loads the same Xlib for its own use).
#include <X11/Xauth.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "platform/dynlib/system_library.h"

namespace zv::platform {

#define ZV_X11_FUNCTIONS(X) \
  X(XChangeProperty) X(XCheckTypedWindowEvent) X(XCloseDisplay) X(XConnectionNumber) X(XConvertSelection) \
  X(XCreateSimpleWindow) X(XDefaultRootWindow) X(XDeleteProperty) X(XDestroyWindow) X(XDisplayString) X(XFlush) \
  X(XFree) X(XGetSelectionOwner) X(XGetWindowAttributes) X(XGetWindowProperty) X(XInternAtom) X(XKeysymToKeycode) \
  X(XOpenDisplay) X(XQueryKeymap) X(XQueryPointer) X(XSelectInput) X(XSendEvent) X(XSetIOErrorHandler) \
  X(XSetWMName) X(XSync) X(XkbSetDetectableAutoRepeat) X(Xutf8TextListToTextProperty)
ZV_SYSTEM_LIBRARY(X11Library, X11, "libX11.so.6", ZV_X11_FUNCTIONS)

#define ZV_XAU_FUNCTIONS(X) X(XauDisposeAuth) X(XauGetBestAuthByAddr)
ZV_SYSTEM_LIBRARY(XauLibrary, Xau, "libXau.so.6", ZV_XAU_FUNCTIONS)

}  // namespace zv::platform
