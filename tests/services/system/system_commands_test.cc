// The clipboard, registry and system commands, run as compiled BASIC.
#include "tests/services/files/services_program.h"

namespace zv::test {
namespace {

class SystemCommands : public ServicesProgramTest {};

TEST_F(SystemCommands, TextGoesToTheClipboardAndBack) {
  ASSERT_TRUE(Run("print \"[\"; clipboard text$(); \"]\"\n"));
  EXPECT_EQ(printed, "[]\n");
  ASSERT_TRUE(Run("write clipboard text \"copied\"\nprint clipboard text$()\n"));
  EXPECT_EQ(printed, "copied\n");
  EXPECT_EQ(host.clipboard, "copied");
  // A pasted text longer than 255 characters is whole, and joins further.
  host.clipboard = std::string(1000, 'p');
  ASSERT_TRUE(Run("c$ = clipboard text$() + \"!\"\nprint len(c$); right$(c$, 2)\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "1001p!\n");

  host.clipboard_available = false;
  ASSERT_TRUE(Run("write clipboard text \"lost\"\nprint \"[\"; clipboard text$(); \"]\"\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "[]\n");
}

TEST_F(SystemCommands, RegistryValuesPersistBetweenRuns) {
  ASSERT_TRUE(Run(
      "write registry dword \"Software\\My Game\", \"High Score\", 1200\n"
      "write registry dword \"Software\\My Game\", \"Level\", -3\n"
      "write registry dword \"Software\\My Game\", \"Level\", 4\n"));
  EXPECT_EQ(Code(), 0);
  ASSERT_TRUE(Run(
      "print registry dword(\"software\\my game\", \"HIGH SCORE\")\n"
      "print registry dword(\"Software\\My Game\", \"Level\")\n"
      "print registry dword(\"Software\\My Game\", \"Nothing\")\n"
      "print registry dword(\"Software\\Nobody\", \"Level\")\n"));
  EXPECT_EQ(printed, "1200\n4\n0\n0\n");
}

TEST_F(SystemCommands, RegistryNamesLongerThan254CharactersArePassedOver) {
  ASSERT_TRUE(Run(
      "for i = 1 to 255 : long$ = long$ + \"k\" : next i\n"
      "longest$ = left$(long$, 254)\n"
      "write registry dword long$, \"v\", 7\n"
      "write registry dword longest$, \"v\", 8\n"
      "write registry dword \"k\", long$, 9\n"
      "r = 99\n"
      "r = registry dword(long$, \"v\")\n"
      "s = 98\n"
      "s = registry dword(\"k\", long$)\n"
      "print r; \" \"; s; \" \"; registry dword(longest$, \"v\")\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "99 98 8\n");
}

TEST_F(SystemCommands, ReportTheExecutableAndTheSystemFolder) {
  ASSERT_TRUE(Run("print app file name$()\nprint windows directory$()\n"));
  EXPECT_EQ(printed, "/opt/game/game\n" + (Folder() / ".system").string() + "\n");
}

// With the system keys off the window holds the keyboard, so the desktop's
// task-switch keys reach the program; on again (or at the next run) it lets go.
TEST_F(SystemCommands, SwitchKeysAndRestoreThemAtTheNextRun) {
  ASSERT_TRUE(Run("disable escape key\ndisable system keys\n"));
  EXPECT_FALSE(vm.escape_quits);
  EXPECT_FALSE(system.SystemKeysEnabled());
  EXPECT_TRUE(window.KeyboardGrabbed());
  ASSERT_TRUE(Run("enable escape key\n"));
  EXPECT_TRUE(vm.escape_quits);
  EXPECT_TRUE(system.SystemKeysEnabled());
  EXPECT_FALSE(window.KeyboardGrabbed());
  ASSERT_TRUE(Run("disable system keys\nenable system keys\n"));
  EXPECT_TRUE(system.SystemKeysEnabled());
  EXPECT_FALSE(window.KeyboardGrabbed());
}

TEST_F(SystemCommands, TheLastExitPromptIsKept) {
  ASSERT_TRUE(Run("set exit prompt \"First\", \"one\"\nset exit prompt \"Bye\", \"Thanks for playing\"\n"));
  EXPECT_TRUE(state.exit_prompt_on);
  EXPECT_EQ(state.exit_prompt_title, "Bye");
  EXPECT_EQ(state.exit_prompt_text, "Thanks for playing");
}

TEST_F(SystemCommands, QuotationsPrintOneLineOfTheirOwnSet) {
  std::set<std::string> first, third;
  for (int i = 0; i < 30; ++i) {
    ASSERT_TRUE(Run("print quotation 1\nprint quotation 3\n"));
    const size_t end = printed.find('\n');
    ASSERT_NE(end, std::string::npos);
    first.insert(printed.substr(0, end));
    third.insert(printed.substr(end + 1));
  }
  EXPECT_EQ(first.size(), 3u);
  EXPECT_EQ(third.size(), 3u);
  for (const std::string& line : first) EXPECT_EQ(third.count(line + "\n"), 0u) << line;
}

TEST_F(SystemCommands, InternalFlagsAreSetAndClearedEachRun) {
  ASSERT_TRUE(Run("set internal flag a on\nset internal flag c on\nset internal flag c off\nset internal flag b on\n"));
  EXPECT_EQ(system.InternalFlags(), (std::array<bool, 3>{true, true, false}));
  ASSERT_TRUE(Run("set internal flag a off\n"));
  EXPECT_EQ(system.InternalFlags(), (std::array<bool, 3>{false, false, false}));
}

}  // namespace
}  // namespace zv::test
