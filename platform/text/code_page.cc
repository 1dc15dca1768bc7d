#include "platform/text/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <string>

#include "platform/text/character_sets.h"

namespace zv::platform {
namespace {

// 0x80 to 0x9F: the only range where the page differs from Latin-1.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

constexpr char32_t kUnassigned = 0xFFFD;
constexpr char32_t kBrokenPair = U'?';
constexpr int32_t kMacRomanCodePage = 10000;

}  // namespace

// The C library's converter from one code page to UTF-32, closed with it.
class CodePageConverter {
 public:
  explicit CodePageConverter(int32_t code_page) {
    const std::string name = code_page == kMacRomanCodePage ? "MACINTOSH" : "CP" + std::to_string(code_page);
    cd_ = iconv_open("UTF-32LE", name.c_str());
  }
  ~CodePageConverter() {
    if (Ready()) iconv_close(cd_);
  }
  CodePageConverter(const CodePageConverter&) = delete;
  CodePageConverter& operator=(const CodePageConverter&) = delete;

  bool Ready() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  enum class Reading { kCharacter, kIncomplete, kInvalid };

  // What `size` bytes read as when they stand alone: one character, the
  // start of one, or nothing the page assigns.
  Reading ConvertOne(const char* bytes, size_t size, char32_t& character) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char units[8];
    char* in = const_cast<char*>(bytes);
    char* out = units;
    size_t in_left = size, out_left = sizeof units;
    if (iconv(cd_, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1)) {
      if (errno == EINVAL) return Reading::kIncomplete;
      return Reading::kInvalid;
    }
    // Pages that combine accents hold a letter back until they see what follows.
    if (iconv(cd_, nullptr, nullptr, &out, &out_left) == static_cast<size_t>(-1)) return Reading::kInvalid;
    if (out - units != 4) return Reading::kInvalid;
    const auto* u = reinterpret_cast<const unsigned char*>(units);
    character = char32_t{u[0]} | char32_t{u[1]} << 8 | char32_t{u[2]} << 16 | char32_t{u[3]} << 24;
    return Reading::kCharacter;
  }

 private:
  iconv_t cd_;
};

char32_t Cp1252ToUnicode(uint8_t byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
  return byte;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char byte : text) {
    const char32_t c = Cp1252ToUnicode(static_cast<uint8_t>(byte));
    AppendUtf8(out, c == kUnassigned ? U'?' : c);
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) out += UnicodeToCp1252(NextUtf8(text, pos)).value_or('?');
  return out;
}

std::string TypedCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();)
    if (const std::optional<char> c = UnicodeToCp1252(NextUtf8(utf8, pos))) out += *c;
  return out;
}

char32_t NextUtf8(std::string_view text, size_t& pos) {
  const auto lead = static_cast<uint8_t>(text[pos++]);
  if (lead < 0x80) return lead;
  const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (extra < 0 || lead > 0xF4 || pos + static_cast<size_t>(extra) > text.size()) return kUnassigned;
  char32_t c = lead & (0x3F >> extra);
  for (int i = 0; i < extra; ++i) {
    const auto next = static_cast<uint8_t>(text[pos + static_cast<size_t>(i)]);
    if ((next & 0xC0) != 0x80) return kUnassigned;
    c = (c << 6) | (next & 0x3F);
  }
  pos += static_cast<size_t>(extra);
  return c;
}

std::optional<char> UnicodeToCp1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i)
    if (kHighControls[i] == c && c != kUnassigned) return static_cast<char>(0x80 + i);
  return std::nullopt;
}

CodePage::CodePage(int32_t number) {
  if (number != kWesternCodePage) {
    CodePageConverter converter(number);
    if (converter.Ready()) {
      ReadThrough(converter);
      return;
    }
  }
  ReadAsWestern();
}

void CodePage::ReadThrough(CodePageConverter& converter) {
  bool double_byte = false;
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    char32_t c = 0;
    switch (converter.ConvertOne(&byte, 1, c)) {
      case CodePageConverter::Reading::kCharacter: single_[b] = c; break;
      case CodePageConverter::Reading::kIncomplete:
        single_[b] = kBrokenPair;
        lead_[b] = double_byte = true;
        break;
      case CodePageConverter::Reading::kInvalid: single_[b] = kUnassigned; break;
    }
  }
  if (!double_byte) return;
  pairs_.assign(256 * 256, 0);
  for (int lead = 0; lead < 256; ++lead) {
    if (!lead_[lead]) continue;
    for (int trail = 0; trail < 256; ++trail) {
      const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      char32_t c = 0;
      if (converter.ConvertOne(pair, 2, c) == CodePageConverter::Reading::kCharacter) pairs_[lead * 256 + trail] = c;
    }
  }
}

void CodePage::ReadAsWestern() {
  for (int b = 0; b < 256; ++b) single_[b] = Cp1252ToUnicode(static_cast<uint8_t>(b));
}

DecodedCharacter CodePage::Decode(std::string_view text, size_t pos) const {
  const auto lead = static_cast<uint8_t>(text[pos]);
  if (!lead_[lead]) return DecodedCharacter{single_[lead], 1};
  if (pos + 1 < text.size()) {
    const char32_t c = pairs_[lead * 256 + static_cast<uint8_t>(text[pos + 1])];
    if (c != 0) return DecodedCharacter{c, 2};
  }
  return DecodedCharacter{kBrokenPair, 1};
}

}  // namespace zv::platform
