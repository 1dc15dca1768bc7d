// Every kind of compile error: the message, the file and the line it names,
// and that a failed compile is never reported as compiled.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "compiler/command_table.h"
#include "compiler/compiler.h"

namespace zv {
namespace {

struct ErrorCase {
  const char* source;
  int line;
  const char* message;  // a part of the message
};

class CompileErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CompileErrors, NamesTheLineAndWhatIsWrong) {
  const ErrorCase& c = GetParam();
  CompileResult result = CompileSource(c.source, "prog.kqa");
  ASSERT_FALSE(result.ok) << c.source;
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->file, "prog.kqa");
  EXPECT_EQ(result.error->line, c.line) << result.error->message;
  EXPECT_NE(result.error->message.find(c.message), std::string::npos)
      << "message: " << result.error->message << "\nsource: " << c.source;
}

INSTANTIATE_TEST_SUITE_P(
    Statements, CompileErrors,
    ::testing::Values(
        ErrorCase{"a = 1\nfoo bar baz\n", 2, "no command is named \"foo\""},
        ErrorCase{"a = 1 +\n", 1, "cannot understand"},
        ErrorCase{"a = (1 + 2\n", 1, "parentheses do not balance"},
        ErrorCase{"a = 1\nb = \"x\"\n", 2, "cannot assign a string value to an integer"},
        ErrorCase{"x = 3\na$ = x\n", 2, "cannot assign an integer value to a string variable"},
        ErrorCase{"a$ = \"x\" * 2\n", 1, "cannot apply \"*\" to string, integer"},
        ErrorCase{"wait \"x\"\n", 1, "wrong parameters for wait"},
        ErrorCase{"a = len(1, 2)\n", 1, "wrong parameters for len"},
        ErrorCase{"print 1,,2\n", 1, "print has no value before a \";\" or \",\""},
        // The types named are those written, before any conversion was tried.
        ErrorCase{"sprite 1, 2.5, 3, 4, 5, 6\n", 1, "got (integer, float, integer, integer, integer, integer)"},
        ErrorCase{"a = rgb(1.5, 2, 3, 4)\n", 1, "got (float, integer, integer, integer)"},
        ErrorCase{"a = 99999999999\n", 1, "integer out of range"},
        ErrorCase{"a = b c\n", 1, "cannot understand this expression: \"b c\""},
        // A piece that holds groups already compiled is shown as written.
        ErrorCase{"a = 5\nb = (a + 1) mod 256\n", 2, "cannot understand this expression: \"(a + 1) mod 256\""},
        ErrorCase{"dot 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32,33\n",
                  1, "more than 32 arguments"},
        ErrorCase{"a = 1\nb = a + x(2)\n", 2, "no command, function or array is named \"x\""},
        // A function's own array is no array of the main program.
        ErrorCase{"a = 1\nx(1) = 2\nend\nfunction f()\ndim x(3)\nendfunction\n", 2,
                  "array used but not dimensioned: x"},
        ErrorCase{"dim a(1,2,3,4,5,6)\n", 1, "cannot compile this dim statement"},
        ErrorCase{"dim a(10), b$(2)\n", 1, "it makes one array (write dim a(10) : dim b$(2))"},
        ErrorCase{"data 1, x\n", 1, "DATA item must be a number or a string"},
        // A text beside another value is a missing operator, never one text
        // that holds the code between its quotes.
        ErrorCase{"score = 5\nprint \"Score: \" str$(score) \" points\"\n", 2,
                  "values stand side by side without an operator: \"\"Score: \" str$(score) \" points\"\" "
                  "(write + between texts to join them, ; between the values of a print, or , between a command's"},
        ErrorCase{"a$ = \"one\" \"two\"\n", 1, "side by side without an operator: \"\"one\" \"two\"\""},
        ErrorCase{"n = len(\"a\" \"b\")\n", 1, "side by side without an operator: \"\"a\" \"b\"\""},
        ErrorCase{"x = 1\nprint x \" points\"\n", 2, "side by side without an operator: \"x \" points\"\""},
        ErrorCase{"a$ = \"x\" + (a$ + \"y\") \"z\"\n", 1, "side by side without an operator: \"\"x\" + (a$ + \"y\") \"z\"\""},
        ErrorCase{"print \"say \"\"hi\"\"\"\n", 1, "; a quote inside a text is chr$(34))"},
        ErrorCase{"data \"a\" \"b\"\n", 1, "DATA item must be a number or a string"}));

