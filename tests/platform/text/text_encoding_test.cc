// How a text file's encoding is told from its bytes, and its text read in
// Windows-1252 and written back.
#include "platform/text/text_encoding.h"

#include <gtest/gtest.h>

#include <vector>

namespace zv::platform {
namespace {

TEST(TextEncoding, UTF8IsTakenOnlyWhereItIsValidAndNeeded) {
  struct Case {
    const char* what;
    std::string bytes;
    TextEncoding encoding;
  } cases[] = {
      {"plain ASCII", "print 1\r\n", {false, false}},
      {"a two-byte character", "caf\xC3\xA9", {true, false}},
      {"a four-byte character", "\xF0\x9F\x98\x80", {true, false}},
      {"the mark over ASCII", "\xEF\xBB\xBFprint 1", {true, true}},
      {"the mark alone", "\xEF\xBB\xBF", {true, true}},
      {"a Windows-1252 letter", "caf\xE9", {false, false}},
      {"the mark over Windows-1252", "\xEF\xBB\xBF" "caf\xE9", {false, true}},
      {"an overlong slash", "\xC0\xAF", {false, false}},
      {"an overlong three-byte form", "\xE0\x80\xAF", {false, false}},
      {"a surrogate", "\xED\xA0\x80", {false, false}},
      {"past U+10FFFF", "\xF4\x90\x80\x80", {false, false}},
      {"a sequence cut short", "a\xE2\x82", {false, false}},
      {"a continuation byte alone", "a\x80", {false, false}},
  };
  for (const Case& c : cases) EXPECT_EQ(DetectTextEncoding(c.bytes), c.encoding) << c.what;
}

// Where a character Windows-1252 lacks stood in the text read.
struct Foreign {
  size_t at;
  char32_t character;
  friend bool operator==(const Foreign&, const Foreign&) = default;
};

TEST(TextEncoding, TextIsReadInWindows1252AndWrittenBackTheSame) {
  std::vector<Foreign> foreign;
  const auto note = [&foreign](std::string& text, char32_t c) {
    foreign.push_back({text.size(), c});
    text += '?';
  };
  const std::string utf8 = "\xEF\xBB\xBF\xE2\x80\x93 caf\xC3\xA9 \xE2\x82\xAC \xE2\x86\x92 \xF0\x9F\x98\x80";
  EXPECT_EQ(TextOfFile(utf8, DetectTextEncoding(utf8), note), "\x96 caf\xE9 \x80 ? ?");
  EXPECT_EQ(foreign, (std::vector<Foreign>{{9, U'\u2192'}, {11, U'\U0001F600'}}));
  EXPECT_EQ(FileOfText("\x96 caf\xE9 \x80", {true, true}), "\xEF\xBB\xBF\xE2\x80\x93 caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(FileOfText("\x81", {true, false}), "\xEF\xBF\xBD");  // unassigned in the page

  // Windows-1252 is taken byte for byte, behind its mark or not.
  foreign.clear();
  EXPECT_EQ(TextOfFile("\xEF\xBB\xBF" "caf\xE9", {false, true}, note), "caf\xE9");
  EXPECT_EQ(FileOfText("caf\xE9", {false, true}), "\xEF\xBB\xBF" "caf\xE9");
  EXPECT_EQ(FileOfText("\x81\xE9", {false, false}), "\x81\xE9");
  EXPECT_TRUE(foreign.empty());
  EXPECT_EQ(CharacterName(U'\u00E9'), "U+00E9");
  EXPECT_EQ(CharacterName(U'\U0001F600'), "U+1F600");
}

}  // namespace
}  // namespace zv::platform
