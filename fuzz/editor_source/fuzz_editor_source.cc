// The editor's reading of source files over any bytes: what it reads it
// writes back the same (in the file's own encoding, to the byte), and
// searching, replacing and editing the lines it read never leave the
// buffer's rules, and undoing every edit gives back the lines it read, as
// redoing them gives back the edited ones.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "editor/edit_history.h"
#include "editor/source_buffer.h"
#include "editor/source_file.h"
#include "editor/text_editing.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool LineIsClean(const std::string& line) {
  for (char c : line)
    if (static_cast<unsigned char>(c) < 14 && c != '\t') return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const zv::platform::TextEncoding encoding = zv::platform::DetectTextEncoding(bytes);
  Check(zv::editor::FileOfEditorText(zv::editor::EditorTextOfFile(bytes, encoding), encoding) == bytes);
  const zv::editor::SourceText text = zv::editor::ParseSource(bytes);
  Check(!text.lines.empty());
  for (const std::string& line : text.lines) Check(LineIsClean(line));
  const zv::editor::SourceText again =
      zv::editor::ParseSource(zv::editor::FormatSource(text.lines, text.header));
  Check(again.lines == text.lines);
  Check(again.header == text.header);

  zv::editor::SourceBuffer buffer;
  buffer.Replace(text.lines);
  const std::string search(bytes.substr(0, size % 4));
  const std::string replacement(bytes.substr(0, size % 7));
  using zv::editor::EditKind;
  using zv::editor::TextChange;
  zv::editor::EditHistory history;
  buffer.FindAndReplace(search, nullptr);
  buffer.selection = {};
  history.Record(buffer, EditKind::kOther, 0, buffer.LineCount() - 1, [&](zv::editor::SourceBuffer& b) {
    b.FindAndReplace(search, &replacement);
    return TextChange::kAllLines;
  });
  zv::editor::TextPosition anchor;
  zv::editor::MoveCursor(buffer, zv::editor::Motion::kTextEnd, true, anchor, 32);
  history.RecordAtCursor(buffer, EditKind::kOther,
                         [&](zv::editor::SourceBuffer& b) { return zv::editor::InsertText(b, bytes.substr(0, 64)); });
  history.RecordAtCursor(buffer, EditKind::kDeleting, zv::editor::DeleteBackward);
  for (const std::string& line : buffer.lines) Check(LineIsClean(line));
  const std::vector<std::string> edited = buffer.lines;
  while (history.Undo(buffer)) {}
  Check(buffer.lines == text.lines);
  while (history.Redo(buffer)) {}
  Check(buffer.lines == edited);
  return 0;
}
