#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/xfile/token_reader.h"

namespace zv::platform {

// Splits the binary form into tokens and reads member values out of its
// integer and float lists. Every length and count is checked against the
// bytes that are left before it is used. Errors are thrown as XFileException
// with the byte offset.
class XBinaryLexer : public XTokenReader<XBinaryLexer> {
 public:
  // `data` is the whole file; lexing starts at `start` (after the header).
  // `float_bits` (32 or 64) is the size of the values in float lists.
  XBinaryLexer(std::span<const uint8_t> data, size_t start, int float_bits);

  // An upper bound on the values still to come.
  uint64_t BytesLeft() const { return (size_ - pos_) + list_left_; }
  // Where the value read last starts.
  uint64_t ValueOffset() const { return value_offset_; }

  // Member values, taken from the current list or the next one. Integers of
  // the signed types are read as signed 32-bit words.
  int64_t ReadInteger(XPrimitive type);
  double ReadFloat();
  std::string ReadString();
  // Fails when the current list still holds values that no member took.
  void EndValues();

 private:
  friend class XTokenReader<XBinaryLexer>;
  void SkipToToken() {}
  XToken Lex();
  // Makes the next value list current (skipping separators), or fails.
  void FetchList();
  uint32_t ReadU32(size_t at) const;
  void Need(size_t at, uint64_t bytes, const char* what) const;
  [[noreturn]] void Fail(uint64_t offset, std::string message) const;

  const uint8_t* data_;
  int float_bytes_;

  // The value list being read.
  bool list_is_float_ = false;
  const uint8_t* list_next_ = nullptr;
  uint32_t list_left_ = 0;
  uint64_t value_offset_ = 0;
};

}  // namespace zv::platform
