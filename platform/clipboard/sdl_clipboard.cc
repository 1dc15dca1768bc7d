#include <SDL.h>

#include "platform/clipboard/clipboard.h"

namespace zv::platform {
namespace {

class SdlClipboard final : public Clipboard {
 public:
  bool SetUtf8Text(std::string_view text) override {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    return SDL_SetClipboardText(std::string(text).c_str()) == 0;
  }
  std::optional<std::string> GetUtf8Text() override {
    if (!SDL_WasInit(SDL_INIT_VIDEO) || !SDL_HasClipboardText()) return std::nullopt;
    char* text = SDL_GetClipboardText();
    if (!text) return std::nullopt;
    std::string copy = text;
    SDL_free(text);
    return copy;
  }
};

}  // namespace

std::unique_ptr<Clipboard> CreateSdlClipboard() { return std::make_unique<SdlClipboard>(); }

}  // namespace zv::platform
