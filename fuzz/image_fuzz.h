#pragma once

// What every image-codec fuzz target does with its bytes: decode them as a
// copy and draw into a 16-bit surface, then decode them in place and draw
// into a 32-bit one, so both decoding paths and both row converters run.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "display/codecs/image_codecs.h"

namespace zv::fuzz {

inline void DrawInto(const codecs::DecodedPicture& picture, platform::PixelFormat format) {
  codecs::DrawPicture(picture, [format](int32_t w, int32_t h) {
    platform::SurfaceDesc desc;
    desc.width = w;
    desc.height = h;
    desc.format = format;
    return platform::Surface::Create(desc);
  });
}

inline void FuzzImage(codecs::ImageFileType type, const uint8_t* data, size_t size) {
  if (auto picture = codecs::DecodeImage(type, std::vector<uint8_t>(data, data + size)))
    DrawInto(*picture, platform::PixelFormat::Rgb565());
  if (auto picture = codecs::DecodeImageInPlace(type, std::span<const uint8_t>(data, size)))
    DrawInto(*picture, platform::PixelFormat::Xrgb8888());
}

}  // namespace zv::fuzz
