#include "editor/text_editing.h"

#include <algorithm>

namespace zv::editor {
namespace {

std::string& CursorLine(SourceBuffer& buffer) {
  buffer.ClampCursor();
  return buffer.lines[static_cast<size_t>(buffer.cursor_line)];
}

TextPosition SelectionStart(const Selection& s) { return {s.start_line, s.start_column}; }
TextPosition SelectionEnd(const Selection& s) { return {s.end_line, s.end_column}; }

// The selection with both ends clamped into the buffer.
Selection ClampedSelection(const SourceBuffer& buffer) {
  Selection s = buffer.selection;
  auto clamp = [&](int32_t& line, int32_t& column) {
    line = std::clamp(line, 0, buffer.LineCount() - 1);
    column = std::clamp(column, 0, static_cast<int32_t>(buffer.Line(line).size()));
  };
  clamp(s.start_line, s.start_column);
  clamp(s.end_line, s.end_column);
  if (SelectionEnd(s) < SelectionStart(s)) s = {s.end_line, s.end_column, s.start_line, s.start_column};
  s.start_column = OutsideMarkedCharacter(buffer.Line(s.start_line), s.start_column, false);
  s.end_column = OutsideMarkedCharacter(buffer.Line(s.end_line), s.end_column, true);
  return s;
}

// Where the character before or after the column begins or ends: a
// character the page lacks, marked, is one.
int32_t CharacterBefore(std::string_view line, int32_t column) {
  return OutsideMarkedCharacter(line, column - 1, false);
}
int32_t CharacterAfter(std::string_view line, int32_t column) {
  const std::optional<ColumnSpan> span = MarkedCharacterAt(line, column);
  return span ? span->end : column + 1;
}

void SelectBetween(SourceBuffer& buffer, TextPosition a, TextPosition b) {
  if (b < a) std::swap(a, b);
  buffer.selection = {a.line, a.column, b.line, b.column};
}

}  // namespace

std::string SelectedText(const SourceBuffer& buffer) {
  if (!buffer.HasSelection()) return {};
  const Selection s = ClampedSelection(buffer);
  std::string out;
  for (int32_t line = s.start_line; line <= s.end_line; ++line) {
    const std::string& text = buffer.Line(line);
    const size_t from = line == s.start_line ? static_cast<size_t>(s.start_column) : 0;
    const size_t to = line == s.end_line ? static_cast<size_t>(s.end_column) : text.size();
    if (to > from) out.append(text, from, to - from);
    if (line != s.end_line) out += '\n';
  }
  return out;
}

TextChange DeleteSelection(SourceBuffer& buffer) {
  if (!buffer.HasSelection()) return TextChange::kNone;
  const Selection s = ClampedSelection(buffer);
  std::string& first = buffer.lines[static_cast<size_t>(s.start_line)];
  const std::string tail = buffer.Line(s.end_line).substr(static_cast<size_t>(s.end_column));
  first.resize(static_cast<size_t>(s.start_column));
  first += tail;
  buffer.lines.erase(buffer.lines.begin() + s.start_line + 1, buffer.lines.begin() + s.end_line + 1);
  buffer.cursor_line = s.start_line;
  buffer.cursor_column = s.start_column;
  buffer.ClearSelection();
  buffer.modified = true;
  return TextChange::kAllLines;
}

TextChange InsertText(SourceBuffer& buffer, std::string_view text) {
  TextChange change = DeleteSelection(buffer);
  if (text.empty()) return change;
  bool split = false;
  std::string& line = CursorLine(buffer);
  std::string tail = line.substr(static_cast<size_t>(buffer.cursor_column));
  line.resize(static_cast<size_t>(buffer.cursor_column));
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      buffer.lines.insert(buffer.lines.begin() + buffer.cursor_line + 1, std::string());
      ++buffer.cursor_line;
      buffer.cursor_column = 0;
      split = true;
      continue;
    }
    if (c < 32 && c != '\t') continue;
    buffer.lines[static_cast<size_t>(buffer.cursor_line)].push_back(static_cast<char>(c));
    ++buffer.cursor_column;
  }
  buffer.lines[static_cast<size_t>(buffer.cursor_line)] += tail;
  buffer.modified = true;
  return split ? TextChange::kAllLines : (change == TextChange::kNone ? TextChange::kCursorLine : change);
}

