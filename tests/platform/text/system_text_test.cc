// Program text and the system's UTF-8, each the other's way back.
#include "platform/text/system_text.h"

#include <gtest/gtest.h>

namespace zv::platform {
namespace {

TEST(SystemText, EveryNameTheSystemGivesComesBackTheSame) {
  struct Case {
    const char* what;
    std::string system;
    std::string program;
    bool back = true;  // the program text goes out as the system gave it
  } cases[] = {
      {"ASCII", "save1.dat", "save1.dat"},
      {"a Latin-1 letter", "caf\xC3\xA9.txt", "caf\xE9.txt"},
      {"a letter of the page's own range", "\xE2\x82\xAC \xC5\x92", "\x80 \x8C"},
      {"a character the page lacks", "arrow\xE2\x86\x92.txt", "arrow\x81U+2192\x81.txt"},
      {"one past the basic plane", "\xF0\x9F\x98\x80", "\x81U+1F600\x81"},
      {"a control the page leaves unassigned", "\xC2\x81\xC2\x9D", "\x81\x9D"},
      {"a control the page has a letter for", "\xC2\x80", "\x81U+0080\x81"},
      {"not UTF-8: an older build's name", "caf\xE9.txt", "caf\xE9.txt", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgramTextOf(c.system), c.program) << c.what;
    if (c.back) {
      EXPECT_EQ(SystemTextOf(c.program), c.system) << c.what;
    }
  }
  // The older name goes out in UTF-8 like any other program text.
  EXPECT_EQ(SystemTextOf("caf\xE9"), "caf\xC3\xA9");
  // A mark that holds no character's number is a byte like any other.
  EXPECT_EQ(SystemTextOf("\x81U+12\x81|\x81U+D800\x81|\x81" "A"), "\xC2\x81U+12\xC2\x81|\xC2\x81U+D800\xC2\x81|\xC2\x81" "A");
}

}  // namespace
}  // namespace zv::platform
