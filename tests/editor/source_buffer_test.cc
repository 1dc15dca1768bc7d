#include "editor/source_buffer.h"

#include <gtest/gtest.h>

#include <functional>

#include "editor/edit_history.h"
#include "editor/recent_files.h"
#include "editor/text_editing.h"

namespace zv::editor {
namespace {

using Lines = std::vector<std::string>;

SourceBuffer BufferOf(Lines lines) {
  SourceBuffer b;
  b.Replace(std::move(lines));
  return b;
}

TEST(SourceBufferFind, IgnoresCaseOfLettersOnlyAndFindsAMatchAtTheLineEnd) {
  SourceBuffer b = BufferOf({"Print X", "a\xC4"});
  EXPECT_EQ(b.FindInLine(0, "x", 0, 100), 6);
  EXPECT_EQ(b.FindInLine(0, "print", 1, 100), -1);
  EXPECT_EQ(b.FindInLine(0, "print x", 0, 8), 0);
  EXPECT_EQ(b.FindInLine(0, "print x", 0, 6), -1);  // the limit cuts the match
  EXPECT_EQ(b.FindInLine(1, "a\xE4", 0, 100), -1);   // only A-Z fold
}

TEST(SourceBufferFind, FindsFromTheCursorWrapsOnceAndSelectsTheMatch) {
  SourceBuffer b = BufferOf({"x = 1", "y = 2", "X = 3"});
  b.cursor_line = 1;
  EXPECT_EQ(b.FindAndReplace("x", nullptr), 2);
  EXPECT_EQ(b.selection, (Selection{2, 0, 2, 1}));
  EXPECT_EQ(b.cursor_column, 1);
  EXPECT_EQ(b.FindAndReplace("X", nullptr), 0);  // wrapped to the top
  EXPECT_EQ(b.FindAndReplace("nothing", nullptr), -1);
  EXPECT_EQ(b.FindAndReplace("", nullptr), -1);
}

TEST(SourceBufferReplace, ReplacesEveryMatchOnce) {
  SourceBuffer b = BufferOf({"a a", "b a"});
  b.cursor_line = 1;
  b.cursor_column = 2;
  const std::string replacement = "aa";
  // The replacement holds the search text: nothing is replaced twice, even
  // where the search comes back round to where it began.
  EXPECT_EQ(b.FindAndReplace("A", &replacement), 1);
  EXPECT_EQ(b.lines, (Lines{"aa aa", "b aa"}));
  EXPECT_TRUE(b.modified);
  EXPECT_FALSE(b.HasSelection());
}

// Undo takes back every change in order, a replace as one step among the
// typing around it, and redo brings each back; characters typed on in a
// line are one step, and the text is unmodified exactly at its save.
TEST(EditHistory, UndoAndRedoWalkEveryChangeInOrder) {
  SourceBuffer b = BufferOf({"beta", ""});
  EditHistory history;
  history.Clear(true);
  const auto type = [&](const std::string& text) {
    for (const char c : text) {
      const std::string one(1, c);
      history.RecordAtCursor(b, c == '\n' ? EditKind::kOther : EditKind::kTyping,
                             [&](SourceBuffer& s) { return InsertText(s, one); });
    }
  };
  const auto replace = [&](const std::string& search, const std::string& by) {
    history.Record(b, EditKind::kOther, 0, b.LineCount() - 1, [&](SourceBuffer& s) {
      s.FindAndReplace(search, &by);
      return TextChange::kAllLines;
    });
  };
  type("x = ");
  b.cursor_line = 1;
  type("print beta");
  replace("beta", "gamma");
  b.cursor_column = 11;
  type("\nend");
  history.RecordAtCursor(b, EditKind::kDeleting, DeleteBackward);
  const Lines edited{"x = gamma", "print gamma", "en"};
  ASSERT_EQ(b.lines, edited);
  const std::vector<Lines> steps_back{
      {"x = gamma", "print gamma", "end"}, {"x = gamma", "print gamma", ""}, {"x = gamma", "print gamma"},
      {"x = beta", "print beta"},           {"x = beta", ""},                 {"beta", ""}};
  for (const Lines& lines : steps_back) {
    ASSERT_TRUE(history.Undo(b));
    EXPECT_EQ(b.lines, lines);
  }
  EXPECT_FALSE(b.modified);  // back at the text as it was saved
  EXPECT_FALSE(history.Undo(b));
  for (size_t i = steps_back.size() - 1; i-- > 0;) {
    ASSERT_TRUE(history.Redo(b));
    EXPECT_EQ(b.lines, steps_back[i]);
    EXPECT_TRUE(b.modified);
  }
  ASSERT_TRUE(history.Redo(b));
  EXPECT_EQ(b.lines, edited);
  EXPECT_EQ(b.cursor_line, 2);
  EXPECT_EQ(b.cursor_column, 2);
  EXPECT_FALSE(history.Redo(b));

  // A save, then a change after an undo: the undone steps give way to it,
  // and the saved text can no longer come back by redo.
  history.MarkSaved();
  history.Undo(b);
  EXPECT_TRUE(b.modified);
  type("!");
  EXPECT_EQ(b.lines, (Lines{"x = gamma", "print gamma", "end!"}));
  EXPECT_FALSE(history.Redo(b));
  history.Undo(b);
  EXPECT_TRUE(b.modified);
}

TEST(SourceBufferReplace, WithASelectionStaysInsideIt) {
  SourceBuffer b = BufferOf({"x x x", "x x", "x"});
  b.selection = {0, 2, 1, 1};
  const std::string replacement = "yy";
  EXPECT_EQ(b.FindAndReplace("x", &replacement), 1);
  EXPECT_EQ(b.lines, (Lines{"x yy yy", "yy x", "x"}));
  const std::string other = "z";
  b.selection = {2, 0, 2, 0};
  EXPECT_EQ(b.FindAndReplace("q", &other), -1);
}

TEST(TextEditing, TypingSplittingJoiningAndDeletingKeepTheLines) {
  SourceBuffer b = BufferOf({"ab", "cd"});
  b.cursor_column = 1;
  EXPECT_EQ(InsertText(b, "X"), TextChange::kCursorLine);
  EXPECT_EQ(InsertText(b, "1\r\n2\n3\x01"), TextChange::kAllLines);
  EXPECT_EQ(b.lines, (Lines{"aX1", "2", "3b", "cd"}));
  EXPECT_EQ(b.cursor_line, 2);
  EXPECT_EQ(b.cursor_column, 1);
  b.cursor_column = 0;
  EXPECT_EQ(DeleteBackward(b), TextChange::kAllLines);  // joins with the line above
  EXPECT_EQ(b.lines, (Lines{"aX1", "23b", "cd"}));
  b.cursor_column = 3;
  EXPECT_EQ(DeleteForward(b), TextChange::kAllLines);  // joins the line below
  EXPECT_EQ(b.lines, (Lines{"aX1", "23bcd"}));
  b.Replace({"one"});
  EXPECT_EQ(DeleteBackward(b), TextChange::kNone);
  EXPECT_EQ(b.lines, (Lines{"one"}));
}

TEST(TextEditing, SelectionsByKeysCopyAndDeleteAcrossLines) {
  SourceBuffer b = BufferOf({"first", "second", "third"});
  TextPosition anchor;
  b.cursor_column = 2;
  MoveCursor(b, Motion::kDown, true, anchor, 32);
  MoveCursor(b, Motion::kDown, true, anchor, 32);
  EXPECT_EQ(b.selection, (Selection{0, 2, 2, 2}));
  EXPECT_EQ(SelectedText(b), "rst\nsecond\nth");
  MoveCursor(b, Motion::kTextStart, true, anchor, 32);  // back past the anchor
  EXPECT_EQ(b.selection, (Selection{0, 0, 0, 2}));
  EXPECT_EQ(DeleteSelection(b), TextChange::kAllLines);
  EXPECT_EQ(b.lines, (Lines{"rst", "second", "third"}));
  MoveCursor(b, Motion::kRight, false, anchor, 32);
  EXPECT_FALSE(b.HasSelection());
  SelectAll(b, anchor);
  EXPECT_EQ(InsertText(b, "new"), TextChange::kAllLines);
  EXPECT_EQ(b.lines, (Lines{"new"}));
}

TEST(RecentFiles, MovesARepeatToTheTopAndKeepsFour) {
  RecentFileList list;
  list.Add("", "/x");
  EXPECT_TRUE(list.Entries().empty());
  for (const char* name : {"a.kqa", "b.kqa", "c.kqa", "d.kqa"}) list.Add(name, "/p");
  list.Add("B.KQA", "/P");
  EXPECT_EQ(list.Entries().size(), 4u);
  EXPECT_EQ(list.Entries()[0].name, "B.KQA");
  list.Add("e.kqa", "/p");
  EXPECT_FALSE(list.Contains("a.kqa", "/p"));
  EXPECT_TRUE(list.Contains("D.kqa", "/p"));
  EXPECT_EQ(RecentFileLabel({"e.kqa", "/home/me/games"}, ""), "games/e.kqa");
  EXPECT_EQ(RecentFileLabel({"e.kqa", "/ex"}, "/ex"), "e.kqa");
}

// A character Windows-1252 lacks, marked in the line, is one character for
// every edit: no cursor, deletion, selection or match cuts it.
TEST(TextEditing, AMarkedCharacterIsOneCharacterForEveryEdit) {
  const std::string arrow = "\x81U+2192\x81";  // columns 1 to 8
  struct Case {
    const char* what;
    int32_t column;  // of the cursor before the edit
    std::function<void(SourceBuffer&, TextPosition&)> edit;
    std::string line;
    int32_t cursor;
  } cases[] = {
      {"left", 9, [](SourceBuffer& b, TextPosition& a) { MoveCursor(b, Motion::kLeft, false, a, 1); }, "a" + arrow + "b", 1},
      {"right", 1, [](SourceBuffer& b, TextPosition& a) { MoveCursor(b, Motion::kRight, false, a, 1); }, "a" + arrow + "b", 9},
      {"backspace", 9, [](SourceBuffer& b, TextPosition&) { DeleteBackward(b); }, "ab", 1},
      {"delete", 1, [](SourceBuffer& b, TextPosition&) { DeleteForward(b); }, "ab", 1},
      {"typing inside", 4, [](SourceBuffer& b, TextPosition&) { InsertText(b, "x"); }, "ax" + arrow + "b", 2},
      {"a click inside", 0, [](SourceBuffer& b, TextPosition& a) { PlaceCursor(b, {0, 5}, false, a); }, "a" + arrow + "b", 1},
      {"a selection from inside", 0,
       [](SourceBuffer& b, TextPosition&) {
         b.selection = {0, 3, 0, 10};
         DeleteSelection(b);
       },
       "a", 1},
      {"a selection into it", 0,
       [](SourceBuffer& b, TextPosition&) {
         b.selection = {0, 0, 0, 3};
         DeleteSelection(b);
       },
       "b", 0},
      {"a replace of part of it", 0,
       [](SourceBuffer& b, TextPosition&) {
         const std::string by = "x";
         b.FindAndReplace("2192", &by);
       },
       "a" + arrow + "b", 0},
  };
  for (const Case& c : cases) {
    SourceBuffer b = BufferOf({"a" + arrow + "b"});
    b.cursor_column = c.column;
    TextPosition anchor;
    c.edit(b, anchor);
    EXPECT_EQ(b.lines[0], c.line) << c.what;
    EXPECT_EQ(b.cursor_column, c.cursor) << c.what;
  }
}

}  // namespace
}  // namespace zv::editor