INSTANTIATE_TEST_SUITE_P(
    Labels, CompileErrors,
    ::testing::Values(ErrorCase{"a = 1\n\ngoto nowhere\n", 3, "label used but not defined: nowhere"},
                      ErrorCase{"here:\na = 1\nhere:\n", 3, "label defined twice"},
                      ErrorCase{"goto bad-name\n", 1, "label name may hold only"},
                      ErrorCase{"n = 0\nagain: n = n + 1\n", 2,
                                "no command is named \"again\" (a label, again:, stands alone on its line)"},
                      ErrorCase{"gosub inside\nend\nfunction f()\ninside:\nendfunction\n", 1,
                                "label used but not defined: inside"}));

INSTANTIATE_TEST_SUITE_P(
    Blocks, CompileErrors,
    ::testing::Values(ErrorCase{"a = 1\nelse\n", 2, "else without if"},
                      ErrorCase{"if a\nelse\nelse\nendif\n", 3, "second else"},
                      ErrorCase{"if a = 1\nelse if a = 2\nendif\n", 2, "else stands alone on its line"},
                      ErrorCase{"endif\n", 1, "endif without if"},
                      ErrorCase{"do\nendwhile\n", 2, "endwhile does not close the open do"},
                      ErrorCase{"exit\n", 1, "exit outside"},
                      ErrorCase{"do\n  exit\nelse\nloop\n", 3, "else without if"},
                      ErrorCase{"a = 1\nwhile a < 3\n  a = a + 1\n", 2, "block not closed: while needs endwhile"},
                      ErrorCase{"for i = 1\nnext i\n", 1, "for"},
                      ErrorCase{"for i = 1 to 2\n  do\n  next i\nloop\n", 3,
                                "next i does not close the open do (line 2), which needs loop"},
                      ErrorCase{"do\nnext i#\n", 2, "next i# does not close the open do (line 1)"},
                      ErrorCase{"for i = 1 to 2\nloop\n", 2, "loop does not close the open for i (line 1)"},
                      ErrorCase{"for i = 1 to 2\n", 1, "block not closed: for i needs next i"},
                      // next without its variable closes the innermost for, and no other block.
                      ErrorCase{"while 1\nnext\n", 2, "next does not close the open while (line 1), which needs endwhile"},
                      ErrorCase{"next\n", 1, "next without for"},
                      ErrorCase{"a = 1\nexitfunction\n", 2, "exitfunction outside a function"},
                      ErrorCase{"end\nfunction f()\nendfunction\nexitfunction 2\n", 4, "exitfunction outside a function"},
                      ErrorCase{"for i# = 1 to 3\nnext i#\n", 1, "must be an integer variable"},
                      ErrorCase{"if a = 1 then\n", 1, "nothing after then"}));

// A for loop counts in whole numbers; a step written with a fraction, which
// it would cut, is refused where it is written.
INSTANTIATE_TEST_SUITE_P(
    ForLoops, CompileErrors,
    ::testing::Values(ErrorCase{"a = 1\nfor i = 1 to 2 step 0.5\nnext i\n", 2,
                                "a for loop counts in whole numbers: step 0.5 would be cut to 0"},
                      ErrorCase{"for i = 10 to 1 step -1.5\nnext i\n", 1, "step -1.5 would be cut to -1"},
                      ErrorCase{"for i = 1 to 3 step -0.25 : next i\n", 1, "step -0.25 would be cut to 0"}));

