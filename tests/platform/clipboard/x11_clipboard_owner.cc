// Another program on the desktop that copied 100000 bytes of text (letters,
// a new one every 1000): on a connection of its own it owns the clipboard,
// says "ready", and hands the text to the first who asks, in pieces of the
// size its argument gives (the INCR transfer) or whole for 0. Ends once the
// text went out, or after 30 s unasked.
#include <X11/Xlib.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  std::string text(100000, ' ');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i / 1000 % 26);
  const size_t piece = argc == 2 ? std::strtoul(argv[1], nullptr, 10) : 0;
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 1;
  const Window own = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
  const Atom clipboard = XInternAtom(d, "CLIPBOARD", False), utf8 = XInternAtom(d, "UTF8_STRING", False);
  XSetSelectionOwner(d, clipboard, own, CurrentTime);
  if (XGetSelectionOwner(d, clipboard) != own || std::printf("ready\n") < 0 || std::fflush(stdout) != 0) return 1;
  Window to = None;
  Atom property = None;
  for (size_t sent = 0, n = 1; n > 0; XFlush(d)) {
    pollfd wait{ConnectionNumber(d), POLLIN, 0};
    if (XPending(d) == 0 && poll(&wait, 1, 30000) == 0) return 1;
    XEvent e;
    XNextEvent(d, &e);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    if (e.type == SelectionRequest && e.xselectionrequest.target == utf8) {
      XSelectionRequestEvent& r = e.xselectionrequest;
      XSelectionEvent answer{SelectionNotify, 0, True, d, r.requestor, r.selection, r.target, r.property, r.time};
      to = r.requestor, property = r.property, n = piece;
      const long size = static_cast<long>(text.size());
      if (piece == 0) XChangeProperty(d, to, property, utf8, 8, PropModeReplace, bytes, static_cast<int>(size));
      if (piece > 0) {  // the size first; each piece follows the taking of the one before
        XSelectInput(d, to, PropertyChangeMask);
        XChangeProperty(d, to, property, XInternAtom(d, "INCR", False), 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&size), 1);
      }
      XSendEvent(d, to, False, NoEventMask, reinterpret_cast<XEvent*>(&answer));
    } else if (e.type == PropertyNotify && e.xproperty.window == to && e.xproperty.state == PropertyDelete) {
      n = std::min(piece, text.size() - sent);
      XChangeProperty(d, to, property, utf8, 8, PropModeReplace, bytes + sent, static_cast<int>(n));
      sent += n;
    }
  }
  XCloseDisplay(d);  // sends what is left, where an exit could drop it
  return 0;
}
