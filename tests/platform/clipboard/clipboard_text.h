#pragma once

#include <cstddef>
#include <string>

namespace zv::test {

// The text the test's other program copies: numbered lines, cut to `bytes`.
inline std::string ClipboardPattern(size_t bytes) {
  std::string text;
  for (int line = 1; text.size() < bytes; ++line) text += "line " + std::to_string(line) + " of the copied text\n";
  text.resize(bytes);
  return text;
}

}  // namespace zv::test
