#include <gtest/gtest.h>

#include <memory>

#include "editor/editor_colours.h"
#include "editor/editor_display.h"
#include "editor/editor_view.h"
#include "editor/glyph_font.h"
#include "editor/progress_box.h"
#include "editor/syntax_colour.h"
#include "platform/present/headless/headless_presenter.h"

namespace zv::editor {
namespace {

TEST(GlyphSheet, CellsFollowTheSheetRule) {
  EXPECT_EQ(GlyphFont::GlyphCell(32), (GlyphFont::Cell{0, 0}));
  EXPECT_EQ(GlyphFont::GlyphCell(59), (GlyphFont::Cell{324, 0}));
  EXPECT_EQ(GlyphFont::GlyphCell(60), (GlyphFont::Cell{0, 16}));
  EXPECT_EQ(GlyphFont::GlyphCell(0x700 + 32), (GlyphFont::Cell{0, 896}));
  EXPECT_EQ(GlyphFont::GlyphCell(0x7FF), (GlyphFont::Cell{12 * ((255 - 32) % 28), 896 + 16 * ((255 - 32) / 28)}));
}

TEST(SyntaxColour, CommentLinesAreJudgedOneByOne) {
  for (const char* comment : {"rem", "  REMember", "remstart", "remend x", "\t` note", "`"})
    EXPECT_EQ(CommentStyle(comment), kCommentStyle) << comment;
  for (const char* plain : {"", "re", "print rem", "x = 1 ` late", "r em"})
    EXPECT_EQ(CommentStyle(plain), kPlainStyle) << plain;
}

TEST(SyntaxColour, RightToLeftRunsAreReversedWithTheirBlanks) {
  std::string text = "ab \xC1\xC2 \xC3. c";
  ReverseRightToLeftRuns(text);
  EXPECT_EQ(text, "ab \xC3 \xC2\xC1. c");
  std::string plain = "nothing to turn";
  ReverseRightToLeftRuns(plain);
  EXPECT_EQ(plain, "nothing to turn");
}

// The view and the progress box drawn with the real glyph sheet.
class Drawing : public ::testing::Test {
 protected:
  void SetUp() override {
    text_ = platform::CreateTextService();
    font_ = GlyphFont::Create(*text_);
    ASSERT_TRUE(font_);
    view_ = std::make_unique<EditorView>(*font_, images_);
    ASSERT_TRUE(view_->Ready());
    view_->SetBuffer(buffer_);
  }
  uint32_t PageAt(int32_t x, int32_t y) { return view_->Page().PixelAt(x, y) & 0xFFFFFF; }

