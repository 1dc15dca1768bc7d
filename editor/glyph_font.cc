#include "editor/glyph_font.h"

#include <algorithm>
#include <string>

#include "editor/editor_colours.h"
#include "editor/syntax_colour.h"

namespace zv::editor {
namespace {

// A fixed-pitch face whose cell fits the 13-pixel rows of the text area.
constexpr int32_t kFontEm = 11;

}  // namespace

std::unique_ptr<GlyphFont> GlyphFont::Create(platform::TextService& text) {
  std::unique_ptr<GlyphFont> font(new GlyphFont());
  font->sheet_ = MakeEditorSurface(kSheetWidth, kSheetHeight);
  if (!font->sheet_) return nullptr;
  Surface& sheet = *font->sheet_;
  FillSurfaceRect(sheet, sheet.Bounds(), colour::kGlyphKey);
  sheet.SetColorKey(platform::ColorKey{colour::kGlyphKey, colour::kGlyphKey});

  platform::FontRequest request;
  request.face = "Courier New";
  request.height = -kFontEm;
  platform::FontPtr face = text.CreateFont(request);
  const int32_t height = std::clamp(face->Metrics().height, 1, kCellHeight);
  // Each glyph is drawn alone first, so no pixel of a wide one spills into
  // the neighbouring cell.
  SurfacePtr scratch = MakeEditorSurface(kCellWidth, kCellHeight);
  if (!scratch) return nullptr;
  for (int32_t set = 0; set < 8; ++set) {
    platform::TextColours colours;
    colours.ink = kColourSetInks[static_cast<size_t>(set)];
    for (int32_t c = 0; c < 256; ++c) {
      const int32_t code = set * 256 + c;
      const std::string one(1, static_cast<char>(c));
      if (c < 32) continue;  // no cell: nothing is drawn for control bytes
      const Cell cell = GlyphCell(code);
      const int32_t width = std::clamp(face->Measure(one).width, 1, kCellWidth);
      font->widths_[static_cast<size_t>(code)] = width;
      font->heights_[static_cast<size_t>(code)] = height;
      FillSurfaceRect(*scratch, scratch->Bounds(), colour::kGlyphKey);
      face->Draw(*scratch, 0, 0, one, colours);
      BltFastRect(sheet, cell.x, cell.y, *scratch, 0, 0, kCellWidth, kCellHeight, 0);
    }
  }
  return font;
}

GlyphFont::Cell GlyphFont::GlyphCell(int32_t code) {
  const int32_t c = code % 256;
  const int32_t set = code / 256;
  const int32_t row = (c - 32) / kColumns;
  const int32_t column = (c - 32) - kColumns * row;
  return Cell{kCellWidth * column, 128 * set + 16 * row};
}

void GlyphFont::DrawGlyph(Surface& target, int32_t code, int32_t x, int32_t y) const {
  if ((code & 255) < 32 || code < 0 || code >= kCodes) return;
  const Cell cell = GlyphCell(code);
  BltFastRect(target, x, y, *sheet_, cell.x, cell.y, Width(code), Height(code), kSourceKey);
}

int32_t GlyphFont::DrawText(Surface& target, std::string_view text, int32_t set, int32_t x, int32_t y,
                            bool highlight, int32_t right) const {
  std::string shown(text);
  if (right_to_left_) ReverseRightToLeftRuns(shown);
  const int32_t drawn_set = std::clamp(set + (highlight ? 1 : 0), 0, 7);
  // The band goes under the glyphs, so that highlighted text stays readable.
  if (highlight) FillSurfaceRect(target, Rect{x, y, right, y + 16}, colour::kTextBackground);
  for (char ch : shown) {
    const int32_t code = drawn_set * 256 + static_cast<unsigned char>(ch);
    DrawGlyph(target, code, x, y);
    x += Width(code);
  }
  return x;
}

int32_t GlyphFont::TextWidthInSet(std::string_view text, int32_t set) const {
  int32_t width = 0;
  for (char ch : text) width += Width(std::clamp(set, 0, 7) * 256 + static_cast<unsigned char>(ch));
  return width;
}

int32_t GlyphFont::TextWidth(std::string_view text) const { return TextWidthInSet(text, 2); }

}  // namespace zv::editor
