// A program's own libraries: loaded into slots, tested, called with 0 to 9
// arguments of any type, and freed.
#include "services/system/user_library_commands.h"
#include "tests/services/files/services_program.h"
#include "tests/support/test_paths.h"

namespace zv::test {
namespace {

namespace err = user_library_error;

class UserLibraryCommands : public ServicesProgramTest {
 protected:
  void SetUp() override {
    ServicesProgramTest::SetUp();
    fs::copy_file(zv::test::TestUserLibrary(), Folder() / "tools.so");
  }
  void TearDown() override {
    system.UnloadUserLibraries();
    ServicesProgramTest::TearDown();
  }
};

TEST_F(UserLibraryCommands, CallWithZeroToNineArgumentsInOrder) {
  std::string program = "load user dll \"Tools.dll\", 1\nprint call user dll(1, \"answer\")\n";
  std::string args;
  for (int n = 1; n <= 9; ++n) {
    args += ", " + std::to_string(n);
    program += "print call user dll(1, \"digits" + std::to_string(n) + "\"" + args + ")\n";
  }
  program += "call user dll 1, \"digits9\", 1, 2, 3, 4, 5, 6, 7, 8, 9\n";
  ASSERT_TRUE(Run(program));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "42\n1\n12\n123\n1234\n12345\n123456\n1234567\n12345678\n123456789\n");
}

TEST_F(UserLibraryCommands, StringsAndFloatsPassAsTheirWords) {
  ASSERT_TRUE(Run(
      "load user dll \"tools.so\", 7\n"
      "name$ = \"quiet words\"\n"
      "print call user dll(7, \"length_of\", name$)\n"
      "call user dll 7, \"shout\", name$\n"
      "print name$\n"
      "half = call user dll(7, \"half_of\", 3.0)\n"
      "print half\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "11\nQUIET WORDS\n1069547520\n");  // the bits of 1.5
}

TEST_F(UserLibraryCommands, SlotsAreTestedAndFreed) {
  ASSERT_TRUE(Run(
      "print user dll exists(2)\n"
      "load user dll \"tools.so\", 2\n"
      "print user dll exists(2); user dll call exists(2, \"answer\"); user dll call exists(2, \"nothing\");"
      " user dll call exists(3, \"answer\")\n"
      "free user dll 2\n"
      "print user dll exists(2)\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "0\n1100\n0\n");
}

TEST_F(UserLibraryCommands, Errors) {
  struct Case {
    const char* program;
    int32_t code;
    bool warning;
  };
  const Case cases[] = {
      {"load user dll \"tools.so\", 0", err::kSlotNumber, false},
      {"load user dll \"tools.so\", 256", err::kSlotNumber, false},
      {"load user dll \"tools.so\", 1\nload user dll \"tools.so\", 1", err::kSlotInUse, false},
      {"load user dll \"missing.dll\", 1", err::kLoadFailed, true},
      {"free user dll 4", err::kSlotEmpty, false},
      {"call user dll 4, \"answer\"", err::kSlotEmpty, false},
      {"x = user dll exists(-1)", err::kSlotNumber, false},
      {"x = user dll call exists(999, \"answer\")", err::kSlotNumber, false},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Run(std::string(c.program) + "\n"));
    EXPECT_EQ(Code(), c.code) << c.program;
    EXPECT_EQ(vm.errors.warning, c.warning) << c.program;
    system.UnloadUserLibraries();
  }
}

TEST_F(UserLibraryCommands, AMissingFunctionGivesZero) {
  ASSERT_TRUE(Run("load user dll \"tools.so\", 1\nr = 5\nr = call user dll(1, \"nothing\")\n"));
  EXPECT_EQ(Code(), err::kNoSuchFunction);
  EXPECT_EQ(vm.IntAt(Slot{slots::kIntVar}), 0);
}

TEST_F(UserLibraryCommands, AFaultInsideTheLibraryEndsTheRunWithAnError) {
  ASSERT_TRUE(Run("load user dll \"tools.so\", 1\ncall user dll 1, \"fault\"\nprint \"after\"\n"));
  EXPECT_EQ(Code(), 10010);
  EXPECT_EQ(printed, "");
}

TEST_F(UserLibraryCommands, FreeingTheProgramUnloadsEveryLibrary) {
  ASSERT_TRUE(Run("load user dll \"tools.so\", 1\nload user dll \"tools.so\", 255\n"));
  EXPECT_TRUE(system.Libraries().Loaded(255));
  system.UnloadUserLibraries();
  EXPECT_FALSE(system.Libraries().Loaded(1));
  EXPECT_FALSE(system.Libraries().Loaded(255));
}

}  // namespace
}  // namespace zv::test
