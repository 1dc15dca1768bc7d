#include "platform/userstate/user_state.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/paths/temp_folder.h"

namespace zv::platform {
namespace {

TEST(UserState, WritesCreateTheFolderAndReadsFindTheValue) {
  TempFolder temp;
  UserState state = UserState::InFolder(temp.Path() + "/new/folder");
  EXPECT_EQ(state.Read("ZentrovexStateData", "BEST3DCARD", "none"), "none");
  ASSERT_TRUE(state.Write("ZentrovexStateData", "BEST3DCARD", "**ask**"));
  EXPECT_EQ(state.Read("zentrovexstatedata", "best3dcard", ""), "**ask**");
  EXPECT_TRUE(std::filesystem::exists(temp.Path() + "/new/folder/WIN.INI"));
}

// Puts an environment variable back as it was when the test ends.
class KeptVariable {
 public:
  explicit KeptVariable(const char* name) : name_(name) {
    if (const char* value = std::getenv(name)) value_ = value;
  }
  ~KeptVariable() {
    if (value_) ::setenv(name_, value_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> value_;
};

TEST(UserState, TheUsersFileLivesInTheConfigFolderOfTheUsersOwnHome) {
  KeptVariable xdg("XDG_CONFIG_HOME"), home("HOME");
  ::setenv("XDG_CONFIG_HOME", "/home/someone/.cfg", 1);
  EXPECT_EQ(UserState::InConfigFolder().Path(), "/home/someone/.cfg/zentrovex/WIN.INI");
  ::setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
  ::setenv("HOME", "/home/else", 1);
  EXPECT_EQ(UserState::InConfigFolder().Path(), "/home/else/.config/zentrovex/WIN.INI");
  // Without HOME the passwd entry names the home, never the current folder.
  ::unsetenv("HOME");
  const passwd* entry = ::getpwuid(::getuid());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(UserState::InConfigFolder().Path(), std::string(entry->pw_dir) + "/.config/zentrovex/WIN.INI");
}

}  // namespace
}  // namespace zv::platform
