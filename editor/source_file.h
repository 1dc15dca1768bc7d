#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv::editor {

// Title, author and date of a program, kept in "Rem * ..." lines at the top
// of its source file.
struct SourceHeader {
  std::string title;
  std::string author;
  std::string date;
  friend bool operator==(const SourceHeader&, const SourceHeader&) = default;
};

// A source file as the editor holds it: the program's lines (never fewer
// than one) and its header.
struct SourceText {
  std::vector<std::string> lines;
  SourceHeader header;
};

// Splits a file's bytes into header and lines. A lone CR, a lone LF and
// CR LF each end a line; any other byte below 14 except tab also ends one.
// Header lines are taken only where they carry their own prefix, so a
// program line is never mistaken for one; they stand at the top in any
// order, each field once. Lines are kept whole whatever their length.
SourceText ParseSource(std::string_view data);

// The file's bytes: the non-empty header fields, then every line, each
// ending with CR LF. What ParseSource reads back is the same lines and
// header.
std::string FormatSource(const std::vector<std::string>& lines, const SourceHeader& header);

// Reads a source file; nothing (and `error` says why) when it cannot be read.
std::optional<SourceText> LoadSourceFile(const std::string& path, std::string* error = nullptr);

// The header of a source file without its lines; nothing when the name is
// not a source file's or the file cannot be read.
std::optional<SourceHeader> ReadSourceHeader(const std::string& path);

// Writes the lines and header through a temporary name in the same folder
// and renames it into place, so a failed write leaves the old file as it
// was. A file that exists without write permission is not replaced. After
// a failure errno says why.
bool SaveSourceFile(const std::string& path, const std::vector<std::string>& lines, const SourceHeader& header,
                    std::string* error = nullptr);

// True when the file exists and may not be written.
bool IsFileReadOnly(const std::string& path);

// By extension, without regard to case.
bool IsSourceFileName(std::string_view name);
// A file that can be started: a regular file (or a link to one) whose mode
// lets someone execute it.
bool IsExecutableFile(const std::string& path);

}  // namespace zv::editor
