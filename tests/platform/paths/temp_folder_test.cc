#include "platform/paths/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace zv::platform {
namespace {

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

}  // namespace
}  // namespace zv::platform
