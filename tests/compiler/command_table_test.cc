// The command table: the row format, the rows the compiler relies on, and
// that the rows and the virtual machine's handlers agree.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "compiler/command_table.h"
#include "runtime/vm/opcodes/core_handlers.h"
#ifdef ZV_HAVE_CONSOLE_HANDLERS
#include "runtime/console/console_commands.h"
#endif
#ifdef ZV_HAVE_DISPLAY_HANDLERS
#include "display/display_commands.h"
#endif

namespace zv {
namespace {

TEST(CommandTableFormat, ReadsRowsLikeTheTableText) {
  CommandTable t = CommandTable::Parse(
      "; a comment line\r\n"
      "\r\n"
      "Load Image%1 0 5 % L s\tF\r\n"
      "LEN[%234%ls\n"
      "len%9%0\n"
      "dup[%1%ll\n"
      "dup[%2%ff\n"
      "@[%661%lll\n"
      "no separators here\n");
  ASSERT_EQ(t.Commands().size(), 2u);
  EXPECT_EQ(t.Commands()[0].name, "load image");
  EXPECT_EQ(t.Commands()[0].code, 105);
  EXPECT_EQ(t.Commands()[0].signature, "lsf");
  EXPECT_EQ(t.Commands()[1].name, "len");
  ASSERT_EQ(t.Functions().size(), 4u);
  EXPECT_EQ(t.Functions()[0].name, "len");
  EXPECT_EQ(t.FindFunction("dup"), 1);
  EXPECT_EQ(t.Functions()[2].code, 2);
  EXPECT_EQ(t.FirstArrayFunction(), 3);
  ASSERT_EQ(t.Problems().size(), 1u);  // the row without "%"
}

TEST(CommandTableFormat, RowsBeyondTheLimitsAreReported) {
  std::string text = std::string(256, 'x') + "%1%0\n" + "a%1%" + std::string(33, 'l') + "\n";
  for (size_t i = 0; i < CommandTable::kMaxCommands + 1; ++i) text += "c" + std::to_string(i) + "%1%0\n";
  CommandTable t = CommandTable::Parse(text);
  EXPECT_EQ(t.Commands().size(), CommandTable::kMaxCommands);
  EXPECT_EQ(t.Problems().size(), 3u);
}

TEST(CommandTableFormat, FindsRowsByCodeForTheErrorReport) {
  const CommandTable& t = CommandTable::Builtin();
  EXPECT_FALSE(t.FindByCode(0));
  EXPECT_FALSE(t.FindByCode(9998));
  auto print = t.FindByCode(301);
  ASSERT_TRUE(print);
  EXPECT_EQ(print->second, "print");
  EXPECT_EQ(t.ParamChar(print->first, 0), 'l');
  EXPECT_EQ(t.ParamChar(print->first, 1), 0);
  auto len = t.FindByCode(234);  // a function: its result is operand 1
  ASSERT_TRUE(len);
  EXPECT_EQ(len->second, "len");
  EXPECT_EQ(t.ParamChar(len->first, 0), 'l');
  EXPECT_EQ(t.ParamChar(len->first, 1), 's');
  EXPECT_EQ(BuiltinCommandCatalog().FindByCode(151)->second, "=");
}

TEST(BuiltinCommandTable, HasNoProblemsAndKeepsEachNameTogether) {
  const CommandTable& t = CommandTable::Builtin();
  EXPECT_TRUE(t.Problems().empty()) << t.Problems().front();
  for (const auto* rows : {&t.Commands(), &t.Functions()}) {
    std::set<std::string> finished;
    for (size_t i = 0; i < rows->size(); ++i) {
      const std::string& name = (*rows)[i].name;
      EXPECT_FALSE(finished.count(name)) << "rows of \"" << name << "\" are not together";
      if (i + 1 < rows->size() && (*rows)[i + 1].name != name) finished.insert(name);
    }
  }
}

TEST(BuiltinCommandTable, HoldsTheRowsTheCompilerUsesByName) {
  const CommandTable& t = CommandTable::Builtin();
  for (const char* name : {"if", "else", "endif", "while", "endwhile", "repeat", "until", "do", "loop", "for",
                           "next", "exit", "=", "@=", "print", "printc", "input", "read", "data", "dim",
                           "undim", "restore", "end", "remstart", "remend", "endfunction", "exitfunction",
                           "#include", "goto", "gosub", "return"})
    EXPECT_GE(t.FindCommand(name), 0) << name;
  for (const char* name : {"@", "^", "/", "*", "+", "-", ">=", "<=", ">", "<", "==", "!", "&", "|"})
    EXPECT_GE(t.FindFunction(name), 0) << name;
  // The block keywords need codes of their own, or one would act as another.
  std::set<int32_t> codes;
  for (const char* name : {"if", "else", "endif", "while", "endwhile", "repeat", "until", "do", "loop", "for",
                           "next", "exit"})
    EXPECT_TRUE(codes.insert(t.Commands()[static_cast<size_t>(t.FindCommand(name))].code).second) << name;
}

// Rows that compile to no code name no handled opcode.
bool CompilesToNothing(const CommandEntry& row) {
  return (!row.signature.empty() && row.signature[0] == 'e') || row.name == "endif" || row.name == "do" ||
         row.name == "repeat";
}

// The families whose handlers this test registers, by opcode range. Rows of
// other families are checked once their registration joins this list.
struct Family {
  int32_t first, last;
};
bool InFamilies(const std::vector<Family>& families, int32_t code) {
  for (const Family& f : families)
    if (code >= f.first && code <= f.last) return true;
  return false;
}
// Numbers inside the core block that belong to the sprite and image
// commands and to the system queries.
bool OutsideCore(int32_t code) {
  return code == 207 || code == 251 || (code >= 219 && code <= 221) || code == 229 || code == 230 ||
         code == 406 || (code >= 425 && code <= 427) || (code >= 453 && code <= 492);
}

TEST(BuiltinCommandTable, RowsAndHandlersAgree) {
  HandlerTable handlers;
  std::vector<Family> families = {{1, 999}};
  RegisterCoreHandlers(handlers);
  std::set<int32_t> pending;
#ifdef ZV_HAVE_CONSOLE_HANDLERS
  RegisterConsoleHandlers(handlers);
#else
  // The console, input and timing commands, until their handlers are built.
  pending = {208, 209, 212, 215, 216, 217, 224, 227, 228, 235, 238, 239, 240, 241, 242, 243, 244,
             246, 250, 252, 253, 255, 259, 260, 263, 265, 266, 301, 302, 303, 304, 305, 306, 307,
             351, 352, 355, 403, 404, 405, 407, 428, 429, 431, 432, 433, 434};
#endif
#ifdef ZV_HAVE_DISPLAY_HANDLERS
  RegisterDisplayHandlers(handlers);
  families.insert(families.end(), {{1500, 1571}, {5201, 5207}, {9001, 9111}});
#endif
  auto checked = [&](int32_t code) { return InFamilies(families, code) && !OutsideCore(code); };

  const CommandTable& t = CommandTable::Builtin();
  std::set<int32_t> with_row;
  for (const auto* rows : {&t.Commands(), &t.Functions()})
    for (const CommandEntry& row : *rows) {
      if (CompilesToNothing(row)) continue;
      with_row.insert(row.code);
      if (!checked(row.code) || pending.count(row.code)) continue;
      EXPECT_NE(handlers.Get(static_cast<uint32_t>(row.code)), nullptr)
          << "\"" << row.name << "\" names opcode " << row.code << ", which has no handler";
    }
  // Opcodes the compiler writes itself (user-function calls and entries,
  // int/float conversions), and second numbers of commands that have a row
  // under their first.
  const std::set<int32_t> without_row = {21, 26, 154, 155, 264, 410};
  for (int32_t code = 1; code < operand::kOpcodeLimit; ++code) {
    if (!handlers.Get(static_cast<uint32_t>(code)) || without_row.count(code) || !checked(code)) continue;
    EXPECT_TRUE(with_row.count(code)) << "opcode " << code << " has a handler but no row";
  }
}

}  // namespace
}  // namespace zv
