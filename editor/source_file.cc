#include "editor/source_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "compiler/program_writer.h"
#include "platform/paths/failure_cause.h"
#include "platform/paths/file_read.h"
#include "platform/text/code_page.h"
#include "platform/text/system_text.h"

namespace zv::editor {
namespace {

constexpr std::array<std::string_view, 3> kHeaderPrefixes = {"Rem * Title  : ", "Rem * Author : ",
                                                             "Rem * Date   : "};

// The text of a line ends at the first byte below 14 that is not a tab.
bool EndsLine(unsigned char c) { return c < 14 && c != '\t'; }

// The header field whose prefix begins the line, or -1.
int HeaderFieldOf(std::string_view line) {
  for (size_t i = 0; i < kHeaderPrefixes.size(); ++i)
    if (line.starts_with(kHeaderPrefixes[i])) return static_cast<int>(i);
  return -1;
}

bool HasExtension(std::string_view name, std::string_view extension) {
  if (name.size() < extension.size()) return false;
  std::string_view tail = name.substr(name.size() - extension.size());
  for (size_t i = 0; i < tail.size(); ++i) {
    char c = tail[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != extension[i]) return false;
  }
  return true;
}

std::string ReadFailure(const std::string& path) { return "cannot read " + path + ": " + FileFailureCause(errno); }

// The file's text is read only this far to find its header: the header is
// at most three short lines.
constexpr size_t kHeaderBytes = 4096;

}  // namespace

std::string EditorTextOfFile(std::string_view bytes, platform::TextEncoding encoding) {
  return platform::TextOfFile(bytes, encoding, platform::AppendMarkedCharacter);
}

std::string FileOfEditorText(std::string_view text, platform::TextEncoding encoding) {
  if (!encoding.utf8) return platform::FileOfText(text, encoding);
  std::string bytes = platform::FileOfText({}, encoding);
  bytes.reserve(bytes.size() + text.size());
  for (size_t pos = 0; pos < text.size();) {
    // Plain ASCII reads the same in UTF-8: a run of it is taken whole.
    const auto ascii_end = std::find_if(text.begin() + static_cast<std::ptrdiff_t>(pos), text.end(),
                                        [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (const auto run = static_cast<size_t>(ascii_end - text.begin()) - pos; run > 0) {
      bytes.append(text.substr(pos, run));
      pos += run;
      continue;
    }
    if (const std::optional<char32_t> foreign = platform::ReadMarkedCharacter(text, pos))
      platform::AppendUtf8(bytes, *foreign);
    else
      platform::AppendUtf8(bytes, platform::Cp1252ToUnicode(static_cast<uint8_t>(text[pos++])));
  }
  return bytes;
}

std::string FileFailureCause(int error_number) {
  // What the file readers and writers refuse, in the words of a file.
  if (error_number == EINVAL) return "it is no regular file (a pipe, a device or a socket)";
  if (error_number == EISDIR) return "it is a folder";
  return platform::CauseOf(error_number);
}

std::string_view LineEndText(LineEnd line_end) {
  switch (line_end) {
    case LineEnd::kLf: return "\n";
    case LineEnd::kCr: return "\r";
    default: return "\r\n";
  }
}

LineEnd FirstLineEnd(std::string_view data) {
  const size_t at = data.find_first_of("\r\n");
  if (at == std::string_view::npos) return LineEnd::kCrLf;
  if (data[at] == '\n') return LineEnd::kLf;
  return at + 1 < data.size() && data[at + 1] == '\n' ? LineEnd::kCrLf : LineEnd::kCr;
}

SourceText ParseSource(std::string_view data) {
  SourceText text;
  size_t pos = 0;
  auto next_line = [&]() {
    size_t start = pos;
    while (pos < data.size() && !EndsLine(static_cast<unsigned char>(data[pos]))) ++pos;
    std::string line(data.substr(start, pos - start));
    if (pos < data.size()) {
      // CR LF counts as one line end.
      if (data[pos] == '\r' && pos + 1 < data.size() && data[pos + 1] == '\n') ++pos;
      ++pos;
    }
    return line;
  };

  // The header lines stand at the top in any order, each field at most once;
  // the first line that is not one of them begins the program.
  std::string* fields[] = {&text.header.title, &text.header.author, &text.header.date};
  std::array<bool, kHeaderPrefixes.size()> taken{};
  while (pos < data.size()) {
    const size_t before = pos;
    const std::string line = next_line();
    const int field = HeaderFieldOf(line);
    if (field < 0 || taken[static_cast<size_t>(field)]) {
      pos = before;
      break;
    }
    taken[static_cast<size_t>(field)] = true;
    *fields[field] = line.substr(kHeaderPrefixes[static_cast<size_t>(field)].size());
  }
  while (pos < data.size()) text.lines.push_back(next_line());
  if (text.lines.empty()) text.lines.emplace_back();
  return text;
}

std::string FormatSource(const std::vector<std::string>& lines, const SourceHeader& header, LineEnd line_end) {
  const std::string_view end = LineEndText(line_end);
  size_t size = 0;
  for (const std::string& line : lines) size += line.size() + end.size();
  std::string out;
  out.reserve(size + 64);
  const std::string* fields[] = {&header.title, &header.author, &header.date};
  // A first program line that looks like the line of a field left out would
  // be read back as that field; writing the field, empty, keeps it a program
  // line.
  const int mimicked = lines.empty() ? -1 : HeaderFieldOf(lines.front());
  for (size_t i = 0; i < kHeaderPrefixes.size(); ++i) {
    if (fields[i]->empty() && static_cast<int>(i) != mimicked) continue;
    out.append(kHeaderPrefixes[i]);
    out.append(*fields[i]);
    out.append(end);
  }
  for (const std::string& line : lines) {
    out.append(line);
    out.append(end);
  }
  return out;
}

std::string FileOfSource(const std::vector<std::string>& lines, const SourceHeader& header, const FileForm& form) {
  return FileOfEditorText(FormatSource(lines, header, form.line_end), form.encoding);
}

std::optional<SourceText> LoadSourceFile(const std::string& path, std::string* error) {
  // Only a regular file is read: a pipe or a device would hold the editor
  // up for as long as nothing wrote to it, or for ever.
  std::optional<std::vector<uint8_t>> bytes = platform::ReadWholeFile(path);
  if (!bytes) {
    if (error) *error = ReadFailure(path);
    return std::nullopt;
  }
  const std::string data(bytes->begin(), bytes->end());
  bytes.reset();
  platform::TextEncoding encoding = platform::DetectTextEncoding(data);
  SourceText text = ParseSource(EditorTextOfFile(data, encoding));
  encoding.utf8 = encoding.utf8 || platform::IsValidUtf8(data);
  text.form = {encoding, FirstLineEnd(data)};
  return text;
}

std::optional<SourceHeader> ReadSourceHeader(const std::string& path) {
  if (!IsSourceFileName(path)) return std::nullopt;
  const int fd = platform::OpenRegularFile(path, O_RDONLY);
  if (fd < 0) return std::nullopt;
  std::string data(kHeaderBytes, '\0');
  size_t got = 0;
  for (ssize_t n; got < data.size() && ((n = ::read(fd, data.data() + got, data.size() - got)) > 0 ||
                                        (n < 0 && errno == EINTR));)
    if (n > 0) got += static_cast<size_t>(n);
  ::close(fd);
  data.resize(got);
  // Whole lines only, so that a character cut in two does not make UTF-8
  // look like Windows-1252.
  if (data.size() == kHeaderBytes) data.resize(data.find_last_of("\r\n") + 1);
  return ParseSource(EditorTextOfFile(data, platform::DetectTextEncoding(data))).header;
}

bool IsFileReadOnly(const std::string& path) {
  struct stat st {};
  // A file that cannot be reached is not read-only: its save fails and says why.
  if (::stat(path.c_str(), &st) != 0) return false;
  // A file without any write permission counts as read-only even for a
  // user who could write it anyway.
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0;
}

bool SaveSourceFile(const std::string& path, const std::vector<std::string>& lines, const SourceHeader& header,
                    const FileForm& form, std::string* error) {
  if (IsFileReadOnly(path)) {
    if (error) *error = path + " is read-only";
    errno = EACCES;
    return false;
  }
  struct stat old {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  if (!compiler::WriteFileAtomically(path, FileOfSource(lines, header, form), error))
    return false;
  // The new file keeps the permissions of the one it replaced.
  if (exists) ::chmod(path.c_str(), old.st_mode & 07777);
  return true;
}

bool IsSourceFileName(std::string_view name) { return HasExtension(name, ".kqa"); }

std::string WithProgramExtension(std::string name) {
  const size_t base = name.find_last_of("/\\");
  if (name.find('.', base == std::string::npos ? 0 : base + 1) == std::string::npos) name += ".kqa";
  return name;
}
bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

}  // namespace zv::editor
