// Programs that print: the print family's forms, compiled and run with the
// console handlers, their output taken from the console's echo.
#include <gtest/gtest.h>

#include "runtime/console/console_commands.h"
#include "runtime/runtime_state.h"
#include "tests/compiler/basic_run.h"

namespace zv::test {
namespace {

std::string Output(std::string_view source) {
  BasicRun run;
  RegisterConsoleHandlers(run.handlers);
  RuntimeState state;
  std::string out;
  state.console_echo = [&out](std::string_view text) { out += text; };
  run.vm.runtime = &state;
  EXPECT_TRUE(run.Run(source)) << run.Error();
  EXPECT_EQ(run.vm.errors.code, 0);
  return out;
}

TEST(ProgramOutput, PrintFamily) {
  EXPECT_EQ(Output("print 1\nprint 2.5\nprint \"a\""), "1\n2.5\na\n");
  EXPECT_EQ(Output("print \"a\"; 1; 2.5\nprint \"b\", \"c\""), "a12.5\nbc\n");
  EXPECT_EQ(Output("print \"x\";\nprint \"y\""), "xy\n");
  EXPECT_EQ(Output("print \"a\"; : print \"b\""), "ab\n");
  EXPECT_EQ(Output("print \"a;b:c\""), "a;b:c\n");
  EXPECT_EQ(Output("print 10-2+3; \" \"; 6*5/3; \" \"; 1+2-3*4"), "11 10 -9\n");
}

TEST(ProgramOutput, ProgramsEndAtEndOrAtTheAddedEnd) {
  EXPECT_EQ(Output("print 1\nend\nprint 2"), "1\n");
  EXPECT_EQ(Output("print 1\n"), "1\n");
}

TEST(ProgramOutput, SingleLineIfWithStatementsAfterColons) {
  EXPECT_EQ(Output("a = 2\nif a = 2 then print \"two\" : print \"still\" else print \"no\"\nprint \"end\""),
            "two\nstill\nend\n");
  EXPECT_EQ(Output("a = 3\nif a = 2 then print \"two\" else print \"other\""), "other\n");
}

}  // namespace
}  // namespace zv::test
