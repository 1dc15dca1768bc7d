#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "editor/editor_images.h"
#include "editor/glyph_font.h"
#include "editor/menus.h"
#include "editor/source_buffer.h"

namespace zv::editor {

// Hovered controls of the editor's page.
namespace control {
constexpr int32_t kNone = 0;
constexpr int32_t kFirstMenuTitle = 11;  // 11..16
constexpr int32_t kRunButton = 22;
constexpr int32_t kHelpButton = 23;
constexpr int32_t kArrowUp = 31;
constexpr int32_t kArrowDown = 32;
constexpr int32_t kTab1 = 41;
constexpr int32_t kTab2 = 42;
}  // namespace control

// Fixed geometry of the editor's 640 x 480 screen.
namespace layout {
constexpr int32_t kTextTop = 43;
constexpr int32_t kTextBottom = 459;
constexpr int32_t kTextRight = 617;
constexpr int32_t kRows = 32;
constexpr int32_t kTabStop = 24;
constexpr int32_t kTrackX = 625;
constexpr int32_t kTrackY = 53;
constexpr int32_t kTrackHeight = 402;
constexpr int32_t kThumbRange = 382;
constexpr int32_t kStatusY = 463;
constexpr int32_t kArrowX = 628;
constexpr int32_t kArrowUpY = 27;
constexpr int32_t kArrowDownY = 460;
constexpr int32_t kTab1X = 454;
constexpr int32_t kTab2X = 471;
constexpr int32_t kTabY = 2;
constexpr int32_t kRunButtonX = 495;
constexpr int32_t kHelpButtonX = 561;
constexpr int32_t kToolButtonY = 7;
}  // namespace layout

// The editor's view of the live SourceBuffer on its page surface: text rows
// with comment colouring, selection and tab stops, the scroll bar, the
// status line and the toolbar's states. Rows are drawn lazily: changes mark
// them and DrawDirtyRows draws the marked ones.
class EditorView {
 public:
  EditorView(const GlyphFont& font, const EditorImages& images);

  bool Ready() const { return page_ && screen_; }
  Surface& Page() { return *page_; }
  Surface& Screen() { return *screen_; }
  void SetBuffer(SourceBuffer& buffer) { buffer_ = &buffer; }
  SourceBuffer& Buffer() { return *buffer_; }
  MenuBar& Menus() { return menus_; }

  // Puts the page's background back (after the help view used the page).
  void RestorePage();

  int32_t LineHeight() const { return line_height_; }
  // Rows shown less one.
  int32_t LastRow() const { return last_row_; }

  // ---- Rows -------------------------------------------------------------------------
  void DrawTextLine(int32_t line, int32_t y);
  void DrawRowAt(int32_t line, int32_t y);
  void DrawAllRows();
  void MarkRowsClean() { row_clean_.fill(true); }
  void MarkRowsDirty() { row_clean_.fill(false); }
  void MarkCursorRowDirty();
  void DrawDirtyRows();
  void SetTopLine(int32_t line);
  void ScrollDownOneLine();
  void ScrollUpOneLine();

  // ---- Cursor ------------------------------------------------------------------------
  int32_t CursorPixelX(int32_t line, int32_t column) const;
  int32_t CursorPixelY(int32_t line) const { return (line - buffer_->top_line) * line_height_ + layout::kTextTop; }
  void CursorPixelXY();
  void KeepCursorVisible();
  // The text position under a point of the text area.
  void PositionAt(int32_t x, int32_t y, int32_t* line, int32_t* column) const;

  // ---- Scroll bar, status line, toolbar ----------------------------------------------
  // Track and thumb over `count` lines with `top` first and `rows` visible.
  void DrawScrollBar(Surface& target, int32_t count, int32_t top, int32_t rows);
  void DrawScrollBar() { DrawScrollBar(*page_, buffer_->LineCount(), buffer_->top_line, layout::kRows); }
  void MarkScrollBarChanged() { scroll_bar_changed_ = true; }
  // Starts, follows and ends a drag of the thumb; the top line follows.
  void StartThumbDrag(int32_t mouse_y);
  int32_t DragThumb(int32_t mouse_y, int32_t count, int32_t rows);
  void EndThumbDrag() { dragging_ = false; }
  bool Dragging() const { return dragging_; }
  const Rect& ThumbRect() const { return thumb_rect_; }

  // 0 for a message, 256 for the file status (which gains a "*" while the
  // program is modified).
  void SetStatus(std::string text, int32_t offset);
  const std::string& Status() const { return status_; }
  void DrawStatusLine(Surface& target);
  // A message too long for the status line is shown whole, wrapped, in a
  // panel over the text area, from when it is set until the next key or
  // click, which then does what it always does.
  void DrawStatusPanel(Surface& target) const;
  void PutAwayStatusPanel() { status_panel_ = false; }

  void SetHovered(int32_t code) { hovered_ = code; }
  int32_t Hovered() const { return hovered_; }
  void SetLiveTab(int32_t tab) { live_tab_ = tab; }
  void DrawToolbarStates(Surface& target, bool help_view);
  void DrawToolbarLabels(Surface& target);

  bool caret_hidden = true;

 private:
  bool Selected(int32_t line, int32_t column) const;

  const GlyphFont& font_;
  const EditorImages& images_;
  SurfacePtr page_;
  SurfacePtr screen_;
  SourceBuffer fallback_;
  SourceBuffer* buffer_ = &fallback_;
  MenuBar menus_;
  int32_t line_height_ = 13;
  int32_t last_row_ = 31;
  std::array<bool, layout::kRows> row_clean_{};
  bool scroll_bar_changed_ = true;
  bool dragging_ = false;
  int32_t thumb_offset_ = 0;
  int32_t drag_anchor_ = 0;
  Rect thumb_rect_;
  std::string status_;
  int32_t status_offset_ = 0;
  bool status_panel_ = false;
  int32_t hovered_ = control::kNone;
  int32_t live_tab_ = 1;
};

}  // namespace zv::editor
