#pragma once

#include <string>

namespace zv::test {

// The text another program copies in the clipboard tests: lines of letters.
inline std::string CopiedText(size_t bytes) {
  std::string text(bytes, '\n');
  for (size_t i = 0; i < bytes; ++i) text[i] = i % 80 == 79 ? '\n' : static_cast<char>('a' + i % 26);
  return text;
}

}  // namespace zv::test
