// Arrays saved to and loaded from files, run as compiled BASIC.
#include "services/files/array_file_commands.h"
#include "tests/services/files/services_program.h"

namespace zv::test {
namespace {

namespace err = array_file_error;

class ArrayFiles : public ServicesProgramTest {};

std::string Filled(std::string text, const std::string& variable, const std::string& array) {
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at))
    text.replace(at, 2, text[at + 1] == 'v' ? variable : array);
  return text;
}

// A command that takes a whole array names it by one of its elements; given
// a variable it finds no array, whatever the line before it read, and leaves
// every file alone.
TEST_F(ArrayFiles, EveryArrayCommandGivenAVariableRefusesItWhateverCameBefore) {
  struct Command {
    const char* statement;
    const char* variable;
    const char* array;
  } commands[] = {
      {"load number array \"f.dat\", @v", "v", "a"},   {"load number array \"f.dat\", @v", "v#", "a#"},
      {"load string array \"f.dat\", @v", "v$", "a$"}, {"save number array \"f.dat\", @v", "v", "a"},
      {"save number array \"f.dat\", @v", "v#", "a#"}, {"save string array \"f.dat\", @v", "v$", "a$"},
  };
  const char* before[] = {"@v = @a(1)", "other@v = @a(2)", "print @a(1)", "@v = @v", "rem nothing"};
  for (const Command& c : commands)
    for (const char* line : before) {
      const std::string program = Filled("dim @a(3)\n" + std::string(line) + "\n" + c.statement + "\n",
                                         c.variable, c.array);
      ASSERT_TRUE(Run(program));
      EXPECT_EQ(Code(), err::kNotAnArray) << program;
      EXPECT_FALSE(fs::exists(Folder() / "f.dat")) << program;
    }
}

// The element read that names the array comes right before the command, also
// when a user function is called later on the line.
TEST_F(ArrayFiles, AnElementNamesItsArrayWhateverFollowsOnTheLine) {
  const char* programs[] = {
      "dim a(3) : save number array \"f.dat\", a(1) : n = twice(2)\nend\nfunction twice(x)\nendfunction x * 2\n",
      "dim a(1, 1, 1) : save number array \"f.dat\", a(twice(0), 1, 0)\nend\nfunction twice(x)\nendfunction x * 2\n",
      "dim n$(1) : n$(1) = \"f.dat\" : dim s$(3) : save string array n$(1), s$(0)\n",
  };
  for (const char* program : programs) {
    fs::remove(Folder() / "f.dat");
    ASSERT_TRUE(Run(program));
    EXPECT_EQ(Code(), 0) << program;
    EXPECT_TRUE(fs::exists(Folder() / "f.dat")) << program;
  }
}

