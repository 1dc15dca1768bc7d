#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "editor/source_buffer.h"

namespace zv::editor {

// Typing, deleting, splitting and joining lines, moving the cursor and
// selecting, on the lines of a SourceBuffer. Each operation keeps the
// buffer's rules: no line end or control byte other than tab enters a line,
// and a change sets the modified flag.

struct TextPosition {
  int32_t line = 0;
  int32_t column = 0;
  friend auto operator<=>(const TextPosition&, const TextPosition&) = default;
};

// What an operation changed, so the view redraws no more than it must.
enum class TextChange { kNone, kCursorLine, kAllLines };

enum class Motion { kLeft, kRight, kUp, kDown, kLineStart, kLineEnd, kPageUp, kPageDown, kTextStart, kTextEnd };

// The text of the selection, its lines joined by LF, the line end that
// other programs of the desktop expect in copied text.
std::string SelectedText(const SourceBuffer& buffer);
// Removes the selected text and puts the cursor where it began.
TextChange DeleteSelection(SourceBuffer& buffer);
// Inserts text at the cursor (replacing the selection); CR, LF and CR LF
// split lines, other bytes below 32 except tab are left out.
TextChange InsertText(SourceBuffer& buffer, std::string_view text);
// Backspace: the selection, else the character before the cursor, joining
// the line to the one above at its start.
TextChange DeleteBackward(SourceBuffer& buffer);
// Delete: the selection, else the character under the cursor, joining the
// next line at the line's end.
TextChange DeleteForward(SourceBuffer& buffer);

// Moves the cursor. With `extend` the selection runs from `anchor` (set to
// the cursor when nothing was selected) to the new place; without, the
// selection is dropped. `page_rows` is the height of a page.
void MoveCursor(SourceBuffer& buffer, Motion motion, bool extend, TextPosition& anchor, int32_t page_rows);
// Places the cursor (clamped), selecting from `anchor` with `extend`.
void PlaceCursor(SourceBuffer& buffer, TextPosition at, bool extend, TextPosition& anchor);
// Selects everything.
void SelectAll(SourceBuffer& buffer, TextPosition& anchor);

}  // namespace zv::editor
