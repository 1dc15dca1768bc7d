// Untrusted program text measured and drawn in fonts of every kind of
// character set: Western, symbol, single-byte national and double-byte.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/text/text_service.h"

namespace {

constexpr std::array<int32_t, 9> kCharsets = {0, 2, 128, 129, 130, 134, 136, 163, 204};

}  // namespace

// Layout: 1 byte choosing the character set, then the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const std::unique_ptr<zv::platform::TextService> service = zv::platform::CreateTextService();
  static const zv::platform::SurfacePtr screen = [] {
    zv::platform::SurfaceDesc desc;
    desc.width = 160;
    desc.height = 40;
    desc.format = zv::platform::PixelFormat::Xrgb8888();
    return zv::platform::Surface::Create(desc);
  }();
  zv::platform::FontRequest request;
  request.face = "Arial";
  request.height = 12;
  request.charset = kCharsets[data[0] % kCharsets.size()];
  const zv::platform::FontPtr font = service->CreateFont(request);
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  font->Measure(text);
  font->Draw(*screen, -7, 5, text, zv::platform::TextColours{0xFFFFFF, 0x000080, true});
  return 0;
}