TextChange DeleteBackward(SourceBuffer& buffer) {
  if (buffer.HasSelection()) return DeleteSelection(buffer);
  std::string& line = CursorLine(buffer);
  if (buffer.cursor_column > 0) {
    const int32_t start = CharacterBefore(line, buffer.cursor_column);
    line.erase(static_cast<size_t>(start), static_cast<size_t>(buffer.cursor_column - start));
    buffer.cursor_column = start;
    buffer.modified = true;
    return TextChange::kCursorLine;
  }
  if (buffer.cursor_line == 0) return TextChange::kNone;
  std::string joined = std::move(line);
  buffer.lines.erase(buffer.lines.begin() + buffer.cursor_line);
  --buffer.cursor_line;
  std::string& above = buffer.lines[static_cast<size_t>(buffer.cursor_line)];
  buffer.cursor_column = static_cast<int32_t>(above.size());
  above += joined;
  buffer.modified = true;
  return TextChange::kAllLines;
}

TextChange DeleteForward(SourceBuffer& buffer) {
  if (buffer.HasSelection()) return DeleteSelection(buffer);
  std::string& line = CursorLine(buffer);
  if (static_cast<size_t>(buffer.cursor_column) < line.size()) {
    const int32_t end = CharacterAfter(line, buffer.cursor_column);
    line.erase(static_cast<size_t>(buffer.cursor_column), static_cast<size_t>(end - buffer.cursor_column));
    buffer.modified = true;
    return TextChange::kCursorLine;
  }
  if (buffer.cursor_line + 1 >= buffer.LineCount()) return TextChange::kNone;
  line += buffer.lines[static_cast<size_t>(buffer.cursor_line) + 1];
  buffer.lines.erase(buffer.lines.begin() + buffer.cursor_line + 1);
  buffer.modified = true;
  return TextChange::kAllLines;
}

void PlaceCursor(SourceBuffer& buffer, TextPosition at, bool extend, TextPosition& anchor) {
  const TextPosition from{buffer.cursor_line, buffer.cursor_column};
  if (extend && !buffer.HasSelection()) anchor = from;
  buffer.cursor_line = at.line;
  buffer.cursor_column = at.column;
  buffer.ClampCursor();
  if (extend) {
    SelectBetween(buffer, anchor, {buffer.cursor_line, buffer.cursor_column});
  } else {
    buffer.ClearSelection();
  }
}

void MoveCursor(SourceBuffer& buffer, Motion motion, bool extend, TextPosition& anchor, int32_t page_rows) {
  buffer.ClampCursor();
  TextPosition at{buffer.cursor_line, buffer.cursor_column};
  const int32_t length = static_cast<int32_t>(buffer.Line(at.line).size());
  switch (motion) {
    case Motion::kLeft:
      if (at.column > 0) {
        at.column = CharacterBefore(buffer.Line(at.line), at.column);
      } else if (at.line > 0) {
        --at.line;
        at.column = static_cast<int32_t>(buffer.Line(at.line).size());
      }
      break;
    case Motion::kRight:
      if (at.column < length) {
        at.column = CharacterAfter(buffer.Line(at.line), at.column);
      } else if (at.line + 1 < buffer.LineCount()) {
        ++at.line;
        at.column = 0;
      }
      break;
    case Motion::kUp: at.line = std::max(0, at.line - 1); break;
    case Motion::kDown: at.line = std::min(buffer.LineCount() - 1, at.line + 1); break;
    case Motion::kLineStart: at.column = 0; break;
    case Motion::kLineEnd: at.column = length; break;
    case Motion::kPageUp: at.line = std::max(0, at.line - page_rows); break;
    case Motion::kPageDown: at.line = std::min(buffer.LineCount() - 1, at.line + page_rows); break;
    case Motion::kTextStart: at = {0, 0}; break;
    case Motion::kTextEnd:
      at.line = buffer.LineCount() - 1;
      at.column = static_cast<int32_t>(buffer.Line(at.line).size());
      break;
  }
  PlaceCursor(buffer, at, extend, anchor);
}

void SelectAll(SourceBuffer& buffer, TextPosition& anchor) {
  anchor = {0, 0};
  buffer.cursor_line = buffer.LineCount() - 1;
  buffer.cursor_column = static_cast<int32_t>(buffer.Line(buffer.cursor_line).size());
  SelectBetween(buffer, anchor, {buffer.cursor_line, buffer.cursor_column});
}

}  // namespace zv::editor
