// The command table: the row format, the rows the compiler relies on, and
// that the rows and the virtual machine's handlers agree.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "app/all_handlers.h"
#include "compiler/command_table.h"

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

// Every row names an opcode with a handler, and every handled opcode that a
// program can reach has a row. Opcodes the compiler writes itself need no
// row, nor do the second numbers of commands that share one handler under
// two numbers (the row names one of them).
TEST(BuiltinCommandTable, RowsAndHandlersAgree) {
  HandlerTable handlers;
  RegisterAllHandlers(handlers);

  const CommandTable& t = CommandTable::Builtin();
  std::set<int32_t> with_row;
  std::set<Handler> handlers_with_row;
  for (const auto* rows : {&t.Commands(), &t.Functions()})
    for (const CommandEntry& row : *rows) {
      if (CompilesToNothing(row)) continue;
      with_row.insert(row.code);
      Handler h = handlers.Get(static_cast<uint32_t>(row.code));
      EXPECT_NE(h, nullptr) << "\"" << row.name << "\" names opcode " << row.code << ", which has no handler";
      handlers_with_row.insert(h);
    }
  // User-function calls and entries, the int/float conversions and the check
  // of a for loop's step.
  const std::set<int32_t> written_by_compiler = {21, 26, 44, 154, 155};
  for (int32_t code = 1; code < operand::kOpcodeLimit; ++code) {
    Handler h = handlers.Get(static_cast<uint32_t>(code));
    if (!h || with_row.count(code) || written_by_compiler.count(code) || handlers_with_row.count(h)) continue;
    ADD_FAILURE() << "opcode " << code << " has a handler but no row";
  }
}

}  // namespace
}  // namespace zv
