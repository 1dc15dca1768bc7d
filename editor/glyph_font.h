#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "editor/surface_drawing.h"
#include "platform/text/text_service.h"

namespace zv::editor {

// The editor's bitmap font: one sheet holding every character 32 to 255 in
// eight colour sets, so that all editor text is drawn by plain keyed copies
// and looks the same everywhere. A glyph code is colour set x 256 +
// character.
class GlyphFont {
 public:
  static constexpr int32_t kCellWidth = 12;
  static constexpr int32_t kCellHeight = 16;
  static constexpr int32_t kColumns = 28;
  static constexpr int32_t kSheetWidth = kCellWidth * kColumns;  // 336
  static constexpr int32_t kSheetHeight = 1024;                  // 8 sets of 128 rows
  static constexpr int32_t kCodes = 2048;

  // Draws the sheet with a fixed-pitch face of the text service, in the
  // inks of the eight colour sets. Null when the sheet cannot be had.
  static std::unique_ptr<GlyphFont> Create(platform::TextService& text);

  // Top-left of a glyph's cell on the sheet.
  struct Cell {
    int32_t x = 0, y = 0;
    friend bool operator==(const Cell&, const Cell&) = default;
  };
  static Cell GlyphCell(int32_t code);

  int32_t Width(int32_t code) const { return widths_[static_cast<size_t>(code & (kCodes - 1))]; }
  int32_t Height(int32_t code) const { return heights_[static_cast<size_t>(code & (kCodes - 1))]; }

  // Copies the glyph's cell to (x, y), its background left out.
  void DrawGlyph(Surface& target, int32_t code, int32_t x, int32_t y) const;
  // Draws the text in a colour set; with `highlight` in the next set over a
  // band in the text background from x to `right`, 16 pixels high. Returns
  // the x behind the text.
  int32_t DrawText(Surface& target, std::string_view text, int32_t set, int32_t x, int32_t y,
                   bool highlight = false, int32_t right = 0) const;
  // Width of the text in colour set 2, by which everything is measured.
  int32_t TextWidth(std::string_view text) const;
  // Width of the text in colour set `set`.
  int32_t TextWidthInSet(std::string_view text, int32_t set) const;

  // The language's character set: with right-to-left display every text is
  // drawn with its right-to-left runs reversed.
  void SetRightToLeft(bool on) { right_to_left_ = on; }

  Surface& Sheet() { return *sheet_; }

 private:
  GlyphFont() = default;

  SurfacePtr sheet_;
  std::array<int32_t, kCodes> widths_{};
  std::array<int32_t, kCodes> heights_{};
  bool right_to_left_ = false;
};

}  // namespace zv::editor
