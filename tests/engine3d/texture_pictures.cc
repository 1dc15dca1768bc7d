#include "tests/engine3d/texture_pictures.h"

#include <fstream>

namespace zv::test {

uint32_t Quarters(int32_t x, int32_t y, int32_t width, int32_t height) {
  const bool right = x >= width / 2, bottom = y >= height / 2;
  if (!bottom) return right ? kGreen : kRed;
  return right ? kWhite : kBlue;
}

platform::SurfacePtr MakePicture(int32_t width, int32_t height, const PictureColours& colours) {
  platform::SurfaceDesc desc;
  desc.width = width;
  desc.height = height;
  desc.format = platform::PixelFormat::Xrgb8888();
  platform::SurfacePtr s = platform::Surface::Create(desc);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) s->SetPixelAt(x, y, colours(x, y));
  return s;
}

bool WritePicture(const std::string& path, codecs::ImageFileType type, int32_t width, int32_t height,
                  const PictureColours& colours) {
  const std::vector<uint8_t> bytes = codecs::EncodeImage(type, *MakePicture(width, height, colours));
  if (bytes.empty()) return false;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool WriteDdsLevels(const std::string& path, int32_t width, int32_t height, const std::vector<uint32_t>& colours) {
  std::vector<PictureColours> levels;
  for (uint32_t colour : colours) levels.push_back([colour](int32_t, int32_t) { return colour; });
  return WriteDdsLevels(path, width, height, levels);
}

bool WriteDdsLevels(const std::string& path, int32_t width, int32_t height, const std::vector<PictureColours>& levels) {
  std::vector<uint8_t> out;
  auto put = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put(0x20534444);  // "DDS "
  put(124);
  put(0x1 | 0x2 | 0x4 | 0x1000 | 0x20000);  // caps, height, width, pixel format, mip count
  put(static_cast<uint32_t>(height));
  put(static_cast<uint32_t>(width));
  put(static_cast<uint32_t>(width) * 4);
  put(0);
  put(static_cast<uint32_t>(levels.size()));
  for (int i = 0; i < 11; ++i) put(0);
  put(32);
  put(0x40);  // RGB
  put(0);
  put(32);
  put(0xFF0000), put(0xFF00), put(0xFF), put(0);
  put(0x401008), put(0), put(0), put(0), put(0);
  int32_t w = width, h = height;
  for (const PictureColours& colours : levels) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) put(colours(x, y));
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  return static_cast<bool>(file);
}

}  // namespace zv::test
