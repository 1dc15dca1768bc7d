#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/xfile/token_reader.h"

namespace zv::platform {

// Splits the text form into tokens and reads member values. Blanks, control
// characters, "//" and "#" comments separate tokens; member values may be
// separated by any run of ',' and ';', or by nothing but blanks, as exporters
// write them. Errors are thrown as XFileException with the byte offset.
class XTextLexer : public XTokenReader<XTextLexer> {
 public:
  // `data` is the whole file; lexing starts at `start` (after the header).
  XTextLexer(std::span<const uint8_t> data, size_t start);

  // An upper bound on the values still to come (every value takes a byte).
  uint64_t BytesLeft() const { return size_ - pos_; }
  // Where the value read last starts.
  uint64_t ValueOffset() const { return value_offset_; }

  // Member values. Integers come back as written; the caller checks the range
  // of its type. The old runtime's spellings of NaN ("-1.#IND00", "1.#QNAN0")
  // and any other NaN read as 0; "1.#INF00" reads as infinity.
  int64_t ReadInteger(XPrimitive type);
  double ReadFloat();
  std::string ReadString();
  void EndValues() {}

 private:
  friend class XTokenReader<XTextLexer>;
  void SkipToToken() { SkipBlanks(); }
  void SkipBlanks();
  void SkipBlanksAndSeparators();
  XToken Lex();
  XToken LexWord();
  [[noreturn]] void Fail(uint64_t offset, std::string message) const;
  // "expected WHAT", or that the file ends there.
  std::string Expected(size_t at, const char* what) const;

  const char* data_;
  size_t value_offset_ = 0;
};

}  // namespace zv::platform
