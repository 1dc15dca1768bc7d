#include "platform/xfile/text_lexer.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/paths/path_resolver.h"
#include "platform/xfile/error.h"
#include "platform/xfile/text_delimiters.h"

namespace zv::platform {
namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool IsWordChar(char c) { return !IsBlank(c) && !IsTextDelimiter(c); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsAlnum(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Parses all of `word` as an unsigned 32-bit integer.
bool ParseWholeU32(std::string_view word, uint32_t& value) {
  if (word.empty()) return false;
  auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  return ec == std::errc() && end == word.data() + word.size();
}

bool ParseWholeDouble(std::string_view word) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  double value;
  auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  return ec == std::errc() && end == word.data() + word.size();
}

XTokenKind PunctuationKind(char c) {
  switch (c) {
    case '{': return XTokenKind::kOpenBrace;
    case '}': return XTokenKind::kCloseBrace;
    case '[': return XTokenKind::kOpenBracket;
    case ']': return XTokenKind::kCloseBracket;
    case '(': return XTokenKind::kOpenParen;
    case ')': return XTokenKind::kCloseParen;
    case '>': return XTokenKind::kCloseAngle;
    case ';': return XTokenKind::kSemicolon;
    case ',': return XTokenKind::kComma;
    default: return XTokenKind::kOther;
  }
}

}  // namespace

XTextLexer::XTextLexer(std::span<const uint8_t> data, size_t start)
    : XTokenReader(data.size(), start), data_(reinterpret_cast<const char*>(data.data())) {}

std::string XTextLexer::Expected(size_t at, const char* what) const {
  // A file cut short is the commonest reason: say so.
  if (at >= size_) return std::string("the file ends where ") + what + " should be";
  return std::string("expected ") + what;
}

void XTextLexer::Fail(uint64_t offset, std::string message) const {
  ThrowXError(offset, std::move(message));
}

void XTextLexer::SkipBlanks() {
  while (pos_ < size_) {
    char c = data_[pos_];
    if (IsBlank(c)) {
      ++pos_;
    } else if (c == '#' || (c == '/' && pos_ + 1 < size_ && data_[pos_ + 1] == '/')) {
      while (pos_ < size_ && data_[pos_] != '\n') ++pos_;
    } else {
      break;
    }
  }
}

void XTextLexer::SkipBlanksAndSeparators() {
  while (true) {
    SkipBlanks();
    if (pos_ < size_ && (data_[pos_] == ',' || data_[pos_] == ';'))
      ++pos_;
    else
      return;
  }
}

XToken XTextLexer::Lex() {
  XToken token;
  token.offset = pos_;
  char c = data_[pos_];
  if (c == '<') {
    size_t close = pos_ + 1;
    while (close < size_ && close - pos_ < 64 && data_[close] != '>') ++close;
    if (close >= size_ || data_[close] != '>') Fail(pos_, "GUID is not closed with '>'");
    auto guid = XGuid::Parse(std::string_view(data_ + pos_ + 1, close - pos_ - 1));
    if (!guid) Fail(pos_, "malformed GUID");
    token.kind = XTokenKind::kGuid;
    token.guid = *guid;
    token.text = std::string_view(data_ + pos_, close + 1 - pos_);
    peek_end_ = close + 1;
    return token;
  }
  if (c == '"') {
    size_t close = pos_ + 1;
    while (close < size_ && data_[close] != '"') ++close;
    if (close >= size_) Fail(pos_, "string is not closed");
    token.kind = XTokenKind::kString;
    token.text = std::string_view(data_ + pos_ + 1, close - pos_ - 1);
    peek_end_ = close + 1;
    return token;
  }
  if (IsTextDelimiter(c)) {
    token.kind = PunctuationKind(c);
    token.text = std::string_view(data_ + pos_, 1);
    peek_end_ = pos_ + 1;
    return token;
  }
  return LexWord();
}

XToken XTextLexer::LexWord() {
  XToken token;
  token.offset = pos_;
  size_t end = pos_;
  while (end < size_ && IsWordChar(data_[end])) ++end;
  std::string_view word(data_ + pos_, end - pos_);
  token.text = word;
  peek_end_ = end;
  char first = word.front();
  if (IsDigit(first) || first == '-' || first == '+' || first == '.') {
    if (ParseWholeU32(word, token.integer)) {
      token.kind = XTokenKind::kInteger;
      return token;
    }
    if (ParseWholeDouble(word)) {
      token.kind = XTokenKind::kNumber;
      return token;
    }
  }
  if (EqualNoCase(word, "template")) {
    token.kind = XTokenKind::kTemplate;
  } else if (EqualNoCase(word, "array")) {
    token.kind = XTokenKind::kArray;
  } else {
    XPrimitive p = PrimitiveFromKeyword(word);
    token.kind = p == XPrimitive::kNone ? XTokenKind::kName : XTokenKind::kPrimitive;
    token.primitive = p;
  }
  return token;
}

int64_t XTextLexer::ReadInteger(XPrimitive) {
  DropLookahead();
  SkipBlanksAndSeparators();
  const size_t start = value_offset_ = pos_;
  size_t p = pos_;
  if (p < size_ && (data_[p] == '-' || data_[p] == '+')) ++p;
  const size_t digits = p;
  while (p < size_ && IsDigit(data_[p])) ++p;
  if (p == digits) Fail(start, Expected(start, "an integer"));
  if (p < size_ && (data_[p] == '.' || data_[p] == 'e' || data_[p] == 'E')) {
    // Some exporters write whole numbers in float notation.
    double value = ReadFloat();
    if (!(value >= -2147483648.0 && value <= 4294967295.0) || value != std::floor(value))
      Fail(start, "expected an integer");
    return static_cast<int64_t>(value);
  }
  if (p - digits > 12) Fail(start, "integer out of range");
  int64_t value = 0;
  for (size_t i = digits; i < p; ++i) value = value * 10 + (data_[i] - '0');
  pos_ = p;
  return data_[start] == '-' ? -value : value;
}

double XTextLexer::ReadFloat() {
  DropLookahead();
  SkipBlanksAndSeparators();
  const size_t start = value_offset_ = pos_;
  size_t p = pos_;
  if (p < size_ && data_[p] == '+') ++p;
  double value = 0;
  auto [end, ec] = std::from_chars(data_ + p, data_ + size_, value);
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone on overflow and underflow; strtod
    // gives the nearest representable value (infinity or zero).
    value = std::strtod(std::string(data_ + p, end).c_str(), nullptr);
  } else if (ec != std::errc()) {
    Fail(start, Expected(start, "a number"));
  }
  p = end - data_;
  if (p < size_ && data_[p] == '#') {
    // The old runtime wrote NaN and infinity as "1.#IND00", "1.#QNAN0", "1.#INF00".
    size_t word = ++p;
    while (p < size_ && IsAlnum(data_[p])) ++p;
    std::string_view spelled(data_ + word, p - word);
    bool infinity = spelled.size() >= 3 && EqualNoCase(spelled.substr(0, 3), "INF");
    value = infinity ? std::copysign(std::numeric_limits<double>::infinity(), value) : 0.0;
  }
  if (std::isnan(value)) value = 0.0;
  pos_ = p;
  return value;
}

std::string XTextLexer::ReadString() {
  DropLookahead();
  SkipBlanksAndSeparators();
  value_offset_ = pos_;
  if (pos_ >= size_ || data_[pos_] != '"') Fail(pos_, Expected(pos_, "a string"));
  size_t close = pos_ + 1;
  while (close < size_ && data_[close] != '"') ++close;
  if (close >= size_) Fail(pos_, "string is not closed");
  std::string value(data_ + pos_ + 1, close - pos_ - 1);
  pos_ = close + 1;
  return value;
}

}  // namespace zv::platform
