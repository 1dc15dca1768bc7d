#pragma once

#include "platform/render3d/texel_format.h"

namespace zv::platform::test3d {

template <typename Fn>
TexturePtr MakeTexture(Render3D& render, int32_t width, int32_t height, const PixelFormat& format,
                       Fn colour, int32_t levels) {
  TexturePtr texture = render.CreateTexture(TextureDesc{width, height, format, levels});
  if (!texture) return nullptr;
  for (int32_t level = 0; level < texture->LevelCount(); ++level) {
    Surface& s = texture->LevelSurface(level);
    for (int32_t y = 0; y < s.Height(); ++y)
      for (int32_t x = 0; x < s.Width(); ++x) s.SetPixelAt(x, y, PackArgb(format, colour(level, x, y)));
  }
  texture->MarkChanged();
  return texture;
}

}  // namespace zv::platform::test3d
