#include "platform/clipboard/clipboard.h"
#include "platform/window/sdl/sdl_library.h"

namespace zv::platform {
namespace {

class SdlClipboard final : public Clipboard {
 public:
  bool SetUtf8Text(std::string_view text) override {
    if (!Sdl().SDL_WasInit(SDL_INIT_VIDEO)) return false;
    return Sdl().SDL_SetClipboardText(std::string(text).c_str()) == 0;
  }
  std::optional<std::string> GetUtf8Text() override {
    if (!Sdl().SDL_WasInit(SDL_INIT_VIDEO) || !Sdl().SDL_HasClipboardText()) return std::nullopt;
    char* text = Sdl().SDL_GetClipboardText();
    if (!text) return std::nullopt;
    std::string copy = text;
    Sdl().SDL_free(text);
    return copy;
  }
};

}  // namespace

std::unique_ptr<Clipboard> CreateSdlClipboard() { return std::make_unique<SdlClipboard>(); }

}  // namespace zv::platform
