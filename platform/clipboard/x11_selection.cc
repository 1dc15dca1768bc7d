#include "platform/clipboard/x11_selection.h"

#include <poll.h>

#include <algorithm>
#include <chrono>

#include "platform/window/sdl/x11_library.h"

namespace zv::platform {
namespace {

// How long an owner may take over its answer, and over each piece of a
// text it hands over in pieces.
constexpr std::chrono::seconds kPatience{1};

}  // namespace

struct X11SelectionReader::Connection {
  Display* display = nullptr;
  ::Window window = 0;  // ours, unmapped: where owners put the text
  Atom clipboard = 0, utf8 = 0, incr = 0, property = 0;

  ~Connection() {
    if (!display) return;
    if (window) X11().XDestroyWindow(display, window);
    X11().XCloseDisplay(display);
  }

  // Waits for an event of `type` on our window that `wanted` accepts,
  // serving this process's windows meanwhile; false once the owner has
  // been silent for kPatience.
  template <typename Wanted>
  bool Await(int type, XEvent& event, Wanted wanted, const std::function<void()>& serve) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
      while (X11().XCheckTypedWindowEvent(display, window, type, &event))
        if (wanted(event)) return true;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      if (serve) serve();
      pollfd ready{X11().XConnectionNumber(display), POLLIN, 0};
      ::poll(&ready, 1, 5);
    }
  }

  // Takes the property off our window: its type, and its bytes appended to
  // `text` (up to kMaxBytes). False when it holds no 8-bit data.
  bool TakeProperty(Atom* type, std::string& text) {
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const long longs = static_cast<long>((kMaxBytes - text.size()) / 4 + 1);
    if (X11().XGetWindowProperty(display, window, property, 0, longs, True, AnyPropertyType, type, &format, &count,
                                 &after, &data) != Success)
      return false;
    if (after > 0) X11().XDeleteProperty(display, window, property);  // the rest is past the limit
    const bool bytes = format == 8 || *type == incr;
    if (data && format == 8)
      text.append(reinterpret_cast<const char*>(data), std::min<size_t>(count, kMaxBytes - text.size()));
    if (data) X11().XFree(data);
    return bytes;
  }
};

std::unique_ptr<X11SelectionReader> X11SelectionReader::Open() {
  auto c = std::make_unique<Connection>();
  try {
    c->display = X11().XOpenDisplay(nullptr);
  } catch (const LibraryMissing&) {
    return nullptr;
  }
  if (!c->display) return nullptr;
  c->window = X11().XCreateSimpleWindow(c->display, X11().XDefaultRootWindow(c->display), 0, 0, 1, 1, 0, 0, 0);
  if (!c->window) return nullptr;
  // The pieces of a large text arrive as changes of the window's property.
  X11().XSelectInput(c->display, c->window, PropertyChangeMask);
  c->clipboard = X11().XInternAtom(c->display, "CLIPBOARD", False);
  c->utf8 = X11().XInternAtom(c->display, "UTF8_STRING", False);
  c->incr = X11().XInternAtom(c->display, "INCR", False);
  c->property = X11().XInternAtom(c->display, "ZV_CLIPBOARD_TEXT", False);
  return std::unique_ptr<X11SelectionReader>(new X11SelectionReader(std::move(c)));
}

X11SelectionReader::X11SelectionReader(std::unique_ptr<Connection> connection) : x_(std::move(connection)) {}
X11SelectionReader::~X11SelectionReader() = default;

bool X11SelectionReader::HasOwner() { return X11().XGetSelectionOwner(x_->display, x_->clipboard) != None; }

std::optional<std::string> X11SelectionReader::ReadText(const std::function<void()>& serve) {
  Connection& c = *x_;
  X11().XDeleteProperty(c.display, c.window, c.property);
  X11().XConvertSelection(c.display, c.clipboard, c.utf8, c.property, c.window, CurrentTime);
  X11().XFlush(c.display);
  XEvent event;
  const Atom clipboard = c.clipboard;
  if (!c.Await(SelectionNotify, event, [clipboard](const XEvent& e) { return e.xselection.selection == clipboard; },
               serve) ||
      event.xselection.property == None)
    return std::nullopt;
  std::string text;
  Atom type = None;
  if (!c.TakeProperty(&type, text)) return std::nullopt;
  if (type != c.incr) return text;
  // Taking the property asked for the first piece; each piece taken asks
  // for the next, and an empty one ends the text.
  const Atom property = c.property;
  auto new_piece = [property](const XEvent& e) {
    return e.xproperty.atom == property && e.xproperty.state == PropertyNewValue;
  };
  for (;;) {
    X11().XFlush(c.display);
    if (!c.Await(PropertyNotify, event, new_piece, serve)) return std::nullopt;
    // A change seen late may name a piece already taken: the property is
    // gone then, and the next change brings the next piece.
    const size_t before = text.size();
    const bool taken = c.TakeProperty(&type, text);
    if (type == None) continue;
    if (!taken) return std::nullopt;
    if (text.size() == before || text.size() == kMaxBytes) return text;
  }
}

}  // namespace zv::platform
