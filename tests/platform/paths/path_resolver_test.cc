#include "platform/paths/path_resolver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/paths/temp_folder.h"
#include "platform/text/system_text.h"

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

TEST(PathResolver, NamesGoOutInUtf8AndOlderNamesAreStillFound) {
  TempFolder temp;
  const std::string t = temp.Path() + "/";
  std::filesystem::create_directories(t + "donn\xC3\xA9" "es");
  std::filesystem::create_directories(t + "vieux\xE9");
  std::ofstream(t + "vieux\xE9/Sauv\xE9.DAT") << "x";
  std::ofstream(t + "both\xE9") << "x";
  std::ofstream(t + "both\xC3\xA9") << "x";
  std::ofstream(t + "arrow\xE2\x86\x92") << "x";
  std::filesystem::create_directories(t + "a\xC2\x85" "b");
  struct Case {
    const char* what;
    std::string program;
    std::string found;
  } cases[] = {
      {"a folder in UTF-8", "donn\xE9" "es\\new.txt", "donn\xC3\xA9" "es/new.txt"},
      {"a new name", "caf\xE9.txt", "caf\xC3\xA9.txt"},
      {"an older build's names, in any case", "VIEUX\xE9\\sauv\xE9.dat", "vieux\xE9/Sauv\xE9.DAT"},
      {"a new name in an older folder", "vieux\xE9/neuf\xE9", "vieux\xE9/neuf\xC3\xA9"},
      {"the UTF-8 name before the older one", "both\xE9", "both\xC3\xA9"},
      {"a listed name the page lacks", "arrow\x81U+2192\x81", "arrow\xE2\x86\x92"},
      {"a marked \"\\\" and drive, inside one name", "C\x81" "003A\x81..\x81" "005C\x81k", "C:..\\k"},
      {"a folder that holds U+0085, by the mark that reaches it", "A\x81" "0085\x81" "B\\new", "a\xC2\x85" "b/new"},
  };
  PathResolver paths;
  for (const Case& c : cases) EXPECT_EQ(paths.Resolve(t + c.program), t + c.found) << c.what;
  // Such a mark makes no name.
  EXPECT_THROW(paths.Resolve(t + "a\x81" "0085\x81" "c"), RefusedName);
  // A folder the system gave is taken as it is, also one in UTF-8.
  EXPECT_EQ(paths.ResolveFrom(t + "donn\xC3\xA9" "es", "\xE9t\xE9"), t + "donn\xC3\xA9" "es/\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(paths.ResolveFrom(t + "donn\xC3\xA9" "es", t + "VIEUX\xE9"), t + "vieux\xE9");
}

}  // namespace
}  // namespace zv::platform
