#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv::editor {

// A stretch of text from (start line, start column) up to, not including,
// (end line, end column). All zero: nothing is selected.
struct Selection {
  int32_t start_line = 0;
  int32_t start_column = 0;
  int32_t end_line = 0;
  int32_t end_column = 0;
  bool Empty() const { return start_line == end_line && start_column == end_column; }
  friend bool operator==(const Selection&, const Selection&) = default;
};

// The program being edited: its lines with the cursor, the selection and the
// scroll state of the view over them. A line holds its text only: the line
// end is not stored, and no byte below 14 other than tab is ever in a line.
struct SourceBuffer {
  std::vector<std::string> lines{std::string()};
  int32_t top_line = 0;
  int32_t horizontal_scroll = 0;  // leading characters every row skips
  int32_t cursor_line = 0;
  int32_t cursor_column = 0;
  int32_t cursor_x = 2;   // pixel position of the cursor (the view computes it)
  int32_t cursor_y = 43;
  Selection selection;
  bool selecting = false;
  bool modified = false;
  // What the last find looked for (lower case) and the last replacement.
  std::string last_search;
  std::string last_replacement;

  int32_t LineCount() const { return static_cast<int32_t>(lines.size()); }
  // Line `n` clamped into the buffer.
  const std::string& Line(int32_t n) const;

  // One empty line, cursor and scroll at the start, nothing selected.
  void Clear();
  // Takes `new_lines` (one empty line when none) with the cursor at the start.
  void Replace(std::vector<std::string> new_lines);
  void ResetCursor();
  void ClampCursor();

  // Inserts a line holding `text` before the cursor line.
  void InsertLineAtCursor(std::string_view text);
  // Appends `text` to the end of the cursor line.
  void AppendToCursorLine(std::string_view text);

  // Column of the first match of `lower_search` (lower case) in `line` at or
  // after `start` that ends no later than `limit` (counting the line end as
  // one character), or -1. Case is ignored for A-Z only.
  int32_t FindInLine(int32_t line, std::string_view lower_search, int32_t start, int32_t limit) const;
  // Replaces the `search_length` characters at `column`; returns the column
  // just behind the inserted text.
  int32_t ReplaceInLine(int32_t line, size_t search_length, int32_t column, std::string_view replacement);

  // Without a replacement: finds the next match from the cursor, wrapping
  // once, selects it and returns its line (or -1). With one: replaces every
  // match, within the selection when there is one, and returns 1 when
  // something was replaced, else -1.
  int32_t FindAndReplace(std::string_view search, const std::string* replacement);

  bool HasSelection() const { return !selection.Empty(); }
  void ClearSelection();
};

// Lower-cases A-Z only, as the search does.
std::string LowerAscii(std::string_view text);

// A character Windows-1252 lacks stands in a line as its marked number
// (platform::AppendMarkedCharacter), which every edit takes as one
// character: the cursor and the ends of a selection never stand inside it.
struct ColumnSpan {
  int32_t start = 0;
  int32_t end = 0;  // the column after it
};
// The marked character that holds the byte at `column`, if one does.
std::optional<ColumnSpan> MarkedCharacterAt(std::string_view line, int32_t column);
// `column` moved to the start of the marked character it stands inside,
// or with `forward` to its end.
int32_t OutsideMarkedCharacter(std::string_view line, int32_t column, bool forward);

}  // namespace zv::editor
