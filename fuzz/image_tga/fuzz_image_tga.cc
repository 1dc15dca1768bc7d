// Decodes arbitrary bytes as a TGA file and draws what comes out.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/codecs/image_codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zv;
  std::optional<codecs::DecodedPicture> picture =
      codecs::DecodeImage(codecs::ImageFileType::kTga, std::vector<uint8_t>(data, data + size));
  if (picture) {
    codecs::DrawPicture(*picture, [](int32_t w, int32_t h) {
      platform::SurfaceDesc desc;
      desc.width = w;
      desc.height = h;
      desc.format = platform::PixelFormat::Rgb565();
      return platform::Surface::Create(desc);
    });
  }
  return 0;
}
