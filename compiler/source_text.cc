#include "compiler/source_text.h"

#include "platform/text/system_text.h"
#include "platform/text/text_encoding.h"

namespace zv::compiler {

std::vector<std::string> SplitSourceLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::vector<FileLine> ReadSourceLines(std::string_view bytes) {
  platform::TextEncoding encoding = platform::DetectTextEncoding(bytes);
  std::vector<FileLine> lines;
  // Each line is split and converted on its own: the line ends are the same
  // bytes in both encodings, and a converted character takes one byte, so
  // its column is its place in the converted line.
  const std::string text = platform::TextOfFile(bytes, {false, encoding.mark}, {});
  encoding.mark = false;
  for (std::string& original : SplitSourceLines(text)) {
    FileLine line;
    line.text = platform::TextOfFile(original, encoding, [&line](std::string& out, char32_t c) {
      line.foreign.push_back({static_cast<int>(out.size()) + 1, c});
      out += kForeignByte;
    });
    line.original = encoding.utf8 ? platform::TextOfFile(original, encoding, platform::AppendMarkedCharacter)
                                  : std::move(original);
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string NormalizeLine(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  bool quoted = false;
  for (char c : line) {
    if (c == '"') quoted = !quoted;
    if (!quoted) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
      if (static_cast<unsigned char>(c) < 32) c = ' ';
    }
    out += c;
  }
  size_t first = out.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : out.substr(first);
}

size_t CommentStart(std::string_view text) {
  bool quoted = false, statement_start = true;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (statement_start && c != ' ') {
      statement_start = false;
      const bool rem =
          text.compare(i, 3, "rem") == 0 && (i + 3 == text.size() || text[i + 3] == ' ' || text[i + 3] == ':');
      if (c == '`' || rem) return i;
    }
    if (c == '"') quoted = !quoted;
    if (!quoted && c == ':') statement_start = true;
  }
  return std::string_view::npos;
}

std::string Trim(std::string_view text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> SplitTopLevel(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  if (Trim(text).empty()) return pieces;
  size_t start = 0;
  FindAtTopLevel(text, [&](size_t i, char c, int depth) {
    if (c == separator && depth == 0) {
      pieces.push_back(Trim(text.substr(start, i - start)));
      start = i + 1;
    }
    return false;
  });
  pieces.push_back(Trim(text.substr(start)));
  return pieces;
}

}  // namespace zv::compiler
