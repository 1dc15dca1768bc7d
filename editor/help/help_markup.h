#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zv {

// One piece of a help page: the text of a tag (between "<" and ">", neither
// kept) or a run of text up to the next tag.
struct HelpToken {
  enum class Kind { kEnd, kTag, kText };
  Kind kind = Kind::kEnd;
  std::string text;
};

// Takes the token at `*pos` and moves `*pos` past it. Bytes below 32 between
// tokens are skipped. A tag without its ">" runs to the end of the page.
// Text runs come back with "&lt;", "&gt;" and "&amp;" turned into the
// characters they stand for, so that pages can show the signs that would
// otherwise open a tag.
HelpToken NextHelpToken(std::string_view page, size_t* pos);

// Upper-cases ASCII letters; tag texts are matched in upper case.
std::string UpperAscii(std::string_view text);

// Reads one attribute "NAME=VALUE" from `*pos` of `attributes` and moves past
// it. White space before the name is skipped; the name runs to "=" (at most
// 255 characters). The value ends at white space, or, when it begins with a
// double quote, at the closing quote, which is dropped with the opening one.
// False (and an empty value) when no "=" follows.
struct HelpAttribute {
  std::string name;
  std::string value;
};
bool ParseHelpAttribute(std::string_view attributes, size_t* pos, HelpAttribute* out);

// The colour a FONT tag's COLOR value names, as 0x00BBGGRR; -1 for a value
// the pages do not know (the colour then stays as it is).
int64_t HelpColourByName(std::string_view upper_value);

}  // namespace zv
