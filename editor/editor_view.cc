#include "editor/editor_view.h"

#include <algorithm>
#include <cstdlib>

#include "editor/editor_colours.h"
#include "editor/language_texts.h"
#include "editor/requester.h"
#include "editor/syntax_colour.h"

namespace zv::editor {
namespace {

constexpr int32_t kMaxHorizontalScroll = 20000000;
// The status line's width for text, and the colour set of its messages.
constexpr int32_t kStatusWidth = 610;
constexpr int32_t kMessageSet = 3;

int32_t NextTabStop(int32_t x) { return (x / layout::kTabStop) * layout::kTabStop + layout::kTabStop; }

}  // namespace

EditorView::EditorView(const GlyphFont& font, const EditorImages& images)
    : font_(font), images_(images), page_(MakeEditorSurface(640, 480)), screen_(MakeEditorSurface(640, 480)) {
  RestorePage();
}

void EditorView::RestorePage() {
  if (!page_) return;
  if (Surface* background = images_.Get(image::kPage)) BltFastWhole(*page_, *background);
  menus_.MarkChanged();
  scroll_bar_changed_ = true;
  MarkRowsDirty();
}

// ---- Rows ----------------------------------------------------------------------------

bool EditorView::Selected(int32_t line, int32_t column) const {
  if (!buffer_->HasSelection()) return false;
  const Selection& s = buffer_->selection;
  if (line > s.start_line && line < s.end_line) return true;
  if (line == s.start_line && line == s.end_line) return column >= s.start_column && column < s.end_column;
  if (line == s.start_line) return column >= s.start_column;
  if (line == s.end_line) return column < s.end_column;
  return false;
}

void EditorView::DrawTextLine(int32_t line, int32_t y) {
  if (line < 0 || line >= buffer_->LineCount()) return;
  const std::string& text = buffer_->lines[static_cast<size_t>(line)];
  int32_t column = buffer_->horizontal_scroll;
  if (column >= static_cast<int32_t>(text.size())) return;
  const int32_t comment = CommentStyle(text);
  int32_t x = 0;
  for (; column < static_cast<int32_t>(text.size()); ++column) {
    const auto c = static_cast<unsigned char>(text[static_cast<size_t>(column)]);
    if (c < 32 && c != '\t') continue;
    int32_t style = c == '\t' ? kPlainStyle : comment;
    if (Selected(line, column)) style = kSelectedStyle;
    if (c == '\t') {
      const int32_t next = NextTabStop(x);
      FillSurfaceRect(*page_, Rect{x, y, std::min(next, layout::kTextRight), y + line_height_},
                      style != 0 ? colour::kSelectionBackground : colour::kTextBackground);
      x = next;
      if (x >= layout::kTextRight) break;
      continue;
    }
    const int32_t width = font_.Width(c);
    if (x + width >= layout::kTextRight) break;
    if (style == kSelectedStyle)
      FillSurfaceRect(*page_, Rect{x, y, x + width, y + line_height_}, colour::kSelectionBackground);
    font_.DrawGlyph(*page_, c + style, x, y);
    x += width;
  }
}

void EditorView::DrawRowAt(int32_t line, int32_t y) {
  FillSurfaceRect(*page_, Rect{0, y, layout::kTextRight, y + line_height_}, colour::kTextBackground);
  DrawTextLine(line, y);
}

void EditorView::DrawAllRows() {
  FillSurfaceRect(*page_, Rect{0, layout::kTextTop, layout::kTextRight, layout::kTextBottom}, colour::kTextBackground);
  for (int32_t row = 0; row <= last_row_; ++row) {
    const int32_t line = buffer_->top_line + row;
    if (line >= buffer_->LineCount()) break;
    DrawTextLine(line, layout::kTextTop + row * line_height_);
  }
  MarkRowsClean();
  scroll_bar_changed_ = true;
}

void EditorView::MarkCursorRowDirty() {
  const int32_t row = buffer_->cursor_line - buffer_->top_line;
  if (row >= 0 && row <= last_row_) row_clean_[static_cast<size_t>(row)] = false;
}

void EditorView::DrawDirtyRows() {
  for (int32_t row = 0; row <= last_row_; ++row) {
    if (row_clean_[static_cast<size_t>(row)]) continue;
    DrawRowAt(buffer_->top_line + row, layout::kTextTop + row * line_height_);
    row_clean_[static_cast<size_t>(row)] = true;
  }
}

void EditorView::SetTopLine(int32_t line) {
  buffer_->top_line = std::max(line, 0);
  DrawAllRows();
  buffer_->cursor_y = CursorPixelY(buffer_->cursor_line);
}

void EditorView::ScrollDownOneLine() {
  ++buffer_->top_line;
  BltFastRect(*page_, 0, layout::kTextTop, *page_, 0, layout::kTextTop + line_height_, layout::kTextRight,
              layout::kTextBottom - layout::kTextTop - line_height_, 0);
  row_clean_[static_cast<size_t>(last_row_)] = false;
  if (buffer_->cursor_line >= buffer_->top_line && buffer_->cursor_line <= buffer_->top_line + last_row_) {
    buffer_->cursor_y = CursorPixelY(buffer_->cursor_line);
    MarkCursorRowDirty();
  }
  scroll_bar_changed_ = true;
}

void EditorView::ScrollUpOneLine() {
  if (buffer_->top_line == 0) return;
  --buffer_->top_line;
  BltFastRect(*page_, 0, layout::kTextTop + line_height_, *page_, 0, layout::kTextTop, layout::kTextRight,
              layout::kTextBottom - layout::kTextTop - line_height_, 0);
  row_clean_[0] = false;
  if (buffer_->cursor_line >= buffer_->top_line && buffer_->cursor_line <= buffer_->top_line + last_row_) {
    buffer_->cursor_y = CursorPixelY(buffer_->cursor_line);
    MarkCursorRowDirty();
  }
  scroll_bar_changed_ = true;
}

// ---- Cursor -------------------------------------------------------------------------------

int32_t EditorView::CursorPixelX(int32_t line, int32_t column) const {
  const std::string& text = buffer_->Line(line);
  int32_t x = 2;
  const int32_t end = std::min(column, static_cast<int32_t>(text.size()));
  for (int32_t c = buffer_->horizontal_scroll; c < end; ++c) {
    const auto ch = static_cast<unsigned char>(text[static_cast<size_t>(c)]);
    x = ch == '\t' ? NextTabStop(x) : x + font_.Width(ch);
  }
  return x;
}

void EditorView::CursorPixelXY() {
  buffer_->cursor_x = CursorPixelX(buffer_->cursor_line, buffer_->cursor_column);
  buffer_->cursor_y = CursorPixelY(buffer_->cursor_line);
}

void EditorView::KeepCursorVisible() {
  SourceBuffer& b = *buffer_;
  CursorPixelXY();
  auto step = [&] {
    const int32_t half = std::abs(b.horizontal_scroll - b.cursor_column) / 2;
    return half > 31 ? half : 31;
  };
  bool moved = false;
  while (b.cursor_x > layout::kTextRight) {
    b.horizontal_scroll = std::min(b.horizontal_scroll + step(), kMaxHorizontalScroll);
    CursorPixelXY();
    moved = true;
    if (b.horizontal_scroll >= kMaxHorizontalScroll) break;
  }
  if (b.horizontal_scroll != 0 && b.cursor_column <= b.horizontal_scroll) {
    while (b.horizontal_scroll != 0 && b.cursor_column <= b.horizontal_scroll)
      b.horizontal_scroll = std::max(b.horizontal_scroll - step(), 0);
    CursorPixelXY();
    moved = true;
  }
  if (moved) DrawAllRows();
  // Rows out of view scroll in one line at a time; a jump further than that
  // (a find, a page key) sets the top line at once.
  if (b.cursor_line < b.top_line - 1 || b.cursor_line > b.top_line + last_row_ + 1) {
    SetTopLine(std::clamp(b.cursor_line - 15, 0, std::max(0, b.LineCount() - 1)));
  } else if (b.cursor_line < b.top_line) {
    ScrollUpOneLine();
  } else if (b.cursor_line > b.top_line + last_row_) {
    ScrollDownOneLine();
  }
  CursorPixelXY();
}

void EditorView::PositionAt(int32_t x, int32_t y, int32_t* line, int32_t* column) const {
  const SourceBuffer& b = *buffer_;
  *line = std::clamp(b.top_line + (y - layout::kTextTop) / line_height_, 0, b.LineCount() - 1);
  const std::string& text = b.Line(*line);
  int32_t pixel = 2;
  int32_t c = std::min(b.horizontal_scroll, static_cast<int32_t>(text.size()));
  for (; c < static_cast<int32_t>(text.size()); ++c) {
    const auto ch = static_cast<unsigned char>(text[static_cast<size_t>(c)]);
    const int32_t next = ch == '\t' ? NextTabStop(pixel) : pixel + font_.Width(ch);
    if (x < (pixel + next) / 2) break;
    pixel = next;
  }
  *column = c;
}

// ---- Scroll bar ---------------------------------------------------------------------------

void EditorView::DrawScrollBar(Surface& target, int32_t count, int32_t top, int32_t rows) {
  if (!scroll_bar_changed_ && !dragging_) return;
  scroll_bar_changed_ = false;
  if (Surface* track = images_.Get(image::kScrollTrack)) BltFastAt(target, layout::kTrackX, layout::kTrackY, *track, 0);
  const int32_t length = count > rows ? layout::kThumbRange * rows / count : layout::kThumbRange;
  if (!dragging_) {
    const int32_t clamped_top = std::min(top, std::max(count - rows, 0));
    thumb_offset_ = count > rows ? static_cast<int32_t>(int64_t{layout::kThumbRange - length} * clamped_top /
                                                        (count - rows))
                                 : 0;
  }
  thumb_rect_ = Rect{layout::kTrackX, layout::kTrackY + thumb_offset_, 640,
                     layout::kTrackY + 20 + thumb_offset_ + length};
  if (Surface* thumb = images_.Get(image::kScrollThumb))
    BltFastRect(target, layout::kTrackX, layout::kTrackY + thumb_offset_, *thumb, 0, thumb_offset_, 15, length + 20, 0);
  DrawEdges(target, Rect{thumb_rect_.left, thumb_rect_.top, thumb_rect_.right - 0, thumb_rect_.bottom},
            colour::kMenuLight, colour::kMenuDark);
}

void EditorView::StartThumbDrag(int32_t mouse_y) {
  dragging_ = true;
  drag_anchor_ = mouse_y;
}

int32_t EditorView::DragThumb(int32_t mouse_y, int32_t count, int32_t rows) {
  const int32_t length = count > rows ? layout::kThumbRange * rows / count : layout::kThumbRange;
  const int32_t limit = layout::kThumbRange - length;
  thumb_offset_ = std::clamp(thumb_offset_ + mouse_y - drag_anchor_, 0, std::max(limit, 0));
  drag_anchor_ = mouse_y;
  scroll_bar_changed_ = true;
  if (limit <= 0 || count <= rows) return 0;
  return static_cast<int32_t>(static_cast<int64_t>(thumb_offset_) * (count - rows) / limit);
}

// ---- Status line and toolbar ---------------------------------------------------------------

void EditorView::SetStatus(std::string text, int32_t offset) {
  status_ = std::move(text);
  status_offset_ = offset;
  status_panel_ = offset == 0;
}

void EditorView::DrawStatusPanel(Surface& target) const {
  if (!status_panel_ || font_.TextWidthInSet(status_, kMessageSet) + 2 <= kStatusWidth) return;
  const std::vector<std::string> lines = FitText(font_, status_, kStatusWidth, 0);
  const int32_t rows = static_cast<int32_t>(lines.size());
  // Over the last rows of the text area, ending where the status line
  // ends; over its first rows where the cursor stands in the last.
  int32_t top = 480 - rows * GlyphFont::kCellHeight - 3;
  const int32_t cursor_row_top = buffer_->cursor_y, cursor_row_bottom = buffer_->cursor_y + line_height_;
  if (cursor_row_bottom > top && cursor_row_top < 480) top = layout::kTextTop;
  const int32_t bottom = top + rows * GlyphFont::kCellHeight + 3;
  FillSurfaceRect(target, Rect{0, top, layout::kTextRight, bottom}, colour::kTextBackground);
  FillSurfaceRect(target, Rect{0, top == layout::kTextTop ? bottom - 1 : top, layout::kTextRight,
                               top == layout::kTextTop ? bottom : top + 1},
                  kColourSetInks[kMessageSet]);
  for (int32_t row = 0; row < rows; ++row)
    font_.DrawText(target, lines[static_cast<size_t>(row)], kMessageSet, 2, top + 2 + row * GlyphFont::kCellHeight);
}

void EditorView::DrawStatusLine(Surface& target) {
  std::string text = status_;
  const bool file_status = status_offset_ == 256;
  if (file_status && buffer_->modified && (text.empty() || text.back() != '*')) text += "*";
  FillSurfaceRect(target, Rect{2, layout::kStatusY, layout::kTextRight, 479}, colour::kTextBackground);
  const int32_t set = file_status ? 4 : kMessageSet;
  // A file's status keeps its end (the file's name, its mark of changes); a
  // message its start, where an error says what went wrong (the rest is in
  // the panel above it).
  std::string_view shown = text;
  while (!shown.empty() && font_.TextWidthInSet(shown, set) + 2 > kStatusWidth)
    shown = file_status ? shown.substr(1) : shown.substr(0, shown.size() - 1);
  font_.DrawText(target, shown, set, 2, layout::kStatusY);
}

void EditorView::DrawToolbarStates(Surface& target, bool help_view) {
  const int32_t titles = help_view ? 3 : 6;
  const int32_t title = hovered_ - control::kFirstMenuTitle + 1;
  menus_.SetActiveTitle(title >= 1 && title <= titles ? title : 0);
  auto draw = [&](int32_t number, int32_t x, int32_t y) {
    if (Surface* s = images_.Get(number)) BltFastAt(target, x, y, *s, 0);
  };
  draw(hovered_ == control::kRunButton ? image::kToolButtonHover : image::kToolButton, layout::kRunButtonX,
       layout::kToolButtonY);
  draw(hovered_ == control::kHelpButton ? image::kToolButtonHover : image::kToolButton, layout::kHelpButtonX,
       layout::kToolButtonY);
  draw(hovered_ == control::kArrowUp ? image::kArrowUpPressed : image::kArrowUp, layout::kArrowX, layout::kArrowUpY);
  draw(hovered_ == control::kArrowDown ? image::kArrowDownPressed : image::kArrowDown, layout::kArrowX,
       layout::kArrowDownY);
  draw(live_tab_ == 1 ? image::kTabButtonSelected : image::kTabButton, layout::kTab1X, layout::kTabY);
  draw(live_tab_ == 2 ? image::kTabButtonSelected : image::kTabButton, layout::kTab2X, layout::kTabY);
}

void EditorView::DrawToolbarLabels(Surface& target) {
  font_.DrawText(target, "1", 2, 458, 10);
  font_.DrawText(target, "2", 2, 475, 10);
  const std::string_view run = LanguageText(Text::kToolbarRun);
  const std::string_view help = LanguageText(Text::kToolbarHelp);
  font_.DrawText(target, run, 2, 529 - font_.TextWidth(run) / 2, 9);
  font_.DrawText(target, help, 2, 595 - font_.TextWidth(help) / 2, 9);
}

}  // namespace zv::editor
