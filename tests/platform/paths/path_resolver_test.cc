#include "platform/paths/path_resolver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/paths/temp_folder.h"

namespace zv::platform {
namespace {

TEST(PathResolver, ConvertsSeparatorsAndDrives) {
  PathResolver paths;
  EXPECT_EQ(paths.ToNative("media\\ships\\a.bmp"), "media/ships/a.bmp");
  EXPECT_EQ(paths.ToNative("C:\\games\\x.dat"), "/games/x.dat");
  paths.MapDrive('d', "/mnt/cd");
  EXPECT_EQ(paths.ToNative("D:\\track.wav"), "/mnt/cd/track.wav");
  EXPECT_EQ(paths.ToNative("d:/track.wav"), "/mnt/cd/track.wav");
  EXPECT_EQ(paths.ToNative("plain.txt"), "plain.txt");
}

TEST(PathResolver, MatchesExistingNamesWithoutRegardToCase) {
  TempFolder temp;
  std::filesystem::create_directories(temp.Path() + "/Media/Ships");
  std::ofstream(temp.Path() + "/Media/Ships/Hero.BMP") << "x";
  PathResolver paths;
  EXPECT_EQ(paths.Resolve(temp.Path() + "\\MEDIA\\ships\\hero.bmp"), temp.Path() + "/Media/Ships/Hero.BMP");
  // A file still to be made keeps its spelling after the folders that exist.
  EXPECT_EQ(paths.Resolve(temp.Path() + "/media/ships/New.dat"), temp.Path() + "/Media/Ships/New.dat");
  EXPECT_EQ(paths.Resolve(temp.Path() + "/nothing/here.txt"), temp.Path() + "/nothing/here.txt");
}

TEST(PathResolver, MatchingIsRelativeToTheCurrentFolder) {
  TempFolder temp;
  std::ofstream(temp.Path() + "/Level1.MAP") << "x";
  auto previous = std::filesystem::current_path();
  std::filesystem::current_path(temp.Path());
  EXPECT_EQ(PathResolver().Resolve("level1.map"), "Level1.MAP");
  std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace zv::platform
