#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/system_text.h"
#include "platform/text/text_encoding.h"

namespace zv::editor {

// Title, author and date of a program, kept in "Rem * ..." lines at the top
// of its source file.
struct SourceHeader {
  std::string title;
  std::string author;
  std::string date;
  friend bool operator==(const SourceHeader&, const SourceHeader&) = default;
};

// The encoding of a program the editor makes: UTF-8, as Linux's editors
// write text.
constexpr platform::TextEncoding kNewSourceEncoding{true, false};

// How a file ends its lines. A program the editor makes ends them with
// CR LF; one it reads keeps the ends it had, so that a save changes no
// line the user did not.
enum class LineEnd { kCrLf, kLf, kCr };
std::string_view LineEndText(LineEnd line_end);
// The end of the data's first line; CR LF where no line ends.
LineEnd FirstLineEnd(std::string_view data);

// How a program's file is written: its encoding and its line ends.
struct FileForm {
  platform::TextEncoding encoding;
  LineEnd line_end = LineEnd::kCrLf;
  friend bool operator==(const FileForm&, const FileForm&) = default;
};
constexpr FileForm kNewSourceForm{kNewSourceEncoding, LineEnd::kCrLf};

// A source file as the editor holds it: the program's lines (never fewer
// than one) and its header, in the program's character set, Windows-1252;
// and the form of the file, in which it is saved again: UTF-8 for a file
// that was valid UTF-8 (plain ASCII too, which reads the same either way),
// Windows-1252 for any other, with the line ends of its first line.
struct SourceText {
  std::vector<std::string> lines;
  SourceHeader header;
  FileForm form;
};

// The text of a file of the encoding as the editor holds it (see
// platform::TextOfFile): without the UTF-8 mark, which the editor never
// shows, and with a character Windows-1252 lacks written as its number
// between two kForeignMark bytes, "\x81U+1F600\x81". Nothing a person types
// or pastes gives that byte, which the page leaves unassigned.
constexpr char kForeignMark = platform::kCharacterMark;
std::string EditorTextOfFile(std::string_view bytes, platform::TextEncoding encoding);
// The bytes of the file again: its mark, and each character so written as
// itself.
std::string FileOfEditorText(std::string_view text, platform::TextEncoding encoding);

// Splits a file's text (EditorTextOfFile) into header and lines. A lone CR, a lone LF and
// CR LF each end a line; any other byte below 14 except tab also ends one.
// Header lines are taken only where they carry their own prefix, so a
// program line is never mistaken for one; they stand at the top in any
// order, each field once. Lines are kept whole whatever their length.
SourceText ParseSource(std::string_view data);

// The file's text: the non-empty header fields, then every line, each
// ending with `line_end`. What ParseSource reads back is the same lines and
// header.
std::string FormatSource(const std::vector<std::string>& lines, const SourceHeader& header,
                         LineEnd line_end = LineEnd::kCrLf);
// The bytes of the file of that form.
std::string FileOfSource(const std::vector<std::string>& lines, const SourceHeader& header, const FileForm& form);

// Reads a source file; nothing (and `error` says why) when it cannot be read.
std::optional<SourceText> LoadSourceFile(const std::string& path, std::string* error = nullptr);

// The header of a source file without its lines; nothing when the name is
// not a source file's or the file cannot be read.
std::optional<SourceHeader> ReadSourceHeader(const std::string& path);

// Writes the lines and header in the form through a temporary name in
// the same folder and renames it into place, so a failed write leaves the
// old file as it was. A file that exists without write permission is not
// replaced. After a failure errno says why.
bool SaveSourceFile(const std::string& path, const std::vector<std::string>& lines, const SourceHeader& header,
                    const FileForm& form, std::string* error = nullptr);

// Why a program's file could not be read or written, by the errno value
// of the failure: a pipe, a device or a folder is named as such.
std::string FileFailureCause(int error_number);

// True when the file exists and may not be written.
bool IsFileReadOnly(const std::string& path);

// By extension, without regard to case.
bool IsSourceFileName(std::string_view name);
// A name without an extension (in the file's own name, not a folder's)
// with the program one, as programs are named on this system: what Load,
// Save and `zentrovex edit` take "game" for. (A folder holding GAME.KQA
// still finds it: names match without regard to case.)
std::string WithProgramExtension(std::string name);
// A file that can be started: a regular file (or a link to one) whose mode
// lets someone execute it.
bool IsExecutableFile(const std::string& path);

}  // namespace zv::editor
