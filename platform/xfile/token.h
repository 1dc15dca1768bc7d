#pragma once

#include <cstdint>
#include <string_view>

#include "platform/xfile/guid.h"
#include "platform/xfile/template.h"

namespace zv::platform {

// The structural tokens both lexers hand the parser. Member values are not
// tokens: the parser pulls them one at a time through the lexers' value reads.
enum class XTokenKind : uint8_t {
  kEnd,
  kName,
  kString,
  kInteger,
  kNumber,  // text only: a number that is not a plain integer
  kGuid,
  kIntegerList,  // binary only
  kFloatList,    // binary only
  kOpenBrace,
  kCloseBrace,
  kOpenParen,
  kCloseParen,
  kOpenBracket,
  kCloseBracket,
  kOpenAngle,
  kCloseAngle,
  kDot,
  kComma,
  kSemicolon,
  kTemplate,
  kArray,
  kPrimitive,
  kOther,  // text only: a character that starts no token
};

struct XToken {
  XTokenKind kind = XTokenKind::kEnd;
  uint64_t offset = 0;
  std::string_view text;  // names, strings, and the spelling of text tokens
  uint32_t integer = 0;   // kInteger
  XGuid guid;             // kGuid
  XPrimitive primitive = XPrimitive::kNone;  // kPrimitive
};

// Token numbers of the binary form (16-bit, little-endian).
namespace xbin {
inline constexpr uint16_t kName = 1;
inline constexpr uint16_t kString = 2;
inline constexpr uint16_t kInteger = 3;
inline constexpr uint16_t kGuid = 5;
inline constexpr uint16_t kIntegerList = 6;
inline constexpr uint16_t kFloatList = 7;
inline constexpr uint16_t kOpenBrace = 10;
inline constexpr uint16_t kCloseBrace = 11;
inline constexpr uint16_t kOpenParen = 12;
inline constexpr uint16_t kCloseParen = 13;
inline constexpr uint16_t kOpenBracket = 14;
inline constexpr uint16_t kCloseBracket = 15;
inline constexpr uint16_t kOpenAngle = 16;
inline constexpr uint16_t kCloseAngle = 17;
inline constexpr uint16_t kDot = 18;
inline constexpr uint16_t kComma = 19;
inline constexpr uint16_t kSemicolon = 20;
inline constexpr uint16_t kTemplate = 31;
inline constexpr uint16_t kWord = 40;
inline constexpr uint16_t kDword = 41;
inline constexpr uint16_t kFloat = 42;
inline constexpr uint16_t kDouble = 43;
inline constexpr uint16_t kChar = 44;
inline constexpr uint16_t kUchar = 45;
inline constexpr uint16_t kSword = 46;
inline constexpr uint16_t kSdword = 47;
inline constexpr uint16_t kVoid = 48;
inline constexpr uint16_t kLpstr = 49;
inline constexpr uint16_t kUnicode = 50;
inline constexpr uint16_t kCstring = 51;
inline constexpr uint16_t kArray = 52;
}  // namespace xbin

}  // namespace zv::platform
