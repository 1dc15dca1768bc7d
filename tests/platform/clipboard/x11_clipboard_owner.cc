// Another program on the desktop that has copied a text: it owns the X
// display's clipboard and hands its text to whoever asks, in pieces of
// PIECE bytes (the INCR transfer, as programs hand over large texts), or
// whole when PIECE is 0. The text is TEXT_BYTES bytes of the pattern
// ExpectedText gives. Prints "ready" once it owns the clipboard, and ends
// once a whole text went out, or after 30 seconds without a request.
//
// Usage: x11_clipboard_owner TEXT_BYTES PIECE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/platform/clipboard/clipboard_text.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string text = zv::test::ClipboardPattern(std::strtoul(argv[1], nullptr, 10));
  const size_t piece = std::strtoul(argv[2], nullptr, 10);
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 1;
  const Window own = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
  const Atom clipboard = XInternAtom(d, "CLIPBOARD", False), utf8 = XInternAtom(d, "UTF8_STRING", False),
             incr = XInternAtom(d, "INCR", False);
  XSetSelectionOwner(d, clipboard, own, CurrentTime);
  if (XGetSelectionOwner(d, clipboard) != own) return 1;
  std::printf("ready\n");
  std::fflush(stdout);

  Window requestor = None;
  Atom property = None;
  size_t sent = 0;
  bool ended = false;
  while (!ended) {
    pollfd ready{ConnectionNumber(d), POLLIN, 0};
    if (XPending(d) == 0 && ::poll(&ready, 1, 30000) == 0) return 1;
    XEvent e;
    XNextEvent(d, &e);
    if (e.type == SelectionRequest) {
      const XSelectionRequestEvent& r = e.xselectionrequest;
      XSelectionEvent answer{SelectionNotify, 0, True, d, r.requestor, r.selection, r.target, None, r.time};
      if (r.target == utf8 && r.property != None) {
        answer.property = r.property;
        if (piece == 0 || text.size() <= piece) {
          XChangeProperty(d, r.requestor, r.property, utf8, 8, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
          ended = true;
        } else {
          // The size first; each piece follows the requestor's taking of
          // the one before.
          requestor = r.requestor, property = r.property, sent = 0;
          XSelectInput(d, requestor, PropertyChangeMask);
          const long size = static_cast<long>(text.size());
          XChangeProperty(d, requestor, property, incr, 32, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(&size), 1);
        }
      }
      XSendEvent(d, r.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&answer));
      XFlush(d);
    } else if (e.type == PropertyNotify && e.xproperty.window == requestor && e.xproperty.atom == property &&
               e.xproperty.state == PropertyDelete) {
      const size_t n = std::min(piece, text.size() - sent);
      XChangeProperty(d, requestor, property, utf8, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(text.data() + sent), static_cast<int>(n));
      XFlush(d);
      sent += n;
      ended = n == 0;
    }
  }
  XCloseDisplay(d);
  return 0;
}
