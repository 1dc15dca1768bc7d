#include "platform/shell/command_arguments.h"

namespace zv::platform {

std::vector<std::string> SplitCommandArguments(std::string_view line) {
  std::vector<std::string> out;
  std::string current;
  bool in_word = false;
  bool quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (in_word) out.push_back(std::move(current));
      current.clear();
      in_word = false;
    } else {
      current += c;
      in_word = true;
    }
  }
  if (in_word) out.push_back(std::move(current));
  return out;
}

bool LooksLikeAddress(std::string_view file) {
  size_t colon = file.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;
  for (size_t i = 0; i < colon; ++i) {
    const char c = file[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool other = i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.');
    if (!letter && !other) return false;
  }
  return true;
}

}  // namespace zv::platform
