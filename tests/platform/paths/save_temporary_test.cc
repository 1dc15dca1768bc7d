#include "platform/paths/save_temporary.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "platform/paths/file_save.h"
#include "platform/paths/temp_folder.h"

namespace zv::platform {
namespace {

namespace fs = std::filesystem;

std::set<std::string> NamesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// Runs `save` in a child process that is killed outright once it has
// written half of its content, as the out-of-memory killer would.
void KillMidSave(const std::function<void()>& save) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    save();
    ::_exit(1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
}

// A program killed mid-save leaves nothing behind, whether the file had
// other names (its content waits elsewhere and is copied in) or not.
TEST(SaveTemporaryTest, ASaveKilledMidwayLeavesNothing) {
  TempFolder temp;
  std::ofstream(temp.File("plain.dat")) << "old";
  std::ofstream(temp.File("linked.dat")) << "old";
  fs::create_hard_link(temp.File("linked.dat"), temp.File("other.dat"));
  const std::set<std::string> before = NamesIn(temp.Path());
  for (const char* name : {"plain.dat", "linked.dat", "new.dat"}) {
    SCOPED_TRACE(name);
    KillMidSave([&] {
      auto save = FileSave::Begin(temp.File(name));
      if (!save || !save->Write(std::string(1 << 20, 'x'))) return;
      ::raise(SIGKILL);
    });
    EXPECT_EQ(NamesIn(temp.Path()), before);
  }
  std::ifstream in(temp.File("linked.dat"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
}

// Where temporaries are named, one whose owner has ended goes with the next
// temporary made in its folder; a live one, another user's, a link and
// other names stay.
TEST(SaveTemporaryTest, NamedTemporariesOfEndedSavesAreRemoved) {
  TempFolder temp;
  auto live = MakeNamedSaveTemporary(temp.Path());
  ASSERT_TRUE(live);
  ASSERT_FALSE(live->name.empty());
  auto ended = MakeNamedSaveTemporary(temp.Path());
  ASSERT_TRUE(ended);
  ::close(ended->fd);  // its owner ends without removing it
  const std::string ended_name = fs::path(ended->name).filename();
  fs::create_symlink(ended->name, temp.File(".zv-save-link00"));
  std::ofstream(temp.File(".zv-save-other-name")) << "kept";
  std::ofstream(temp.File(".zv-write-abcdef")) << "kept";  // an older build's: never locked
  std::set<std::string> kept = NamesIn(temp.Path());
  kept.erase(ended_name);
  if (::geteuid() == 0) {
    auto others = MakeNamedSaveTemporary(temp.Path());
    ASSERT_TRUE(others);
    ASSERT_EQ(::fchown(others->fd, 65534, 65534), 0);
    ::close(others->fd);
    kept.insert(fs::path(others->name).filename());
  }

  auto next = MakeNamedSaveTemporary(temp.Path());
  ASSERT_TRUE(next);
  kept.insert(fs::path(next->name).filename());
  EXPECT_EQ(NamesIn(temp.Path()), kept);
  EXPECT_EQ(RemoveEndedSaves(temp.Path()), 0u);
  ::close(live->fd);
  ::close(next->fd);
  EXPECT_EQ(RemoveEndedSaves(temp.Path()), 2u);
}

// An unnamed temporary is named whole, and never over a file that is there.
TEST(SaveTemporaryTest, AnUnnamedTemporaryIsNamedOnlyWhereNothingIs) {
  TempFolder temp;
  auto unnamed = MakeSaveTemporary(temp.Path());
  ASSERT_TRUE(unnamed);
  if (!unnamed->name.empty()) GTEST_SKIP() << "this file system has no unnamed files";
  EXPECT_TRUE(NamesIn(temp.Path()).empty());
  ASSERT_EQ(::write(unnamed->fd, "new", 3), 3);
  std::ofstream(temp.File("taken.dat")) << "old";
  errno = 0;
  EXPECT_FALSE(NameSaveTemporary(unnamed->fd, temp.File("taken.dat")));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_TRUE(NameSaveTemporary(unnamed->fd, temp.File("new.dat")));
  const auto interim = NameSaveTemporaryIn(unnamed->fd, temp.Path());
  ASSERT_TRUE(interim);
  ::close(unnamed->fd);
  std::ifstream in(temp.File("new.dat"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
  EXPECT_EQ(NamesIn(temp.Path()).size(), 3u);
}

}  // namespace
}  // namespace zv::platform
