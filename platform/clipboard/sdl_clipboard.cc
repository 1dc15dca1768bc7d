#include <SDL.h>

#include "platform/clipboard/clipboard.h"
#include "platform/text/code_page.h"

namespace zv::platform {
namespace {

class SdlClipboard final : public Clipboard {
 public:
  bool SetText(std::string_view text) override {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    return SDL_SetClipboardText(Cp1252ToUtf8(text).c_str()) == 0;
  }
  std::optional<std::string> GetText() override {
    if (!SDL_WasInit(SDL_INIT_VIDEO) || !SDL_HasClipboardText()) return std::nullopt;
    char* text = SDL_GetClipboardText();
    if (!text) return std::nullopt;
    std::string copy = Utf8ToCp1252(text);
    SDL_free(text);
    return copy;
  }
};

}  // namespace

std::unique_ptr<Clipboard> CreateSdlClipboard() { return std::make_unique<SdlClipboard>(); }

}  // namespace zv::platform