TEST_F(ArrayFiles, IntegerArraysRoundTrip) {
  ASSERT_TRUE(Run(
      "dim a(9)\n"
      "for i = 0 to 9 : a(i) = i * i - 5 : next i\n"
      "save number array \"ints.dat\", a(0)\n"
      "dim b(9)\n"
      "load number array \"ints.dat\", b(3)\n"
      "for i = 0 to 9 : out$ = out$ + str$(b(i)) + \" \" : next i\n"
      "print out$\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "-5 -4 -1 4 11 20 31 44 59 76 \n");
  EXPECT_EQ(ReadBytes("ints.dat").size(), 40u);
}

TEST_F(ArrayFiles, FloatArraysOfSeveralDimensionsRoundTrip) {
  ASSERT_TRUE(Run(
      "dim f#(1, 2)\n"
      "f#(0, 0) = 1.5 : f#(1, 2) = -0.25\n"
      "save number array \"floats.dat\", f#(0, 0)\n"
      "dim g#(1, 2)\n"
      "load number array \"floats.dat\", g#(1, 1)\n"
      "print g#(0, 0); \" \"; g#(1, 2); \" \"; g#(1, 0)\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "1.5 -0.25 0\n");
  EXPECT_EQ(ReadBytes("floats.dat").size(), 24u);
}

// A file holding more than the array takes loads what fits and says so.
TEST_F(ArrayFiles, ALongerFileLoadsWhatFitsAndSaysSo) {
  std::string warnings;
  vm.standalone_warning_out = [&warnings](std::string_view text) { warnings += text; };
  WriteBytes("twelve.dat", std::string(12, '\x01'));
  WriteBytes("three.txt", "a\r\nb\r\nc\r\n");
  ASSERT_TRUE(Run("dim a(1) : dim s$(1)\nload number array \"twelve.dat\", a(0)\n"
                  "load string array \"three.txt\", s$(0)\nprint a(1); s$(1)\n"));
  EXPECT_EQ(printed, "16843009b\n");
  EXPECT_NE(warnings.find("\"twelve.dat\": it holds more than the array's 2 elements; the rest is not loaded"),
            std::string::npos);
  EXPECT_NE(warnings.find("\"three.txt\": it holds more"), std::string::npos) << warnings;
}

TEST_F(ArrayFiles, AShortFileLoadsWhatItHoldsAndZeroesTheRest) {
  WriteBytes("six.dat", std::string("\x07\x00\x00\x00\x09\x09", 6));
  ASSERT_TRUE(Run(
      "dim a(9)\n"
      "for i = 0 to 9 : a(i) = 100 : next i\n"
      "load number array \"six.dat\", a(0)\n"
      "print a(0); \" \"; a(1); \" \"; a(9)\n"));
  EXPECT_EQ(printed, "7 0 0\n");
}

TEST_F(ArrayFiles, AMissingFileIsMadeEmptyAndLoadsAsEmpty) {
  ASSERT_TRUE(Run(
      "dim a(2) : a(1) = 5\n"
      "dim s$(2) : s$(1) = \"x\"\n"
      "load number array \"none.dat\", a(0)\n"
      "load string array \"none.txt\", s$(0)\n"
      "print a(1); \"[\"; s$(1); \"]\"\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "0[]\n");
  EXPECT_TRUE(fs::exists(Folder() / "none.dat"));
}

TEST_F(ArrayFiles, StringArraysRoundTripAsLines) {
  ASSERT_TRUE(Run(
      "dim s$(4)\n"
      "s$(0) = \"first\" : s$(2) = \"third one\"\n"
      "save string array \"strings.txt\", s$(0)\n"
      "dim t$(4)\n"
      "t$(4) = \"old\"\n"
      "load string array \"strings.txt\", t$(0)\n"
      "for i = 0 to 4 : out$ = out$ + \"[\" + t$(i) + \"]\" : next i\n"
      "print out$\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "[first][][third one][][]\n");
  EXPECT_EQ(ReadBytes("strings.txt"), "first\r\n\r\nthird one\r\n\r\n\r\n");
  EXPECT_EQ(vm.errors.internal_code, array_load_stage::kFinished);
}

TEST_F(ArrayFiles, AFailedSaveKeepsTheEarlierFile) {
  WriteBytes("kept.dat", "earlier");
  fs::create_directory(Folder() / "folder.dat");
  ASSERT_TRUE(Run("dim a(1)\nsave number array \"folder.dat\", a(0)\n"));
  EXPECT_EQ(Code(), err::kFileFailed);
  ASSERT_TRUE(Run("dim a(1)\nsave number array \"nofolder\\x.dat\", a(0)\n"));
  EXPECT_EQ(Code(), err::kFileFailed);
  ASSERT_TRUE(Run("dim a(1)\nload number array \"folder.dat\", a(0)\n"));
  EXPECT_EQ(Code(), err::kFileFailed);
  EXPECT_EQ(ReadBytes("kept.dat"), "earlier");
  // An element holding CR LF is refused for what it is; the file stays.
  ASSERT_TRUE(Run("dim s$(1)\ns$(1) = \"a\" + chr$(13) + chr$(10)\nsave string array \"kept.dat\", s$(0)\n"));
  EXPECT_EQ(Code(), err::kElementHoldsLineEnd);
  EXPECT_EQ(ReadBytes("kept.dat"), "earlier");
}

TEST_F(ArrayFiles, RefusesAnArrayThatIsNotDimensioned) {
  ASSERT_TRUE(Run("dim a(1)\nundim a()\nsave number array \"x.dat\", a(0)\n"));
  EXPECT_EQ(Code(), err::kNotAnArray);
  EXPECT_FALSE(fs::exists(Folder() / "x.dat"));
}

}  // namespace
}  // namespace zv::test
