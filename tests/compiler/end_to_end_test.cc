// BASIC programs compiled, written, loaded and run on the core handlers; the
// results are read back from the program's variables.
#include <cmath>
#include <filesystem>
#include <fstream>

#include "tests/compiler/basic_run.h"

namespace zv::test {
namespace {

// Runs `source`; the program's first int variable holds the value checked.
int32_t RunInt(std::string_view source) {
  BasicRun run;
  EXPECT_TRUE(run.Run(source)) << run.Error();
  EXPECT_EQ(run.vm.errors.code, 0);
  return run.Int(0);
}

TEST(EndToEnd, ArithmeticGroupsLeftToRightAtEachLevel) {
  struct Case {
    const char* expression;
    int32_t value;
  } cases[] = {
      {"10-2+3", 11},  {"6*5/3", 10},     {"1+2-3*4", -9},   {"2+3*4", 14},
      {"(1+2)*3", 9},  {"-5*3", -15},     {"2*-5", -10},     {"100/10/5", 2},
      {"2^3^2", 64},   {"7-(2-1)", 6},    {"((2))", 2},      {"20-4-3-2", 11},
      {"3*(2+4)/9", 2}, {"1+2=3", 1},     {"5>3", 1},        {"2<=1", 0},
      {"8-2*3+1", 3},  {"-2147483648+0", -2147483647 - 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RunInt(std::string("r = ") + c.expression), c.value) << c.expression;
}

TEST(EndToEnd, SignAfterAnOperandIsSubtraction) {
  EXPECT_EQ(RunInt("r = 0 : x = 10 : z = 4 : w = 3\nr = x+z-2*w"), 8);
}

TEST(EndToEnd, MixedTypesConvertWhereNeeded) {
  BasicRun run;
  ASSERT_TRUE(run.Run("a = 7 / 2\nb# = 7 / 2.0\nc = 2.9\nd# = 3\ne# = sqrt(16)\nf = abs(-2.5)\n"))
      << run.Error();
  EXPECT_EQ(run.Int(0), 3);
  EXPECT_FLOAT_EQ(run.Float(0), 3.5f);
  EXPECT_EQ(run.Int(1), 2);
  EXPECT_FLOAT_EQ(run.Float(1), 3.0f);
  EXPECT_FLOAT_EQ(run.Float(2), 4.0f);
  EXPECT_EQ(run.Int(2), 2);
}

TEST(EndToEnd, Strings) {
  BasicRun run;
  ASSERT_TRUE(run.Run(
      "a$ = \"Hello\" + \", \" + \"World\"\n"
      "b$ = left$(a$, 5) + right$(a$, 5)\n"
      "n = len(a$)\n"
      "c$ = upper$(mid$(a$, 2) + \"x\") + str$(42) + chr$(65)\n"
      "d$ = \"x:y; z\"\n"
      "e$ = a$ - \"l\"\n"))
      << run.Error();
  EXPECT_EQ(run.String(0), "Hello, World");
  EXPECT_EQ(run.String(1), "HelloWorld");
  EXPECT_EQ(run.Int(0), 12);
  EXPECT_EQ(run.String(2), "EX42A");
  EXPECT_EQ(run.String(3), "x:y; z");
  EXPECT_EQ(run.String(4), "Helo, World");
}

TEST(EndToEnd, ArraysOfOneToFiveDimensions) {
  BasicRun run;
  ASSERT_TRUE(run.Run(
      "total = 0 : corner = 0 : text$ = \"\" : f# = 0\n"
      "dim a(10)\n"
      "for i = 0 to 10 : a(i) = i * i : next i\n"
      "for i = 0 to 10 : total = total + a(i) : next i\n"
      "dim g(2, 3, 1, 1, 4)\n"
      "g(2, 3, 1, 1, 4) = 99 : corner = g(2, 3, 1, 1, 4)\n"
      "dim s$(3) : s$(2) = \"two\" : text$ = s$(2) + s$(1)\n"
      "dim h#(2) : h#(1) = 3 : h#(2) = 1.5 : f# = h#(1) + h#(2)\n"))
      << run.Error();
  EXPECT_EQ(run.Int(0), 385);
  EXPECT_EQ(run.Int(1), 99);
  EXPECT_EQ(run.String(0), "two");
  EXPECT_FLOAT_EQ(run.Float(0), 4.5f);
}

TEST(EndToEnd, NestedIfElse) {
  const char* program =
      "r = 0\n"
      "for i = 1 to 6\n"
      "  if i < 3\n"
      "    if i = 1\n"
      "      r = r + 1\n"
      "    else\n"
      "      r = r + 10\n"
      "    endif\n"
      "  else\n"
      "    if i = 4 then r = r + 100 else r = r + 1000\n"
      "  endif\n"
      "next i\n";
  EXPECT_EQ(RunInt(program), 1 + 10 + 1000 + 100 + 1000 + 1000);
}

TEST(EndToEnd, LoopsOfEveryKind) {
  EXPECT_EQ(RunInt("r = 0 : i = 0\nwhile i < 5\n i = i + 1 : r = r + i\nendwhile"), 15);
  EXPECT_EQ(RunInt("r = 0\nrepeat\n r = r + 3\nuntil r >= 10"), 12);
  EXPECT_EQ(RunInt("r = 0\ndo\n r = r + 1\n if r = 7 then exit\nloop"), 7);
  EXPECT_EQ(RunInt("r = 0\nfor i = 10 to 1 step -3 : r = r * 100 + i : next i"), 10070401);
  EXPECT_EQ(RunInt("r = 0\nfor i = 1 to 10 step 2 : r = r + i : next i"), 25);
  EXPECT_EQ(RunInt("r = 0 : a = 2 : b = 1\nfor i = 1 to 9 step a+b : r = r + 1 : next i"), 3);
  EXPECT_EQ(RunInt("r = 0\nfor i = 1 to 3\n for j = 1 to 3\n  if j = 2 then exit\n  r = r + 1\n next j\nnext i"), 3);
  EXPECT_EQ(RunInt("r = 0 : i = 0\nwhile i < 100\n i = i + 1\n if i and 1 then r = r + 1\nendwhile"), 50);
}

TEST(EndToEnd, SelectTestsEveryValueOfACase) {
  const char* program =
      "r = 0\n"
      "for i = 1 to 5\n"
      "  select i\n"
      "    case 1, 2 : r = r + 1 : endcase\n"
      "    case 3\n"
      "      r = r + 10\n"
      "    endcase\n"
      "    case default\n"
      "      r = r + 100\n"
      "    endcase\n"
      "  endselect\n"
      "next i\n";
  EXPECT_EQ(RunInt(program), 1 + 1 + 10 + 100 + 100);
}

TEST(EndToEnd, GosubGotoAndLabels) {
  const char* program =
      "r = 0\n"
      "gosub add\n"
      "gosub add\n"
      "goto skip\n"
      "r = 1000\n"
      "skip:\n"
      "r = r * 2\n"
      "end\n"
      "add:\n"
      "r = r + 5\n"
      "return\n";
  EXPECT_EQ(RunInt(program), 20);
}

TEST(EndToEnd, RecursiveUserFunctions) {
  const char* program =
      "r = 0 : u = 0 : s$ = \"\" : t# = 0\n"
      "r = fib(15)\n"
      "s$ = twice$(\"a b\")\n"
      "t# = half#(5)\n"
      "u = fact(10) - fib(2)\n"
      "end\n"
      "function fib(n)\n"
      "  if n < 2 then exitfunction n\n"
      "endfunction fib(n-1) + fib(n-2)\n"
      "function fact(n)\n"
      "  if n <= 1 then exitfunction 1\n"
      "  m = n\n"
      "endfunction m * fact(n - 1)\n"
      "function twice$(a$)\n"
      "  a$ = a$ + a$\n"
      "endfunction a$\n"
      "function half#(x)\n"
      "endfunction x / 2.0\n";
  BasicRun run;
  ASSERT_TRUE(run.Run(program)) << run.Error();
  EXPECT_EQ(run.vm.errors.code, 0);
  EXPECT_EQ(run.Int(0), 610);
  EXPECT_EQ(run.String(0), "a ba b");
  EXPECT_FLOAT_EQ(run.Float(0), 2.5f);
  EXPECT_EQ(run.Int(1), 3628800 - 1);
}

TEST(EndToEnd, FunctionsKeepTheirOwnVariables) {
  const char* program =
      "r = 1 : x = 5\n"
      "r = bump(3) + x\n"
      "end\n"
      "function bump(v)\n"
      "  x = 100\n"
      "endfunction v + x\n";
  EXPECT_EQ(RunInt(program), 108);
}

TEST(EndToEnd, DataReadAndRestore) {
  BasicRun run;
  ASSERT_TRUE(run.Run(
      "a = 0 : b = 0 : c = 0 : f# = 0 : s$ = \"\"\n"
      "data 1, 2.5, \"three\"\n"
      "more:\n"
      "data 40, 50\n"
      "read a, f#, s$\n"
      "read b\n"
      "restore more\n"
      "read c\n"
      "dim q(3) : read q(1) : restore : read q(2)\n"
      "a = a + q(1) * 1000 + q(2) * 100000\n"))
      << run.Error();
  EXPECT_EQ(run.Int(0), 1 + 50 * 1000 + 1 * 100000);
  EXPECT_FLOAT_EQ(run.Float(0), 2.5f);
  EXPECT_EQ(run.String(0), "three");
  EXPECT_EQ(run.Int(1), 40);
  EXPECT_EQ(run.Int(2), 40);
}

TEST(EndToEnd, ConstantsAreShared) {
  BasicRun run;
  ASSERT_TRUE(run.Run("a = 5 + 5 + 5\nb# = 0.1 + 0.10\n")) << run.Error();
  EXPECT_EQ(run.compiled.program.int_constants.size(), 1u);
  EXPECT_EQ(run.compiled.program.float_constants.size(), 1u);
  EXPECT_EQ(run.Int(0), 15);
}

TEST(EndToEnd, CommentsAndStatementSeparators) {
  EXPECT_EQ(RunInt("r = 1 : rem r = 2\n` r = 3\nremstart\nr = 4\nremend\nr = r + 1 : r = r * 3"), 6);
}

TEST(EndToEnd, IncludedFunctionsAndNestedIncludes) {
  namespace fs = std::filesystem;
  fs::path folder = fs::temp_directory_path() / ("zv_include_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  std::ofstream(folder / "lib.kqa") << "#include \"more.kqa\"\nr = 999\nfunction triple(x)\nendfunction x * 3\n";
  std::ofstream(folder / "More.kqa") << "function add1(x)\nendfunction x + 1\n";
  BasicRun run;
  CompileOptions options;
  options.include_folder = folder.string();
  ASSERT_TRUE(run.Run("#include \"lib.kqa\"\n#include lib.kqa\nr = triple(add1(4))\n", options))
      << run.Error();
  EXPECT_EQ(run.Int(0), 15);
  fs::remove_all(folder);
}

TEST(EndToEnd, LineEndsDoNotMatter) {
  const std::string lf = "r = 1\nfor i = 1 to 4\n r = r * 2\nnext i";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  BasicRun a, b;
  ASSERT_TRUE(a.Run(lf)) << a.Error();
  ASSERT_TRUE(b.Run(crlf + "\r\n")) << b.Error();
  EXPECT_EQ(a.Int(0), 16);
  EXPECT_EQ(a.compiled.program.code, b.compiled.program.code);
  EXPECT_EQ(a.compiled.program.lines, b.compiled.program.lines);
}

// Some editors begin a file with a UTF-8 byte-order mark; it is no part of
// the program or of an included file.
TEST(EndToEnd, AByteOrderMarkIsNoPartOfTheSource) {
  namespace fs = std::filesystem;
  const std::string mark = "\xEF\xBB\xBF";
  fs::path folder = fs::temp_directory_path() / ("zv_mark_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  std::ofstream(folder / "plain.kqa") << "function twice(x)\nendfunction x * 2\n";
  std::ofstream(folder / "marked.kqa") << mark << "function twice(x)\nendfunction x * 2\n";
  CompileOptions options;
  options.include_folder = folder.string();
  BasicRun plain, marked;
  ASSERT_TRUE(plain.Run("r = twice(21)\n#include \"plain.kqa\"\n", options)) << plain.Error();
  ASSERT_TRUE(marked.Run(mark + "r = twice(21)\n#include \"marked.kqa\"\n", options)) << marked.Error();
  EXPECT_EQ(marked.Int(0), 42);
  EXPECT_EQ(marked.compiled.program.code, plain.compiled.program.code);
  fs::remove_all(folder);
}

// A float step worked out as the program runs is looked at when the loop
// starts: a fraction that counts as 0 would never move the loop, so the run
// stops there (runtime error 120). A step of 0 itself, written or worked
// out, loops as the loop step does, until an exit; a step that uses the
// loop variable is worked out again from another value at each turn, so it
// is not looked at.
TEST(EndToEnd, AForLoopStopsOnlyOnAFractionalStepCutTo0) {
  struct Case {
    const char* program;
    int32_t code;
    int32_t turns;
  } cases[] = {
      // (Each body leaves after 5 turns, so a loop that does start ends.)
      {"r = 0 : s# = 0.5\nfor i = 1 to 3 step s#\n  r = r + 1 : if r = 5 then exit\nnext i\n", 120, 0},
      {"r = 0 : s# = -0.5\nfor i = 3 to 1 step s#\n  r = r + 1 : if r = 5 then exit\nnext i\n", 120, 0},
      {"r = 0\nfor i = 1 to 3 step half()\n  r = r + 1 : if r = 5 then exit\nnext i\nend\n"
       "function half()\nendfunction 0.5\n",
       120, 0},
      {"r = 0 : s = 0\nfor i = 1 to 3 step s\n  r = r + 1 : if r = 5 then exit\nnext i\n", 0, 5},
      {"r = 0 : s# = 0.0\nfor i = 1 to 3 step s#\n  r = r + 1 : if r = 5 then exit\nnext i\n", 0, 5},
      {"r = 0 : a = 2 : b = 2\nfor i = 1 to 3 step a - b\n  r = r + 1 : if r = 5 then exit\nnext i\n", 0, 5},
      {"r = 0\nfor i = 1 to 3 step none()\n  r = r + 1 : if r = 5 then exit\nnext i\nend\n"
       "function none()\nendfunction 0\n",
       0, 5},
      {"r = 0\nfor i = 1 to 100 step i * 0.5\n  r = r + 1 : if r = 5 then exit\nnext i\n", 0, 5},
      {"r = 0 : s = 2\nfor i = 1 to 9 step s\n  r = r + 1\nnext i\n", 0, 5},
      {"r = 0 : s# = -1.5\nfor i = 3 to 1 step s#\n  r = r + 1\nnext i\n", 0, 3},
      {"r = 0 : s = 1\nfor i = 1 to 5 step s\n  r = r + 1\n  if r = 2 then s = 0\n  if r = 9 then exit\nnext i\n",
       0, 9},
  };
  for (const Case& c : cases) {
    BasicRun run;
    ASSERT_TRUE(run.Run(c.program)) << run.Error();
    EXPECT_EQ(run.vm.errors.code, c.code) << c.program;
    EXPECT_EQ(run.Int(0), c.turns) << c.program;
  }
}

// dim keeps error 101 for an array that cannot be made, and says why.
TEST(EndToEnd, ADimThatCannotBeMadeSaysWhy) {
  struct Case {
    const char* program;
    int32_t code;
    const char* cause;
  } cases[] = {
      {"dim a(-5)", 101, "the size is negative (upper bound -5)"},
      {"dim f#(2, -3)", 101, "the size is negative (upper bound -3)"},
      {"dim s$(-2)", 101, "the size is negative (upper bound -2)"},
      {"dim a(1024, 1024, 1024)", 101, "more than 1073741824 elements"},
      {"dim a(-1)", 0, ""},
  };
  for (const Case& c : cases) {
    BasicRun run;
    ASSERT_TRUE(run.Run(c.program)) << run.Error();
    EXPECT_EQ(run.vm.errors.code, c.code) << c.program;
    EXPECT_EQ(run.vm.errors.cause, c.cause) << c.program;
  }
}

// What the compiler refuses is exactly what it says: names that begin like
// numbers, loops over whole numbers and every block closed in order still
// compile and run.
TEST(EndToEnd, NamesAndBlocksNextToTheRefusedOnes) {
  struct Case {
    const char* program;
    int32_t value;
  } cases[] = {
      {"r = 0 : 1e3x = 5 : r = 1e3x", 5},
      {"r = 0 : e3 = 4 : x1e3 = 3 : r = e3 + x1e3", 7},
      {"r = 0 : 2e = 6 : r = 2e", 6},
      {"r = 0 : a$ = \"1e3\" : r = len(a$)", 3},
      {"r = 0\nfor i = 1 to 10.0 step 2.0 : r = r + i : next i", 25},
      {"r = 0\ngosub fill\nr = a(2)\nend\nfill:\ndim a(3) : a(2) = 8 : return", 8},
      {"r = 0\nfor i = 1 to 3\n  select i\n    case 1 : r = r + 1 : endcase\n    case 2\n      if r = 1 then r = r + 10\n"
       "    endcase\n  endselect\nnext i",
       11},
      {"r = 0 : timer1 = 2 : r = timer1", 2},
  };
  for (const Case& c : cases) EXPECT_EQ(RunInt(c.program), c.value) << c.program;
}

TEST(EndToEnd, ProgramEndsWithZeroWordAndLinesPointAtSource) {
  BasicRun run;
  ASSERT_TRUE(run.Run("a = 1\n\nb = a + 2\n")) << run.Error();
  const ProgramFile& p = run.compiled.program;
  ASSERT_FALSE(p.code.empty());
  EXPECT_EQ(p.code.back(), 0u);
  EXPECT_EQ(p.lines.back(), 0);
  EXPECT_EQ(p.lines.front(), 1);
  EXPECT_EQ(p.lines[p.lines.size() - 2], 4);  // the added end line
}

TEST(EndToEnd, CompileFileWritesThroughATemporaryName) {
  namespace fs = std::filesystem;
  fs::path folder = fs::temp_directory_path() / ("zv_compile_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  std::ofstream(folder / "ok.kqa") << "a = 1\n";
  std::ofstream(folder / "bad.kqa") << "a = 1\nb = \n";
  const std::string out = (folder / "out.bin").string();
  CompileResult good = CompileFile((folder / "ok.kqa").string(), out);
  ASSERT_TRUE(good.ok);
  const auto size = fs::file_size(out);
  CompileResult bad = CompileFile((folder / "bad.kqa").string(), out);
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(fs::file_size(out), size);  // the earlier program is left alone
  // A copy compiled in place of the user's file is named by that file.
  CompileOptions as_users_file;
  as_users_file.source_name = "/home/user/bad.kqa";
  CompileResult copy = CompileFile((folder / "bad.kqa").string(), "", as_users_file);
  ASSERT_FALSE(copy.ok);
  EXPECT_EQ(copy.error->file, "/home/user/bad.kqa");
  EXPECT_EQ(copy.error->line, 2);
  size_t files = 0;
  for (auto& entry : fs::directory_iterator(folder)) files += entry.is_regular_file();
  EXPECT_EQ(files, 3u);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace zv::test
