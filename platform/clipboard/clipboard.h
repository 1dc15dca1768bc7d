#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/code_page.h"

namespace zv::platform {

// The system clipboard, holding plain text in UTF-8 as the desktop does.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // False when the clipboard cannot be had; it is then left as it was.
  virtual bool SetUtf8Text(std::string_view text) = 0;
  // Nothing when the clipboard holds no text or cannot be had.
  virtual std::optional<std::string> GetUtf8Text() = 0;

  // The same in the program's character set, Windows-1252: a character that
  // page lacks reads as '?'.
  bool SetText(std::string_view text) { return SetUtf8Text(Cp1252ToUtf8(text)); }
  std::optional<std::string> GetText() {
    std::optional<std::string> text = GetUtf8Text();
    if (text) *text = Utf8ToCp1252(*text);
    return text;
  }
};

// A clipboard of this process alone, for headless runs and tests.
class MemoryClipboard final : public Clipboard {
 public:
  bool SetUtf8Text(std::string_view text) override {
    text_ = std::string(text);
    return true;
  }
  std::optional<std::string> GetUtf8Text() override { return text_; }

 private:
  std::optional<std::string> text_;
};

// The desktop's clipboard through SDL; needs an open SDL window (the video
// system), and fails gracefully without one.
std::unique_ptr<Clipboard> CreateSdlClipboard();

}  // namespace zv::platform
