#include <cstring>

#include "platform/clipboard/clipboard.h"
#include "platform/clipboard/x11_selection.h"
#include "platform/window/sdl/sdl_library.h"

namespace zv::platform {
namespace {

class SdlClipboard final : public Clipboard {
 public:
  bool SetUtf8Text(std::string_view text) override {
    if (!Sdl().SDL_WasInit(SDL_INIT_VIDEO)) return false;
    if (Sdl().SDL_SetClipboardText(std::string(text).c_str()) != 0) return false;
    // SDL's claim of the clipboard goes out with its next requests; sent
    // now, a read that follows at once asks this program, not the last
    // owner.
    Sdl().SDL_PumpEvents();
    return true;
  }
  std::optional<std::string> GetUtf8Text() override {
    if (!Sdl().SDL_WasInit(SDL_INIT_VIDEO)) return std::nullopt;
    // On X, SDL takes only a text its owner hands over whole; a large one
    // comes in pieces, which the X reader follows. The window that owns the
    // clipboard may be this program's own, so SDL serves it meanwhile.
    if (X11SelectionReader* x11 = X11Reader(); x11 && x11->HasOwner())
      return x11->ReadText([] { Sdl().SDL_PumpEvents(); });
    if (!Sdl().SDL_HasClipboardText()) return std::nullopt;
    char* text = Sdl().SDL_GetClipboardText();
    if (!text) return std::nullopt;
    std::string copy = text;
    Sdl().SDL_free(text);
    return copy;
  }

 private:
  // Made on the first read, where SDL drives an X display.
  X11SelectionReader* X11Reader() {
    if (!x11_tried_) {
      x11_tried_ = true;
      const char* driver = Sdl().SDL_GetCurrentVideoDriver();
      if (driver && std::strcmp(driver, "x11") == 0) x11_ = X11SelectionReader::Open();
    }
    return x11_.get();
  }

  bool x11_tried_ = false;
  std::unique_ptr<X11SelectionReader> x11_;
};

}  // namespace

std::unique_ptr<Clipboard> CreateSdlClipboard() { return std::make_unique<SdlClipboard>(); }

}  // namespace zv::platform
