#include "editor/help/help_markup.h"

#include <array>

namespace zv {
namespace {

constexpr size_t kMaxAttributeName = 255;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// The page text with the three escapes of the signs a page cannot hold
// literally decoded; any other "&" stays as it is.
std::string DecodeEscapes(std::string_view text) {
  struct Escape {
    std::string_view code;
    char sign;
  };
  static constexpr std::array<Escape, 3> kEscapes{{{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}}};
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    bool decoded = false;
    if (text[i] == '&') {
      for (const Escape& e : kEscapes) {
        if (text.substr(i, e.code.size()) == e.code) {
          out += e.sign;
          i += e.code.size();
          decoded = true;
          break;
        }
      }
    }
    if (!decoded) out += text[i++];
  }
  return out;
}

}  // namespace

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

HelpToken NextHelpToken(std::string_view page, size_t* pos) {
  size_t p = *pos;
  while (p < page.size() && static_cast<unsigned char>(page[p]) < 32) ++p;
  HelpToken token;
  if (p >= page.size()) {
    *pos = page.size();
    return token;
  }
  if (page[p] == '<') {
    size_t close = page.find('>', p + 1);
    size_t end = close == std::string_view::npos ? page.size() : close;
    token.kind = HelpToken::Kind::kTag;
    token.text = std::string(page.substr(p + 1, end - p - 1));
    *pos = close == std::string_view::npos ? page.size() : close + 1;
    return token;
  }
  size_t open = page.find('<', p);
  size_t end = open == std::string_view::npos ? page.size() : open;
  token.kind = HelpToken::Kind::kText;
  token.text = DecodeEscapes(page.substr(p, end - p));
  *pos = end;
  return token;
}

bool ParseHelpAttribute(std::string_view attributes, size_t* pos, HelpAttribute* out) {
  out->name.clear();
  out->value.clear();
  size_t p = std::min(*pos, attributes.size());
  while (p < attributes.size() && IsBlank(attributes[p])) ++p;
  size_t equals = attributes.find('=', p);
  if (equals == std::string_view::npos) {
    *pos = attributes.size();
    return false;
  }
  out->name = std::string(attributes.substr(p, std::min(equals - p, kMaxAttributeName)));
  p = equals + 1;
  if (p < attributes.size() && attributes[p] == '"') {
    size_t close = attributes.find('"', p + 1);
    size_t end = close == std::string_view::npos ? attributes.size() : close;
    out->value = std::string(attributes.substr(p + 1, end - p - 1));
    *pos = close == std::string_view::npos ? attributes.size() : close + 1;
    return true;
  }
  size_t end = p;
  while (end < attributes.size() && !IsBlank(attributes[end])) ++end;
  out->value = std::string(attributes.substr(p, end - p));
  *pos = end;
  return true;
}

int64_t HelpColourByName(std::string_view upper_value) {
  if (upper_value == "WHITE") return 0xFFFFFF;
  if (upper_value == "BLACK") return 0x000000;
  if (upper_value == "YELLOW") return 0x14FAFF;
  return -1;
}

}  // namespace zv
