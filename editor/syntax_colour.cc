#include "editor/syntax_colour.h"

#include <algorithm>

namespace zv::editor {

int32_t CommentStyle(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && static_cast<signed char>(line[i]) <= 32) ++i;
  std::string_view rest = line.substr(i);
  if (!rest.empty() && rest[0] == '`') return kCommentStyle;
  if (rest.size() >= 3) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(rest[0]) == 'r' && lower(rest[1]) == 'e' && lower(rest[2]) == 'm') return kCommentStyle;
  }
  return kPlainStyle;
}

void ReverseRightToLeftRuns(std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    if (static_cast<unsigned char>(text[i]) < 191) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < text.size()) {
      const auto c = static_cast<unsigned char>(text[end]);
      if (c >= 33 && c <= 190) break;
      ++end;
    }
    std::reverse(text.begin() + static_cast<std::ptrdiff_t>(i), text.begin() + static_cast<std::ptrdiff_t>(end));
    i = end;
  }
}

}  // namespace zv::editor