// Names may begin with digits, so a number in exponent form would be a
// variable ("1e3"), or one less a number ("1e-3").
INSTANTIATE_TEST_SUITE_P(
    ExponentNumbers, CompileErrors,
    ::testing::Values(ErrorCase{"x# = 1e3\n", 1, "numbers in exponent form are not supported: \"1e3\" (write 1000)"},
                      ErrorCase{"x# = 1.5e3\n", 1, "\"1.5e3\" (write 1500)"},
                      ErrorCase{"x# = 2 * 2.5e-4\n", 1, "\"2.5e-4\" (write 0.00025)"},
                      ErrorCase{"1e = 4\nx = 1e+3\n", 2, "\"1e+3\""},
                      ErrorCase{"print sqrt(4e2)\n", 1, "\"4e2\""},
                      ErrorCase{"for i = 1 to 1e3\nnext i\n", 1, "\"1e3\""},
                      ErrorCase{"data 1, -5e2\n", 1, "\"5e2\""},
                      ErrorCase{"x = 0xff\n", 1, "numbers in hexadecimal form are not supported: \"0xff\" (write 255)"},
                      ErrorCase{"c = 0xff00ff00 + 1\n", 1, "\"0xff00ff00\" (write -16711936)"},
                      ErrorCase{"data 2, -0x10\n", 1, "\"0x10\" (write 16)"}));

// A call-shaped use of a name that is no command, function or array, and a
// function's name used as a variable.
INSTANTIATE_TEST_SUITE_P(
    Names, CompileErrors,
    ::testing::Values(ErrorCase{"x = sine(30)\n", 1, "no command, function or array is named \"sine\""},
                      ErrorCase{"print lenn(\"abc\")\n", 1, "no command, function or array is named \"lenn\""},
                      ErrorCase{"a = 1\nprint leftkey()\n", 2, "no command, function or array is named \"leftkey\""},
                      ErrorCase{"leftkey()\n", 1, "no command, function or array is named \"leftkey\""},
                      ErrorCase{"show 3\nend\nfunction show(n)\nendfunction\n", 1,
                                "\"show\" is a function: it is called with brackets, as in show(...)"},
                      ErrorCase{"scores(1) = 5\n", 1, "no command, function or array is named \"scores\""},
                      ErrorCase{"len(1) = 5\n", 1, "\"len\" is a function, not an array"},
                      ErrorCase{"x = cls(1)\n", 1, "\"cls\" is a command, which gives no value"},
                      ErrorCase{"cls(1)\n", 1, "\"cls\" is a command: its operands follow its name without brackets"},
                      ErrorCase{"a = 1\na + 2\n", 2, "a value alone is not a statement: \"a + 2\""},
                      ErrorCase{"sin(30)\n", 1, "a value alone is not a statement"},
                      ErrorCase{"load imag \"a.bmp\", 1\n", 1, "no command is named \"load imag\" (did you mean"},
                      ErrorCase{"textat 1, 1, \"a\"\n", 1,
                                "no command is named \"textat\" (did you mean \"text at\"?)"},
                      ErrorCase{"printt a\n", 1, "no command is named \"printt\""},
                      ErrorCase{"a = 1\n5 6\n", 2, "not a command, a function call or an assignment: \"5 6\""},
                      ErrorCase{"print timer\n", 1, "\"timer\" is a function: its value is written timer()"},
                      ErrorCase{"t = timer - 1\n", 1, "\"timer\" is a function: its value is written timer()"},
                      // In its own function the name would call it again without end.
                      ErrorCase{"print f(1)\nend\nfunction f(a)\nendfunction f\n", 4,
                                "\"f\" is never given a value: the result of function f is the value written after"},
                      ErrorCase{"k$ = inkey$\n", 1, "\"inkey$\" is a function: its value is written inkey$()"},
                      ErrorCase{"y# = 2 * sin\n", 1, "\"sin\" is a function: its value is written sin(...)"},
                      ErrorCase{"print half\nend\nfunction half(n)\nendfunction n / 2\n", 1,
                                "\"half\" is a function: its value is written half(...)"},
                      // The nearest name by spelling, or by the sign of its type.
                      ErrorCase{"pritn \"x\"\n", 1, "no command is named \"pritn\" (did you mean \"print\"?)"},
                      ErrorCase{"sound exists(1)\n", 1, "named \"sound exists\" (did you mean \"sound exist\"?)"},
                      ErrorCase{"x = sound exists(1)\n", 1, "(did you mean \"sound exist\"?)"},
                      ErrorCase{"print left(\"hello\", 2)\n", 1, "named \"left\" (did you mean \"left$\"?)"},
                      ErrorCase{"for i = 1 to 2\nprintc i; \" \"\nnext i\n", 2,
                                "a value alone is not a statement: \" \" (the \";\" before it ends the printc"},
                      // Other BASICs' words name what the language writes, not the nearest spelling.
                      ErrorCase{"while 1\nwend\n", 2, "no command is named \"wend\" (a while loop ends with endwhile)"},
                      ErrorCase{"if a = 1\nelseif a = 2\nendif\n", 2, "\"elseif\" (write else on its own line, then if"},
                      // A string left open says so, wherever it stands on its line.
                      ErrorCase{"a = 1\nprint \"hello\n", 2, "a string is not closed: \"hello (a \" ends it)"},
                      ErrorCase{"a$ = \"x\" + \"y : print 1\n", 1, "a string is not closed: \"y : print 1"},
                      ErrorCase{"print 1 + \"a\" + 2 : rem say \"hi\n", 1, "cannot apply"}));

