#pragma once

#include <array>
#include <cstdint>

namespace zv::editor {

// Colours of the editor's surfaces, as 0xRRGGBB pixel values of their
// 32-bit format.
namespace colour {
constexpr uint32_t kTextBackground = 0x14203A;
constexpr uint32_t kSelectionBackground = 0x3C6EB4;
constexpr uint32_t kMenuBackground = 0xC8C8C0;
constexpr uint32_t kMenuLight = 0xF4F4EE;
constexpr uint32_t kMenuDark = 0x606058;
constexpr uint32_t kPanel = 0xB4B8C0;
constexpr uint32_t kPanelDark = 0x50545C;
constexpr uint32_t kBlack = 0x000000;
// The glyphs' transparent colour: no ink is ever pure black.
constexpr uint32_t kGlyphKey = 0x000000;
}  // namespace colour

// Ink of each colour set of the glyph sheet: source text, selected text,
// labels, status messages (and highlighted labels), file status, menu
// titles, disabled menu items, comments.
constexpr std::array<uint32_t, 8> kColourSetInks = {0xE6E6DC, 0xFFFFFF, 0x181820, 0xFFE060,
                                                    0x80E0F0, 0x141418, 0x84847C, 0x70D070};

// The six requester colours, given as 16-bit 5:6:5 values and shown in the
// editor's format.
constexpr std::array<uint16_t, 6> kRequesterColours565 = {2145, 63390, 29648, 17160, 57030, 65535};

// 0xRRGGBB of a 5:6:5 value, each field widened by repeating its top bits.
constexpr uint32_t RgbOf565(uint16_t v) {
  const uint32_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
  return ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

}  // namespace zv::editor
