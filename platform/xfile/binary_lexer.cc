#include "platform/xfile/binary_lexer.h"

#include <cmath>
#include <cstring>

#include "platform/xfile/error.h"

namespace zv::platform {
namespace {

XTokenKind SimpleKind(uint16_t id) {
  switch (id) {
    case xbin::kOpenBrace: return XTokenKind::kOpenBrace;
    case xbin::kCloseBrace: return XTokenKind::kCloseBrace;
    case xbin::kOpenParen: return XTokenKind::kOpenParen;
    case xbin::kCloseParen: return XTokenKind::kCloseParen;
    case xbin::kOpenBracket: return XTokenKind::kOpenBracket;
    case xbin::kCloseBracket: return XTokenKind::kCloseBracket;
    case xbin::kOpenAngle: return XTokenKind::kOpenAngle;
    case xbin::kCloseAngle: return XTokenKind::kCloseAngle;
    case xbin::kDot: return XTokenKind::kDot;
    case xbin::kComma: return XTokenKind::kComma;
    case xbin::kSemicolon: return XTokenKind::kSemicolon;
    case xbin::kTemplate: return XTokenKind::kTemplate;
    case xbin::kArray: return XTokenKind::kArray;
    default: return XTokenKind::kEnd;  // not a simple token
  }
}

XPrimitive TypeTokenPrimitive(uint16_t id) {
  switch (id) {
    case xbin::kWord: return XPrimitive::kWord;
    case xbin::kDword: return XPrimitive::kDword;
    case xbin::kFloat: return XPrimitive::kFloat;
    case xbin::kDouble: return XPrimitive::kDouble;
    case xbin::kChar: return XPrimitive::kChar;
    case xbin::kUchar: return XPrimitive::kUchar;
    case xbin::kSword: return XPrimitive::kSword;
    case xbin::kSdword: return XPrimitive::kSdword;
    case xbin::kLpstr: return XPrimitive::kString;
    case xbin::kUnicode: return XPrimitive::kUnicode;
    case xbin::kCstring: return XPrimitive::kCString;
    default: return XPrimitive::kNone;
  }
}

bool IsSignedPrimitive(XPrimitive p) {
  return p == XPrimitive::kChar || p == XPrimitive::kSword || p == XPrimitive::kSdword;
}

}  // namespace

XBinaryLexer::XBinaryLexer(std::span<const uint8_t> data, size_t start, int float_bits)
    : XTokenReader(data.size(), start), data_(data.data()), float_bytes_(float_bits / 8) {}

void XBinaryLexer::Fail(uint64_t offset, std::string message) const {
  ThrowXError(offset, std::move(message));
}

uint32_t XBinaryLexer::ReadU32(size_t at) const {
  const uint8_t* p = data_ + at;
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void XBinaryLexer::Need(size_t at, uint64_t bytes, const char* what) const {
  if (at > size_ || bytes > size_ - at)
    Fail(at, std::string(what) + " runs past the end of the file");
}

XToken XBinaryLexer::Lex() {
  XToken token;
  token.offset = pos_;
  Need(pos_, 2, "token");
  const uint16_t id = static_cast<uint16_t>(data_[pos_] | data_[pos_ + 1] << 8);
  size_t at = pos_ + 2;
  switch (id) {
    case xbin::kName:
    case xbin::kString: {
      Need(at, 4, "name length");
      uint32_t length = ReadU32(at);
      at += 4;
      Need(at, length, id == xbin::kName ? "name" : "string");
      token.kind = id == xbin::kName ? XTokenKind::kName : XTokenKind::kString;
      token.text = std::string_view(reinterpret_cast<const char*>(data_ + at), length);
      at += length;
      break;
    }
    case xbin::kInteger:
      Need(at, 4, "integer");
      token.kind = XTokenKind::kInteger;
      token.integer = ReadU32(at);
      token.text = std::string_view(reinterpret_cast<const char*>(data_ + at), 4);
      at += 4;
      break;
    case xbin::kGuid:
      Need(at, 16, "GUID");
      token.kind = XTokenKind::kGuid;
      token.guid = XGuid::FromBytes(data_ + at);
      at += 16;
      break;
    case xbin::kIntegerList:
    case xbin::kFloatList: {
      Need(at, 4, "list count");
      uint32_t count = ReadU32(at);
      at += 4;
      uint64_t item = id == xbin::kIntegerList ? 4 : static_cast<uint64_t>(float_bytes_);
      Need(at, count * item, "value list");
      token.kind = id == xbin::kIntegerList ? XTokenKind::kIntegerList : XTokenKind::kFloatList;
      token.integer = count;
      token.text = std::string_view(reinterpret_cast<const char*>(data_ + at), count * item);
      at += count * item;
      break;
    }
    default: {
      XTokenKind kind = SimpleKind(id);
      if (kind != XTokenKind::kEnd) {
        token.kind = kind;
      } else if (XPrimitive p = TypeTokenPrimitive(id); p != XPrimitive::kNone) {
        token.kind = XTokenKind::kPrimitive;
        token.primitive = p;
      } else {
        Fail(pos_, "unknown binary token " + std::to_string(id));
      }
    }
  }
  peek_end_ = at;
  return token;
}

void XBinaryLexer::FetchList() {
  while (list_left_ == 0) {
    XToken token = Next();
    switch (token.kind) {
      case XTokenKind::kComma:
      case XTokenKind::kSemicolon:
        continue;
      case XTokenKind::kIntegerList:
      case XTokenKind::kFloatList:
      case XTokenKind::kInteger:
        list_is_float_ = token.kind == XTokenKind::kFloatList;
        list_next_ = reinterpret_cast<const uint8_t*>(token.text.data());
        list_left_ = token.kind == XTokenKind::kInteger ? 1 : token.integer;
        continue;
      default:
        Fail(token.offset, "expected a value");
    }
  }
}

int64_t XBinaryLexer::ReadInteger(XPrimitive type) {
  if (list_left_ == 0) FetchList();
  if (list_is_float_) {
    // Some writers put whole numbers in float lists.
    double value = ReadFloat();
    if (!(value >= -2147483648.0 && value <= 4294967295.0) || value != std::floor(value))
      Fail(value_offset_, "expected an integer, found a fraction");
    return static_cast<int64_t>(value);
  }
  --list_left_;
  value_offset_ = list_next_ - data_;
  uint32_t raw;
  std::memcpy(&raw, list_next_, 4);
  list_next_ += 4;
  if (IsSignedPrimitive(type)) return static_cast<int32_t>(raw);
  return raw;
}

double XBinaryLexer::ReadFloat() {
  if (list_left_ == 0) FetchList();
  --list_left_;
  value_offset_ = list_next_ - data_;
  double value;
  if (!list_is_float_) {
    uint32_t raw;
    std::memcpy(&raw, list_next_, 4);
    list_next_ += 4;
    return raw;
  }
  if (float_bytes_ == 4) {
    float f;
    std::memcpy(&f, list_next_, 4);
    value = f;
  } else {
    std::memcpy(&value, list_next_, 8);
  }
  list_next_ += float_bytes_;
  return std::isnan(value) ? 0.0 : value;
}

std::string XBinaryLexer::ReadString() {
  if (list_left_ != 0) Fail(list_next_ - data_, "expected a string, found a number");
  while (true) {
    XToken token = Next();
    if (token.kind == XTokenKind::kComma || token.kind == XTokenKind::kSemicolon) continue;
    value_offset_ = token.offset;
    if (token.kind != XTokenKind::kString) Fail(token.offset, "expected a string");
    return std::string(token.text);
  }
}

void XBinaryLexer::EndValues() {
  if (list_left_ != 0)
    Fail(list_next_ - data_, std::to_string(list_left_) +
                                 " more values in the list than the template holds");
}

}  // namespace zv::platform