// The language spells some commands "colour" and others "color": each
// written the other way is named with its spelling.
TEST(CompileErrorsNames, EveryColourCommandWrittenTheOtherWayNamesItsSpelling) {
  int rows = 0;
  for (const CommandEntry& row : CommandTable::Builtin().Commands()) {
    const size_t at = row.name.find("colo");
    if (at == std::string::npos) continue;
    ++rows;
    const bool british = row.name.compare(at, 6, "colour") == 0;
    const std::string written = std::string(row.name).replace(at, british ? 6 : 5, british ? "color" : "colour");
    const CompileResult result = CompileSource("a = 1\n" + written + " rgb(1, 2, 3)" + (row.signature.size() > 1 ? ", 4\n" : "\n"));
    EXPECT_EQ(result.error->message, "no command is named \"" + written + "\" (did you mean \"" + row.name + "\"?)");
  }
  EXPECT_GE(rows, 7);
}

INSTANTIATE_TEST_SUITE_P(
    Functions, CompileErrors,
    ::testing::Values(ErrorCase{"end\nfunction f(a)\nendfunction\nfunction f(b)\nendfunction\n", 4,
                                "user function defined twice"},
                      ErrorCase{"a = 1\nendfunction\n", 2, "endfunction outside a function"},
                      ErrorCase{"end\nfunction f(n)\nreturn n * 2\nendfunction\n", 3,
                                "(a function gives its value with exitfunction, or after its endfunction)"},
                      ErrorCase{"end\nfunction f(a)\na = 1\n", 2, "function without endfunction"},
                      ErrorCase{"function f(a, 3)\nendfunction\n", 1, "must be a variable name"},
                      ErrorCase{"a = f(\"x\")\nend\nfunction f(n)\nendfunction n\n", 1,
                                "the arguments of f do not match"},
                      ErrorCase{"end\nfunction g(n)\nendfunction n +\n", 3,
                                "cannot compile the result after endfunction"},
                      // exitfunction gives what endfunction gives, or says why it cannot.
                      ErrorCase{"end\nfunction g(n)\nif n then exitfunction \"oops\"\nendfunction 2\n", 3,
                                "exitfunction \"oops\" gives a string, but function g gives an integer"},
                      ErrorCase{"end\nfunction g$(n)\nexitfunction 5\nendfunction \"a\"\n", 3,
                                "exitfunction 5 gives an integer, but function g$ gives a string"}));

