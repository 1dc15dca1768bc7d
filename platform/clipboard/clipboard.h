#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zv::platform {

// The system clipboard, holding plain text.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // False when the clipboard cannot be had; it is then left as it was.
  virtual bool SetText(std::string_view text) = 0;
  // Nothing when the clipboard holds no text or cannot be had.
  virtual std::optional<std::string> GetText() = 0;
};

// A clipboard of this process alone, for headless runs and tests.
class MemoryClipboard final : public Clipboard {
 public:
  bool SetText(std::string_view text) override {
    text_ = std::string(text);
    return true;
  }
  std::optional<std::string> GetText() override { return text_; }

 private:
  std::optional<std::string> text_;
};

// The desktop's clipboard through SDL; needs an open SDL window (the video
// system), and fails gracefully without one.
std::unique_ptr<Clipboard> CreateSdlClipboard();

}  // namespace zv::platform
