// Block decompression of untrusted data: the first byte picks the format,
// the next two the size (up to 256 x 256), the fourth the mip levels, and
// the rest are the blocks. The output is exactly the image's size, so any
// write past it, or read past the data, shows.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/render3d/dxt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zv::platform::DxtFormat;
  if (size < 4) return 0;
  auto format = static_cast<DxtFormat>(data[0] % 7);  // 0 and 6 are no format
  int32_t width = 1 + data[1];
  int32_t height = 1 + data[2];
  std::span<const uint8_t> blocks(data + 4, size - 4);
  std::vector<uint32_t> out(static_cast<size_t>(width) * height);
  zv::platform::DecodeDxt(format, width, height, blocks, out.data(), static_cast<size_t>(width));

  // The same bytes as the first level of an image with its mip chain.
  if (auto image = zv::platform::DxtImage::Create(format, width, height, 1 + (data[3] & 3))) {
    std::span<uint8_t> level = image->LevelData(0);
    for (size_t i = 0; i < level.size() && i < blocks.size(); ++i) level[i] = blocks[i];
    for (int32_t l = 0; l < image->LevelCount(); ++l) image->DecodeLevel(l);
  }
  return 0;
}