INSTANTIATE_TEST_SUITE_P(
    Select, CompileErrors,
    ::testing::Values(ErrorCase{"case 1\n", 1, "case outside a select"},
                      ErrorCase{"select a\ncase default\nendcase\ncase 2\n", 4, "case after case default"},
                      ErrorCase{"select a\nselect b\n", 2, "select inside a select (the select (line 1) needs endselect)"},
                      ErrorCase{"select a\ncase 1\n  print 1\ncase 2\nendcase\nendselect\n", 4,
                                "block not closed: case needs endcase (line 2)"},
                      ErrorCase{"select a\ncase 1\n  if a\nendcase\nendselect\n", 4,
                                "block not closed: if needs endif (line 3)"},
                      ErrorCase{"select a\ncase 1\nendselect\n", 3, "block not closed: case needs endcase (line 2)"},
                      ErrorCase{"select a\ncase 1\nendif\n", 3,
                                "endif does not close the open case (line 2), which needs endcase"},
                      ErrorCase{"select a\ncase 1\nelse\n", 3, "the open block is a case (line 2)"},
                      ErrorCase{"select a\nendcase\n", 2, "endcase without case"},
                      ErrorCase{"a = 1\nselect a\ncase 1\nendcase\nprint 2\n", 2,
                                "block not closed: select needs endselect"},
                      ErrorCase{"select a\ncase 1\nprint 1\n", 2, "block not closed: case needs endcase"},
                      ErrorCase{"do\nselect a\nloop\n", 3, "loop comes before the endselect of the select (line 2)"},
                      ErrorCase{"select a + 1\n", 1, "one expression"},
                      // Each case compiles the expression again; its characters are the select's.
                      ErrorCase{"select len(\"\xF0\x9F\x98\x80\")\ncase 1\nendcase\nendselect\n", 1,
                                "has no character U+1F600 (column 13)"},
                      ErrorCase{"endselect\n", 1, "endselect outside a select"}));

// What the language guide says is not taken.
INSTANTIATE_TEST_SUITE_P(
    RefusedAsTheGuideSays, CompileErrors,
    ::testing::Values(ErrorCase{"a = 1\nb = -a\n", 2, "\"-a\" (a sign stands only before a number: write 0 - a)"},
                      ErrorCase{"b = 2 * -rnd(400)\n", 1, "\"-rnd(400)\" (a sign stands only before a number: write 0 - rnd(...))"},
                      // Other BASICs' operator words say what to write instead.
                      ErrorCase{"x = 7\nprint x mod 3\n", 2, "\"x mod 3\" (there is no mod: for integers write"},
                      ErrorCase{"if not a then print 1\n", 1, "(there is no not: write c = 0"},
                      ErrorCase{"a = 1\nc = a = 1 or a = 2\n", 2, "(and, or and <> join the conditions of if"},
                      ErrorCase{"a = 1\nif (a>0)and(a<2) then a = 2\n", 2, "(write a blank on each side of and and or)"},
                      ErrorCase{"if a$ >= \"a\" then print 1\n", 1, "cannot apply \">=\" to string, string"},
                      ErrorCase{"if a$ <= \"a\" then print 1\n", 1, "cannot apply \"<=\" to string, string"}));

TEST(CompileErrorsLimits, LinesOfMoreThan254Characters) {
  std::string ok = "a$ = \"" + std::string(247, 'x') + "\"";
  ASSERT_EQ(ok.size(), 254u);
  EXPECT_TRUE(CompileSource(ok).ok);
  // So a string literal holds at most 249 characters.
  EXPECT_TRUE(CompileSource("a$=\"" + std::string(249, 'x') + "\"").ok);
  EXPECT_FALSE(CompileSource("a$=\"" + std::string(250, 'x') + "\"").ok);
  CompileResult result = CompileSource("a = 1\n" + ok + "x\n");
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(result.error->line, 2);
  EXPECT_NE(result.error->message.find("line too long"), std::string::npos);
}

