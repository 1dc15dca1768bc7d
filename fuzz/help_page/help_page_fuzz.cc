// Untrusted help pages laid out, drawn and hit-tested at several scroll
// positions, as the first page and as an ordinary one.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "editor/help/help_background.h"
#include "editor/help/help_viewer.h"
#include "platform/surface/pixel_format.h"

namespace {

// A font of fixed widths that draws nothing, so that the fuzzer spends its
// time in the layout rather than in glyph rendering.
class BoxFont final : public zv::platform::Font {
 public:
  explicit BoxFont(int32_t height) : height_(height < 0 ? 0 : height) { metrics_ = {height_, 0, height_}; }
  const zv::platform::FontMetrics& Metrics() const override { return metrics_; }
  const std::string& Family() const override { return family_; }
  zv::platform::Size Measure(std::string_view text) override {
    return {static_cast<int32_t>(text.size()) * (height_ / 2 + 1), height_};
  }
  void Draw(zv::platform::Surface&, int32_t, int32_t, std::string_view, const zv::platform::TextColours&) override {}

 private:
  int32_t height_;
  zv::platform::FontMetrics metrics_;
  std::string family_;
};

class BoxTextService final : public zv::platform::TextService {
 public:
  zv::platform::FontPtr CreateFont(const zv::platform::FontRequest& request) override {
    return std::make_shared<BoxFont>(request.height);
  }
  std::vector<std::string> ListFamilies() override { return {}; }
};

}  // namespace

// Layout: 1 byte choosing the first page or not, 2 bytes of scroll step,
// then the page text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  static const zv::platform::SurfacePtr screen = [] {
    zv::platform::SurfaceDesc desc;
    // Smaller than the editor's screen: the layout does not depend on the
    // target's size, and the background fill stays cheap.
    desc.width = 200;
    desc.height = 130;
    desc.format = zv::platform::PixelFormat::Rgb565();
    return zv::platform::Surface::Create(desc);
  }();
  // Made once: drawing the tile costs more than laying out a small page.
  static const zv::platform::SurfacePtr tile = zv::MakeHelpBackgroundTile(screen->Format());
  zv::HelpViewer viewer(std::make_unique<BoxTextService>());
  viewer.SetBackgroundTile(tile);
  viewer.SetTarget(screen);
  viewer.Activate();
  viewer.SetPage(data[0] & 1 ? "index.htm" : "page.htm",
                 std::string(reinterpret_cast<const char*>(data + 3), size - 3));
  const int32_t step = data[1] | data[2] << 8;
  for (int i = 0; i < 4; ++i) {
    viewer.SetScrollPosition(i * step);
    viewer.Draw();
    for (const zv::HelpLink& link : viewer.Links()) viewer.LinkAt(link.rect.left, link.rect.top);
  }
  return 0;
}