  std::unique_ptr<platform::TextService> text_;
  std::unique_ptr<GlyphFont> font_;
  EditorImages images_;
  std::unique_ptr<EditorView> view_;
  SourceBuffer buffer_;
};

TEST_F(Drawing, RowsShowSelectionAndTabStops) {
  EXPECT_EQ(font_->TextWidth(""), 0);
  buffer_.Replace({"\tab", "rem \tc", "xy"});
  buffer_.selection = {1, 4, 2, 0};  // ends at column 0: nothing of line 2
  view_->DrawAllRows();
  const int32_t row0 = layout::kTextTop, row1 = row0 + 13, row2 = row1 + 13;
  // An unselected tab leaves the text background up to the next stop.
  EXPECT_EQ(PageAt(10, row0 + 6), colour::kTextBackground);
  // The selected tab of the comment line is filled with the selection.
  const int32_t tab_x = 4 * font_->Width('r') + 2;
  EXPECT_EQ(PageAt(tab_x, row1 + 1), colour::kSelectionBackground);
  EXPECT_EQ(PageAt(1, row2 + 1), colour::kTextBackground);
  // The cursor's pixel position steps over the tab to the stop.
  EXPECT_EQ(view_->CursorPixelX(0, 1), 24);
  EXPECT_EQ(view_->CursorPixelX(0, 2), 24 + font_->Width('a'));
  int32_t line = -1, column = -1;
  view_->PositionAt(3, row2 + 2, &line, &column);
  EXPECT_EQ(line, 2);
  EXPECT_EQ(column, 0);
  view_->PositionAt(3 + font_->Width('x'), row2 + 2, &line, &column);
  EXPECT_EQ(column, 1);
  view_->PositionAt(600, row2 + 2, &line, &column);
  EXPECT_EQ(column, 2);
}

TEST_F(Drawing, TheThumbFillsTheTrackForAShortProgramAndShrinksForALongOne) {
  buffer_.Replace(std::vector<std::string>(20, "x"));
  view_->DrawScrollBar();
  EXPECT_EQ(view_->ThumbRect().Height(), 402);
  buffer_.Replace(std::vector<std::string>(320, "x"));
  buffer_.top_line = 288;  // the last page
  view_->MarkScrollBarChanged();
  view_->DrawScrollBar();
  EXPECT_EQ(view_->ThumbRect().top, layout::kTrackY + 382 - 38);
  EXPECT_EQ(view_->ThumbRect().Height(), 38 + 20);
}

// A message too wide keeps its start, where an error says what went wrong;
// a file's status its end, the file's name.
TEST_F(Drawing, AStatusTooWideKeepsItsStartOrAFilesNameAndAModifiedFileGetsAStar) {
  const auto status_row = [this] {
    std::vector<uint32_t> row;
    for (int32_t x = 2; x < 60; ++x) row.push_back(PageAt(x, layout::kStatusY + 6));
    return row;
  };
  view_->SetStatus("Wrong here", 0);
  view_->DrawStatusLine(view_->Page());
  const std::vector<uint32_t> start = status_row();
  view_->SetStatus("Wrong here" + std::string(200, 'x'), 0);
  view_->DrawStatusLine(view_->Page());
  EXPECT_EQ(status_row(), start);
  view_->SetStatus("Project: p  File: a.kqa", 256);
  buffer_.modified = true;
  view_->DrawStatusLine(view_->Page());
  const uint32_t ink = kColourSetInks[4];
  bool star_drawn = false;
  const int32_t star_x = 2 + font_->TextWidthInSet("Project: p  File: a.kqa", 4);
  for (int32_t x = star_x; x < star_x + font_->Width('*'); ++x)
    for (int32_t y = layout::kStatusY; y < layout::kStatusY + 13; ++y) star_drawn |= PageAt(x, y) == ink;
  EXPECT_TRUE(star_drawn);
}

TEST_F(Drawing, TheProgressBoxFillsItsBarByPercentAndPresentsEachStep) {
  auto presenter = std::make_unique<platform::HeadlessPresenter>();
  platform::HeadlessPresenter* shown = presenter.get();
  EditorDisplay display(std::move(presenter));
  ProgressBox box(display, view_->Screen(), images_, *font_);
  box.DrawProgressBox(0);
  const platform::Surface* frame = shown->LastFrame();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->PixelAt(131, 240) & 0xFFFFFF, 0u);  // all of the bar is empty
  box.DrawProgressBox(50);
  EXPECT_NE(shown->LastFrame()->PixelAt(200, 270) & 0xFFFFFF, 0u);
  EXPECT_EQ(shown->LastFrame()->PixelAt(330, 270) & 0xFFFFFF, 0u);
  box.DrawProgressBox(100);  // nothing left to black out
  EXPECT_NE(shown->LastFrame()->PixelAt(505, 270) & 0xFFFFFF, 0u);
  box.ShowProgressText("Adding a.bmp...");
  EXPECT_EQ(shown->PresentCount(), 4);
  images_.Drop(image::kProgressBox);  // without the box nothing is drawn
  box.DrawProgressBox(10);
  EXPECT_EQ(shown->PresentCount(), 4);
}

}  // namespace
}  // namespace zv::editor
