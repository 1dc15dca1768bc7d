// Starting programs: command lines split as programs expect, and a real
// child started in its folder, collected once it has ended.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/shell/command_arguments.h"
#include "platform/shell/posix_shell.h"

namespace zv::platform {
namespace {

namespace fs = std::filesystem;

TEST(CommandArguments, SplitAtBlanksKeepingQuotedRuns) {
  EXPECT_EQ(SplitCommandArguments("  -a  b\tc "), (std::vector<std::string>{"-a", "b", "c"}));
  EXPECT_EQ(SplitCommandArguments("\"two words\" x\"y z\" \"\""),
            (std::vector<std::string>{"two words", "xy z", ""}));
  EXPECT_TRUE(SplitCommandArguments("").empty());
}

TEST(CommandArguments, AddressesAreNotDrives) {
  EXPECT_TRUE(LooksLikeAddress("http://example.org"));
  EXPECT_TRUE(LooksLikeAddress("mailto:someone@example.org"));
  EXPECT_FALSE(LooksLikeAddress("C:\\games\\x.exe"));
  EXPECT_FALSE(LooksLikeAddress("readme.txt"));
  EXPECT_FALSE(LooksLikeAddress("1http://x"));
}

class RealShell : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_shell_" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "work");
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Waits until every child has been collected. The children end at once,
  // a loaded machine's after a while: only a hang reaches the limit.
  bool CollectAll(PosixShell& shell) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (shell.RunningChildren() > 0 && std::chrono::steady_clock::now() < end) {
      shell.ReapFinishedChildren();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return shell.RunningChildren() == 0;
  }
  fs::path folder_;
};

TEST_F(RealShell, StartsAProgramWithItsArgumentsInItsFolder) {
  const fs::path script = folder_ / "tool.sh";
  std::ofstream(script) << "#!/bin/sh\necho \"$1|$2|$(pwd)\" > out.txt\n";
  ::chmod(script.c_str(), 0755);
  PosixShell shell;
  ASSERT_TRUE(shell.Execute({script.string(), "first \"second arg\"", (folder_ / "work").string()}));
  ASSERT_TRUE(CollectAll(shell));
  std::ifstream in(folder_ / "work" / "out.txt");
  const std::string out(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(out, "first|second arg|" + (folder_ / "work").string() + "\n");
}

TEST_F(RealShell, RefusesWhatCannotBeStarted) {
  PosixShell shell;
  EXPECT_FALSE(shell.Execute({(folder_ / "missing").string(), "", ""}));
  EXPECT_FALSE(shell.Execute({"", "", ""}));
  EXPECT_FALSE(shell.Execute({"/bin/true", "", (folder_ / "nowhere").string()}));
  EXPECT_FALSE(shell.Execute({"zv-no-such-program-anywhere", "", ""}));
  EXPECT_EQ(shell.RunningChildren(), 0u);
}

TEST_F(RealShell, FindsProgramsOnThePath) {
  PosixShell shell;
  ASSERT_TRUE(shell.Execute({"true", "", ""}));
  EXPECT_TRUE(CollectAll(shell));
}

}  // namespace
}  // namespace zv::platform
