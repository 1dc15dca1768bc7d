#include "platform/paths/temp_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace zv::platform {
namespace {

namespace fs = std::filesystem;

TEST(TempFolder, IsPrivateAndRemovedWithItsContents) {
  std::string path;
  {
    TempFolder a, b;
    ASSERT_TRUE(a.Valid());
    EXPECT_NE(a.Path(), b.Path());
    path = a.Path();
    std::filesystem::create_directories(path + "/sub");
    std::ofstream(a.File("sub/_virtual.dat")) << "x";
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

constexpr auto kMarked = fs::perms::owner_all | fs::perms::sticky_bit;

// What a run that was killed leaves: its folder with the mark, and no
// process holding the folder's lock.
void MakeLeftBehind(const fs::path& folder) {
  fs::create_directories(folder);
  fs::permissions(folder, kMarked);
  std::ofstream(folder / "_virtual.dat") << "media";
}

TEST(TempFolder, OnlyFoldersOfEndedRunsAreRemoved) {
  TempFolder scratch;
  const fs::path base = fs::path(scratch.Path()) / "tmp";
  const fs::path elsewhere = fs::path(scratch.Path()) / "elsewhere";
  MakeLeftBehind(elsewhere);
  fs::create_directories(base);
  TempFolder live(base.string());  // a run still going, in this process
  ASSERT_TRUE(live.Valid());
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> make;
    bool removed;
  };
  const bool root = ::geteuid() == 0;
  const Case cases[] = {
      {"zentrovex-dEAd01", MakeLeftBehind, true},
      // A run still starting (or of a version without the mark).
      {"zentrovex-nomark", [](const fs::path& p) { fs::create_directories(p); }, false},
      {"zentrovex-link01", [&](const fs::path& p) { fs::create_directory_symlink(elsewhere, p); }, false},
      {"zentrovex-file01", [](const fs::path& p) { std::ofstream(p) << "not a folder"; }, false},
      {"zentrovex-open01",
       [](const fs::path& p) {
         MakeLeftBehind(p);
         fs::permissions(p, kMarked | fs::perms::others_all);
       },
       false},
      {"zentrovex-longer01", MakeLeftBehind, false},
      {"zentrovex-dot.01", MakeLeftBehind, false},
      {"other-abcdef", MakeLeftBehind, false},
      // Another user's: only root can make one.
      {"zentrovex-other1",
       [&](const fs::path& p) {
         MakeLeftBehind(p);
         if (root) {
           EXPECT_EQ(::chown(p.c_str(), 65534, 65534), 0);
         }
       },
       !root},
  };
  for (const Case& c : cases) c.make(base / c.name);

  EXPECT_EQ(RemoveStaleTempFolders(base.string()), root ? 1u : 2u);
  for (const Case& c : cases) {
    std::error_code ec;
    const bool present = fs::symlink_status(base / c.name, ec).type() != fs::file_type::not_found;
    EXPECT_EQ(present, !c.removed) << c.name;
  }
  EXPECT_EQ(fs::status(live.Path()).permissions(), kMarked);  // kept though marked
  EXPECT_TRUE(fs::is_empty(live.Path()));
  EXPECT_TRUE(fs::exists(elsewhere / "_virtual.dat"));
}

}  // namespace
}  // namespace zv::platform
