// Programs as people write them, each with what it prints: forms the
// language has always taken keep running as they did, sources saved as
// UTF-8 read as the text they show, and the faults that stay refused say
// what is wrong in the words of the program.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "runtime/console/console_commands.h"
#include "runtime/runtime_state.h"
#include "tests/compiler/basic_run.h"

namespace zv::test {
namespace {

struct Program {
  const char* what;
  std::string source;
  std::string output;      // printed by a program that compiles
  std::string error = "";  // a part of the compile error, for one that does not
  int32_t run_error = 0;   // the runtime error it ends on
  std::vector<std::pair<std::string, std::string>> includes = {};  // (name, bytes)
  int32_t run_line = 0;    // the line of that error
};

// UTF-8 bytes of the characters the rows use.
const std::string kEAcute = "\xC3\xA9";     // é, 233 in Windows-1252
const std::string kEnDash = "\xE2\x80\x93";  // –, 150
const std::string kBullet = "\xE2\x80\xA2";  // •, 149
const std::string kArrow = "\xE2\x86\x92";   // →, none
const std::string kMark = "\xEF\xBB\xBF";

// The twentieth function of a program, whose result adds n sixty times.
std::string SumInTheTwentiethFunction() {
  std::string source = "print f20(1)\nend\n";
  for (int k = 1; k <= 20; ++k) {
    source += "function f" + std::to_string(k) + "(n)\nendfunction n";
    for (int i = 1; i < (k == 20 ? 60 : 1); ++i) source += "+n";
    source += "\n";
  }
  return source;
}

std::vector<Program> Programs() {
  return {
      // A user function called before its definition, wherever a call stands.
      {"a function defined further on, in a result",
       "print nested(3)\nend\nfunction nested(x)\nendfunction twice(x)\nfunction twice(y)\nendfunction y*2\n", "6\n"},
      {"the same, nested in itself",
       "print nested(3)\nend\nfunction nested(x)\nendfunction twice(twice(x))\nfunction twice(y)\nendfunction y*2\n",
       "12\n"},
      {"its float result known before the call is typed",
       "print outer(3)\nend\nfunction outer(x)\nendfunction half(x)\nfunction half(y)\nendfunction y / 2.0\n", "1.5\n"},

      // A bare name is a variable, whatever function shares its name.
      {"a built-in function's name assigned", "timer = 5 : timer = timer - 1 : print timer\n", "4\n"},
      {"as a loop variable", "for timer = 1 to 3\nprint timer\nnext timer\n", "1\n2\n3\n"},
      {"read into", "read timer\nprint timer\ndata 7\n", "7\n"},
      {"as parameters", "print area(3, 4)\nend\nfunction area(point, len)\nendfunction point * len\n", "12\n"},
      {"a function's own name as its result",
       "print total(2, 3)\nend\nfunction total(a, b)\ntotal = a + b\nendfunction total\n", "5\n"},
      {"never given a value", "print timer\n", "", "\"timer\" is a function: its value is written timer()"},
      {"never given a value in its own function", "print f(1)\nend\nfunction f(a)\nendfunction f\n", "",
       "\"f\" is never given a value: the result of function f is the value written after endfunction"},

      {"a variable named as a command", "line = 1\nline = line + 1\nprint line\n", "2\n"},

      // DATA numbers read into variables of the other kind as assignments convert them.
      {"numbers read as the other kind", "dim f#(1)\nread a, b#, f#(1)\nprint a; \" \"; b#; f#(1)\ndata 2.7, 3, -4\n",
       "2 3-4\n"},

      {"a long sum in the twentieth function", SumInTheTwentiethFunction(), "60\n"},
      {"a select in a subroutine that a case calls",
       "s = 1\nselect s\ncase 1\ngosub menu\nendcase\ncase default\nprint 0\nendcase\nendselect\nend\n"
       "menu:\nk = 2\nselect k\ncase 1\nendcase\nendselect\nprint k\nreturn\n",
       "2\n"},

      // Code put aside between remstart and remend is no part of the program.
      {"a function put aside, and one of its name",
       "remstart\nfunction g(a$)\nendfunction a$\nremend\nprint g(2)\nend\nfunction g(n)\nendfunction n * 3\n",
       "6\n"},
      {"a function put aside is none", "remstart\nfunction f()\nendfunction\nremend\nf()\n", "", "named \"f\""},
      {"a label put aside", "gosub a\nend\nremstart\na:\nremend\na:\nprint 1\nreturn\n", "1\n"},
      {"a comment block to the end", "print 1\nremstart\nprint 2\n", "1\n"},
      {"an include put aside", "remstart\n#include \"gone.kqa\"\nremend\nprint 1\n", "1\n"},

      // for loops: the step of the loop step, fractions where they are written.
      {"a written step of 0 with an exit",
       "n = 0\nfor i = 1 to 5 step 0\nn = n + 1\nprint i\nif n = 3 then exit\nnext i\nprint \"done\"\n",
       "1\n1\n1\ndone\n"},
      {"an integer step of 0 worked out",
       "s = 0\nn = 0\nfor i = 1 to 5 step s\nn = n + 1\nprint i\nif n = 3 then exit\nnext i\nprint \"done\"\n",
       "1\n1\n1\ndone\n"},
      {"a fractional end", "for i = 1 to 2.5\nprint i\nnext i\n", "1\n2\n"},
      {"a fractional start", "for i = 0.5 to 3\nprint i\nnext i\n", "1\n2\n3\n"},
      {"a step from the loop variable", "for i = 1 to 100 step i * 2\nprint i\nnext i\n", "3\n9\n27\n81\n"},
      {"a fractional step written", "for i = 1 to 3 step 0.5\nprint i\nnext i\n", "",
       "a for loop counts in whole numbers: step 0.5 would be cut to 0"},
      {"a float step cut to 0 as it runs",
       "s# = 0.5\nprint 1\nfor i = 1 to 3 step s#\nprint i\nnext i\n", "1\n", "", 120, {}, 3},

      // next closes the innermost loop, whatever variable it names.
      {"nested loops closed with each other's names",
       "for i = 1 to 2\nfor j = 1 to 2\nprint str$(i) + str$(j)\nnext i\nnext j\n", "11\n12\n21\n22\n"},
      {"a loop closed with another name", "for i = 1 to 2\nprint i\nnext j\n", "1\n2\n"},
      {"a loop closed with a float's name", "for i = 1 to 2\nprint i\nnext i#\n", "1\n2\n"},
      {"next naming a float where no loop is open", "do\nnext i#\n", "", "next i# does not close the open do"},

      // Sources in UTF-8 read as the text their editor showed.
      {"UTF-8 with the mark",
       kMark + "t$ = \"" + kEnDash + " " + kBullet + " caf" + kEAcute + "\"\n" +
           "print len(t$); \" \"; asc(left$(t$, 1)); \" \"; asc(mid$(t$, 3)); \" \"; asc(right$(t$, 1))\n",
       "8 150 149 233\n"},
      {"UTF-8 without the mark", "print len(\"caf" + kEAcute + "\")\n", "4\n"},
      {"a UTF-8 include of a Windows-1252 program",
       "print len(\"caf\xE9\"); \" \"; twice$(\"\xE9\")\n#include \"lib.kqa\"\n", "4 \xE9\xE9\n", "", 0,
       {{"lib.kqa", kMark + "function twice$(a$)\nendfunction a$ + \"" + kEAcute + "\"\n"}}},
      {"not valid UTF-8, so Windows-1252", "print len(\"" + kEAcute + "\xE9\")\n", "3\n"},
      {"a character Windows-1252 lacks", "print 1\nprint \"" + kArrow + "\"\n", "",
       "Windows-1252, the character set of programs, has no character U+2192 (column 8)"},
      {"the same in a comment", "print 1 : rem " + kArrow + "\n`" + kArrow + "\nremstart\n" + kArrow + "\nremend\n",
       "1\n"},
      {"in a comment after a fault of its own", "prnt 1 : rem " + kArrow + "\n", "", "no command is named \"prnt\""},
      {"before a comment", "  x = 1 " + kArrow + " : rem " + kArrow + "\n", "", "has no character U+2192 (column 9)"},
      {"the same in an include", "print 1\n#include \"lib.kqa\"\n", "",
       "has no character U+2192 (column 14)", 0, {{"lib.kqa", "function f()\nendfunction \"" + kArrow + "\"\n"}}},

      // A store reaches the element it names, a return the gosub waiting for
      // it, or each fails with its error and line.
      {"an index past its own dimension", "dim g(9, 9)\ng(10, 0) = 5\nprint g(0, 1)\n", "", "", 102, {}, 2},
      {"a store after undim", "dim a(5)\nundim a()\na(1) = 9\nprint a(1)\n", "", "", 109, {}, 3},
      {"a read before dim", "print 1\nprint a$(1)\ndim a$(5)\n", "1\n", "", 109, {}, 2},
      {"a program that runs into its subroutine", "gosub s\nprint \"back\"\ns:\nprint \"sub\"\nreturn\n",
       "sub\nback\nsub\n", "", 122, {}, 5},

      // Messages in the words of the program.
      {"a command written without its second word", "f = 3\ntext 100,100,\"Frame \"+str$(f)\n", "",
       "no command is named \"text\" (did you mean \"text at\"?)"},
      {"a function written without its blank", "x = wrapvalue(370)\n", "",
       "no command, function or array is named \"wrapvalue\" (did you mean \"wrap value\"?)"},
      {"an array element alone", "dim a(5)\na(3)\n", "", "a value alone is not a statement: \"a(3)\""},
      {"a hexadecimal number", "x = 0x1f : print x\n", "",
       "numbers in hexadecimal form are not supported: \"0x1f\" (write 31)"},

      // Texts with operators, separators and brackets inside, joined by +
      // and printed one after another.
      {"texts joined and printed in turn",
       "score = 5\nprint \"Score: \" + str$(score) + \" points\"; \" (a+b)\"; len(\"x, y\"), \"=\"\n",
       "Score: 5 points (a+b)4=\n"},
  };
}

struct Outcome {
  std::string output;
  std::string error;
  int32_t run_error = 0;
  int32_t run_line = 0;
};

Outcome RunProgram(const Program& program) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("zv_kept_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  for (const auto& [name, bytes] : program.includes) std::ofstream(folder / name, std::ios::binary) << bytes;
  CompileOptions options;
  options.include_folder = folder.string();

  BasicRun run;
  RegisterConsoleHandlers(run.handlers);
  RuntimeState state;
  Outcome outcome;
  state.console_echo = [&outcome](std::string_view text) { outcome.output += text; };
  run.vm.runtime = &state;
  if (!run.Run(program.source, options)) outcome.error = run.compiled.error ? run.compiled.error->message : "?";
  outcome.run_error = run.vm.errors.code;
  outcome.run_line = run.vm.errors.line;
  fs::remove_all(folder);
  return outcome;
}

TEST(KeptPrograms, RunAsWrittenOrSayWhatIsWrong) {
  for (const Program& program : Programs()) {
    const Outcome outcome = RunProgram(program);
    if (program.error.empty()) {
      EXPECT_EQ(outcome.error, "") << program.what;
    } else {
      EXPECT_NE(outcome.error.find(program.error), std::string::npos)
          << program.what << "\n  wanted: " << program.error << "\n  got:    " << outcome.error;
    }
    EXPECT_EQ(outcome.output, program.output) << program.what;
    EXPECT_EQ(outcome.run_error, program.run_error) << program.what;
    if (program.run_error != 0) {
      EXPECT_EQ(outcome.run_line, program.run_line) << program.what;
    }
  }
}

}  // namespace
}  // namespace zv::test