TEST(CompileErrorsLimits, NestingOf1023BlocksButNotMore) {
  auto nested = [](int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "do\n";
    for (int i = 0; i < depth; ++i) text += "loop\n";
    return text;
  };
  EXPECT_TRUE(CompileSource(nested(1023)).ok);
  CompileResult result = CompileSource(nested(1024));
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(result.error->line, 1024);
  EXPECT_NE(result.error->message.find("too many nested blocks"), std::string::npos);
}

TEST(CompileErrorsLimits, TablesThatFillUp) {
  std::string vars, data;
  for (int i = 0; i <= 2000; ++i) vars += "v" + std::to_string(i) + " = 1\n";
  CompileResult result = CompileSource(vars);
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(result.error->line, 2001);
  EXPECT_NE(result.error->message.find("too many integer variables"), std::string::npos);

  for (int i = 0; i < 1000; ++i) data += "data 1,2,3,4,5,6,7,8,9,10\n";
  result = CompileSource(data);
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(result.error->line, 1000);
  EXPECT_NE(result.error->message.find("too many DATA items"), std::string::npos);

  std::string exits = "do\n";
  for (int i = 0; i < 33; ++i) exits += "exit\n";
  result = CompileSource(exits + "loop\n");
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(result.error->line, 34);
}

TEST(CompileErrorsFiles, MissingIncludeIsNamed) {
  CompileResult result = CompileSource("a = 1\n#include \"no_such_file.kqa\"\n");
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(result.error->line, 2);
  EXPECT_NE(result.error->message.find("no_such_file.kqa"), std::string::npos);
}

TEST(CompileErrorsFiles, ErrorInsideAnIncludedFileNamesThatFile) {
  namespace fs = std::filesystem;
  fs::path folder = fs::temp_directory_path() / ("zv_errors_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  std::ofstream(folder / "lib.kqa") << "function f(a)\n  a = a +\nendfunction a\n";
  CompileOptions options;
  options.include_folder = folder.string();
  CompileResult result = CompileSource("#include \"lib.kqa\"\nb = f(1)\n", "main.kqa", options);
  ASSERT_FALSE(result.ok);
  EXPECT_NE(result.error->file.find("lib.kqa"), std::string::npos) << result.error->file;
  EXPECT_EQ(result.error->line, 2);
  EXPECT_EQ(result.error->statement, "  a = a +");
  fs::remove_all(folder);
}

TEST(CompileErrorsFiles, MissingSourceFile) {
  CompileResult result = CompileFile("/nonexistent/prog.kqa", "");
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(result.error->file, "/nonexistent/prog.kqa");
}

// A file that is no program, a built game above all, is named so in one
// line, never shown by its bytes; NAME.kqa beside NAME is named.
TEST(CompileErrorsFiles, AFileThatIsNoProgramSaysSoAndNamesTheSourceBesideIt) {
  const std::string folder = ::testing::TempDir() + "zv_no_program_" + std::to_string(::getpid()) + "/";
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "game", std::ios::binary) << std::string("\x7f" "ELF\2\1\1\0", 8) << std::string(300, 'x');
  std::ofstream(folder + "data", std::ios::binary) << std::string("PK\3\4\0 1 2\n", 10);
  for (const std::string beside : {"", ".kqa"})
    for (const auto& [name, message] : {std::pair{"game", "an executable, not a program's source"},
                                        {"data", "not a program's source: it holds binary data"},
                                        {"gone", "cannot read the source file: no such file or directory"}}) {
      if (!beside.empty()) std::ofstream(folder + name + beside) << "print 1\n";
      const CompileResult result = CompileFile(folder + name, "");
      EXPECT_EQ(FormatCompileError(*result.error), folder + name + ": error: " + message +
                                                       (beside.empty() ? "" : std::string(" (did you mean ") + name + beside + "?)"));
    }
  std::filesystem::remove_all(folder);
}

TEST(CompileErrorsFormat, FileLineStatementAndMessage) {
  CompileResult result = CompileSource("a = 1\n  print 1 +\n", "game.kqa");
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(FormatCompileError(*result.error),
            "game.kqa:2: error: cannot understand this expression: \"1 +\"\n      print 1 +");
}

}  // namespace
}  // namespace zv
