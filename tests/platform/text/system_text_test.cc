// Program text and the system's bytes, each the other's way back, and the
// marks a name may not hold.
#include "platform/text/system_text.h"

#include <gtest/gtest.h>

namespace zv::platform {
namespace {

TEST(SystemText, EveryNameTheSystemGivesComesBackTheSame) {
  struct Case {
    const char* what;
    std::string system;
    std::optional<std::string> program;  // none: no program text spells it
    std::string shown;                   // the program text as output shows it
  } cases[] = {
      {"ASCII", "save1.dat", "save1.dat", "save1.dat"},
      {"a Latin-1 letter", "caf\xC3\xA9.txt", "caf\xE9.txt", "caf\xC3\xA9.txt"},
      {"a letter of the page's own range", "\xE2\x82\xAC \xC5\x92", "\x80 \x8C", "\xE2\x82\xAC \xC5\x92"},
      {"a character the page lacks", "arrow\xE2\x86\x92.txt", "arrow\x81" "2192\x81.txt", "arrow\xE2\x86\x92.txt"},
      {"one past the basic plane", "\xF0\x9F\x98\x80", "\x81" "1F600\x81", "\xF0\x9F\x98\x80"},
      {"a control the page leaves unassigned", "\xC2\x81\xC2\x9D", "\x81\x9D", "\xC2\x81\xC2\x9D"},
      {"not UTF-8: a Latin-1 name", "caf\xE9.txt", "caf\x81" "E9\x81.txt", "caf\xC3\xA9.txt"},
      {"not UTF-8 beside UTF-8", "\xC3\xA9\xE9\xC3", "\xE9\x81" "E9\x81\x81" "C3\x81", "\xC3\xA9\xC3\xA9\xC3\x83"},
      {"a control the page has a letter for", "\xC2\x80", std::nullopt, ""},
      {"U+0081 before what reads as a mark", "\xC2\x81" "E9\xC2\x81", std::nullopt, ""},
      {"what path syntax reads otherwise: \"\\\" and a leading drive", "C:..\\keep",
       "C\x81" "003A\x81..\x81" "005C\x81keep", "C:..\\keep"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgramNameOf(c.system), c.program) << c.what;
    if (!c.program) continue;
    EXPECT_EQ(SystemNameOf(*c.program), c.system) << c.what;
    EXPECT_EQ(SystemTextOf(*c.program), c.shown) << c.what;
  }
  // A path that is there is always spelled, with marks that reach no other.
  const std::string path = "/a\xC2\x85" "b/x\xC2\x81" "E9\xC2\x81";
  EXPECT_EQ(ProgramPathOf(path), "/a\x81" "0085\x81" "b/x\x81" "0081\x81" "E9\x81" "0081\x81");
  EXPECT_EQ(CheckedSystemNameOf(ProgramPathOf(path), nullptr, MarkReach::kReaches), path);
  EXPECT_EQ(SystemTextOf(ProgramPathOf(path)), "/a\xC2\x81" "0085\xC2\x81" "b/x\xC2\x81" "0081\xC2\x81" "E9\xC2\x81" "0081\xC2\x81");
  // The editor's longer mark names the same character.
  EXPECT_EQ(SystemNameOf("\x81U+2192\x81"), "\xE2\x86\x92");
  // Text in a mark's shape that holds no number is text like any other.
  EXPECT_EQ(SystemNameOf("\x81U+12\x81|\x81U+D800\x81|\x81" "g9\x81|\x81" "A"),
            "\xC2\x81U+12\xC2\x81|\xC2\x81U+D800\xC2\x81|\xC2\x81" "g9\xC2\x81|\xC2\x81" "A");
  // A mark in lower case (a listed name put through lower$()) is the same mark.
  EXPECT_EQ(SystemNameOf("c\x81" "003a\x81" "..\x81" "005c\x81" "caf\x81" "e9\x81\x81u+2192\x81"),
            "c:..\\caf\xE9\xE2\x86\x92");
}

TEST(SystemText, AMarkGivesNothingANameMayNotHoldThroughIt) {
  struct Case {
    std::string program;
    std::string reason;  // a part of what the refusal says
  } cases[] = {
      {"..\x81" "002F\x81" "escaped.txt", "U+002F would give a separator"},
      {"\x81U+002E\x81\x81U+002E\x81", "U+002E would give \".\""},
      {"keep\x81U+0000\x81.txt", "U+0000 would give NUL"},
      {"a\x81" "000A\x81" "b", "U+000A would give a control character"},
      {"a\x81" "0085\x81" "b", "U+0085 would give a control character"},
      {"caf\x81" "00E9\x81", "U+00E9 would give a character the program's text holds itself"},
      {"x\x81" "2F\x81" "y", "the byte 2F would give a separator"},
      {"x\x81" "00\x81" "y", "the byte 00 would give NUL"},
      {"x\x81" "C3\x81\x81" "A9\x81", "the byte C3 would give part of a UTF-8 character"},
      {"x\x81" "C2\x81\x81" "85\x81", "the byte C2 would give part of a UTF-8 character"},
  };
  for (const Case& c : cases) {
    std::string refusal;
    EXPECT_EQ(CheckedSystemNameOf(c.program, &refusal), std::nullopt) << c.reason;
    EXPECT_NE(refusal.find(c.reason), std::string::npos) << refusal;
    try {
      SystemNameOf(c.program);
      ADD_FAILURE() << "not refused: " << c.reason;
    } catch (const RefusedName& refused) {
      EXPECT_EQ(refused.Name(), c.program);
    }
  }
  // Shown, not opened, such a mark is its own characters.
  EXPECT_EQ(SystemTextOf("a\x81" "002F\x81"), "a\xC2\x81" "002F\xC2\x81");
}

}  // namespace
}  // namespace zv::platform
