#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "display/codecs/image_codecs.h"
#include "platform/surface/surface.h"

namespace zv::test {

// Pictures for texture tests: 0x00RRGGBB per pixel, from a function of x, y.
using PictureColours = std::function<uint32_t(int32_t x, int32_t y)>;

// Red, green, blue and white quarters (top left, top right, bottom left,
// bottom right), so that orientation shows.
uint32_t Quarters(int32_t x, int32_t y, int32_t width, int32_t height);
constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF, kBlack = 0;

// A 32-bit picture surface.
platform::SurfacePtr MakePicture(int32_t width, int32_t height, const PictureColours& colours);
// The picture written in the format the file's type asks for; false when it
// cannot be written. (DDS files are DXT1 with their mip levels.)
bool WritePicture(const std::string& path, codecs::ImageFileType type, int32_t width, int32_t height,
                  const PictureColours& colours);
// An uncompressed 32-bit DDS file whose level i (width >> i by height >>
// i) is drawn by levels[i].
bool WriteDdsLevels(const std::string& path, int32_t width, int32_t height, const std::vector<PictureColours>& levels);
// The same with each level of one colour.
bool WriteDdsLevels(const std::string& path, int32_t width, int32_t height, const std::vector<uint32_t>& colours);

}  // namespace zv::test
