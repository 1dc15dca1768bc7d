#pragma once

namespace zv::platform {

// The characters that end a word of the text form, read and written alike.
inline bool IsTextDelimiter(char c) {
  switch (c) {
    case '{': case '}': case '[': case ']': case '(': case ')':
    case '<': case '>': case ';': case ',': case '"':
      return true;
    default:
      return false;
  }
}

}  // namespace zv::platform
