#include "editor/source_buffer.h"

#include <algorithm>

#include "platform/text/system_text.h"

namespace zv::editor {

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::optional<ColumnSpan> MarkedCharacterAt(std::string_view line, int32_t column) {
  if (column < 0) return std::nullopt;
  const auto at = static_cast<size_t>(column);
  for (size_t pos = line.find(platform::kCharacterMark); pos != std::string_view::npos && pos <= at;) {
    size_t end = pos;
    if (!platform::ReadMarkedCharacter(line, end)) end = pos + 1;
    else if (at < end) return ColumnSpan{static_cast<int32_t>(pos), static_cast<int32_t>(end)};
    pos = line.find(platform::kCharacterMark, end);
  }
  return std::nullopt;
}

int32_t OutsideMarkedCharacter(std::string_view line, int32_t column, bool forward) {
  const std::optional<ColumnSpan> span = MarkedCharacterAt(line, column);
  if (!span || span->start == column) return column;
  return forward ? span->end : span->start;
}

const std::string& SourceBuffer::Line(int32_t n) const {
  n = std::clamp(n, 0, LineCount() - 1);
  return lines[static_cast<size_t>(n)];
}

void SourceBuffer::ResetCursor() {
  cursor_line = 0;
  cursor_column = 0;
  cursor_x = 2;
  cursor_y = 43;
}

void SourceBuffer::ClampCursor() {
  if (lines.empty()) lines.emplace_back();
  cursor_line = std::clamp(cursor_line, 0, LineCount() - 1);
  cursor_column = std::clamp(cursor_column, 0, static_cast<int32_t>(Line(cursor_line).size()));
  cursor_column = OutsideMarkedCharacter(Line(cursor_line), cursor_column, false);
}

void SourceBuffer::Clear() { Replace({}); }

void SourceBuffer::Replace(std::vector<std::string> new_lines) {
  lines = std::move(new_lines);
  if (lines.empty()) lines.emplace_back();
  top_line = 0;
  horizontal_scroll = 0;
  ClearSelection();
  ResetCursor();
}

void SourceBuffer::InsertLineAtCursor(std::string_view text) {
  const int32_t at = std::clamp(cursor_line, 0, LineCount());
  lines.insert(lines.begin() + at, std::string(text));
}

void SourceBuffer::AppendToCursorLine(std::string_view text) {
  if (lines.empty()) lines.emplace_back();
  lines[static_cast<size_t>(std::clamp(cursor_line, 0, LineCount() - 1))].append(text);
}

int32_t SourceBuffer::FindInLine(int32_t line, std::string_view lower_search, int32_t start, int32_t limit) const {
  const std::string& text = Line(line);
  const std::string lowered = LowerAscii(text);
  // A match neither begins nor ends inside a marked character.
  const auto between_characters = [&text](int64_t column) {
    return OutsideMarkedCharacter(text, static_cast<int32_t>(column), false) == column;
  };
  // The line end counts as one character, so a match may end at the line's end.
  const int64_t n = static_cast<int64_t>(lowered.size()) + 1;
  const int64_t m = static_cast<int64_t>(lower_search.size());
  for (int64_t pos = std::max<int64_t>(start, 0);; ++pos) {
    if (pos > n - m || pos > int64_t{limit} - m) return -1;
    if (lowered.compare(static_cast<size_t>(pos), static_cast<size_t>(m), lower_search) == 0 &&
        pos + m <= static_cast<int64_t>(lowered.size()) && between_characters(pos) && between_characters(pos + m))
      return static_cast<int32_t>(pos);
  }
}

int32_t SourceBuffer::ReplaceInLine(int32_t line, size_t search_length, int32_t column,
                                    std::string_view replacement) {
  modified = true;
  std::string& text = lines[static_cast<size_t>(std::clamp(line, 0, LineCount() - 1))];
  const size_t at = std::min(static_cast<size_t>(std::max(column, 0)), text.size());
  text.replace(at, std::min(search_length, text.size() - at), replacement);
  return static_cast<int32_t>(at + replacement.size());
}

int32_t SourceBuffer::FindAndReplace(std::string_view search, const std::string* replacement) {
  if (search.empty()) return -1;
  last_search = LowerAscii(search);
  if (replacement) last_replacement = *replacement;
  const int32_t search_length = static_cast<int32_t>(search.size());
  ClampCursor();
  int32_t line = cursor_line;
  int32_t column = cursor_column;
  const bool within = replacement && HasSelection();
  Selection range = selection;
  if (within) {
    line = range.start_line;
    column = range.start_column;
  }
  const int32_t start_line = line;
  const int32_t start_column = column;
  int32_t last = LineCount() - 1;
  int32_t steps = 0;
  bool wrapped = false;
  bool replaced = false;
  while (steps <= last) {
    int32_t limit = static_cast<int32_t>(Line(line).size()) + 1;
    if (within) {
      if (line == range.start_line) column = std::max(column, range.start_column);
      if (line == range.end_line) limit = range.end_column;
    }
    // Coming back to the first line after the wrap, a replace stops where it
    // began: what lies behind that was done on the first visit, and may hold
    // replacements that contain the search text.
    if (replacement && wrapped && line == start_line) limit = std::min(limit, start_column + search_length - 1);
    const int32_t match = FindInLine(line, last_search, column, limit);
    column = 0;
    if (match >= 0 && !replacement) {
      cursor_line = line;
      cursor_column = match + search_length;
      selection = {line, match, line, cursor_column};
      selecting = false;
      horizontal_scroll = 0;
      return line;
    }
    if (match >= 0) {
      column = ReplaceInLine(line, search.size(), match, *replacement);
      if (within && line == range.end_line) range.end_column += static_cast<int32_t>(replacement->size()) - search_length;
      replaced = true;
      continue;
    }
    ++steps;
    ++line;
    if (within && line > range.end_line) break;
    if (line > LineCount() - 1) {
      line = 0;
      if (!wrapped) {
        wrapped = true;
        ++last;
      }
    }
  }
  if (!replaced) return -1;
  ClearSelection();
  ClampCursor();
  return 1;
}

void SourceBuffer::ClearSelection() {
  selecting = false;
  selection = {};
}

}  // namespace zv::editor
