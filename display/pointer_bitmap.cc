#include "display/pointer_bitmap.h"

#include <array>

namespace zv {
namespace {

// '#' white, '+' grey outline, '.' black (the colour key). The two left
// columns run the full height: they are the caret.
constexpr std::array<const char*, kPointerBitmapHeight> kPicture = {
    "##+.................",
    "###+................",
    "####+...............",
    "#####+..............",
    "######+.............",
    "#######+............",
    "########+...........",
    "#########+..........",
    "##########+.........",
    "###########+........",
    "############+.......",
    "#############+......",
    "########++++++......",
    "####+###+...........",
    "###+.+###+..........",
    "##+..+###+..........",
    "##....+###+.........",
    "##....+###+.........",
    "##.....+###+........",
    "##.....+++++........",
    "##..................",
    "##..................",
};

uint32_t PixelFor(const platform::PixelFormat& format, char c) {
  if (c == '.') return 0;
  uint8_t level = c == '#' ? 255 : 96;
  if (format.indexed) return c == '#' ? 0xFF : 0x49;  // white and grey of the 3-3-2 palette
  return platform::PackRgb(format, level, level, level);
}

}  // namespace

void DrawPointerBitmap(platform::Surface& surface) {
  for (int32_t y = 0; y < kPointerBitmapHeight && y < surface.Height(); ++y) {
    const char* row = kPicture[static_cast<size_t>(y)];
    for (int32_t x = 0; row[x] != '\0' && x < surface.Width(); ++x)
      surface.SetPixelAt(x, y, PixelFor(surface.Format(), row[x]));
  }
}

}  // namespace zv
