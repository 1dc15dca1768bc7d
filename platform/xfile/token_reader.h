#pragma once

#include <cstddef>

#include "platform/xfile/token.h"

namespace zv::platform {

// One token of lookahead, shared by the text and the binary lexer. The
// lexer reads the token at pos_ in Lex(), which sets peek_end_ past it, and
// is asked first to SkipToToken() (blanks and comments in the text form);
// the end of the data reads as kEnd.
template <class Lexer>
class XTokenReader {
 public:
  const XToken& Peek() {
    if (!peeked_) {
      peek_ = Read();
      peeked_ = true;
    }
    return peek_;
  }

  XToken Next() {
    Peek();
    peeked_ = false;
    pos_ = peek_end_;
    return peek_;
  }

  uint64_t Offset() const { return pos_; }

 protected:
  XTokenReader(size_t size, size_t start) : size_(size), pos_(start) {}

  // Member values were read past the token looked at: read it again.
  void DropLookahead() { peeked_ = false; }

  size_t size_;
  size_t pos_;
  size_t peek_end_ = 0;

 private:
  XToken Read() {
    auto& lexer = static_cast<Lexer&>(*this);
    lexer.SkipToToken();
    if (pos_ < size_) return lexer.Lex();
    XToken end;
    end.offset = pos_;
    peek_end_ = pos_;
    return end;
  }

  bool peeked_ = false;
  XToken peek_;
};

}  // namespace zv::platform
