#include "platform/userstate/user_state.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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

TEST(UserState, TheUsersFileLivesInTheXdgConfigFolder) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_CONFIG_HOME", "/home/someone/.cfg", 1);
  EXPECT_EQ(UserState::InConfigFolder().Path(), "/home/someone/.cfg/zentrovex/WIN.INI");
  ::setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
  EXPECT_NE(UserState::InConfigFolder().Path().find("/.config/zentrovex/WIN.INI"), std::string::npos);
  if (old) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace zv::platform
