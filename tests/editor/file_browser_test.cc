#include "editor/file_browser.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "editor/language_texts.h"
#include "platform/paths/temp_folder.h"

namespace zv::editor {
namespace {

class Browser : public ::testing::Test {
 protected:
  void Touch(const std::string& name) { std::ofstream(temp_.File(name)) << "x"; }
  void Folder(const std::string& name) { ::mkdir(temp_.File(name).c_str(), 0755); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const FileListEntry& e : browser_.Entries()) names.push_back(e.name);
    return names;
  }

  platform::TempFolder temp_;
  FileBrowser browser_;
};

TEST_F(Browser, ListsFoldersThenProgramsThenExecutablesThenTheRestByName) {
  for (const char* f : {"b.txt", "Zed.KQA", "a.kqa", "run.EXE", "A.png", "game", "tool.sh"}) Touch(f);
  for (const char* d : {"sub", "Alpha"}) Folder(d);
  // Executables are known by their mode, not by a name ending in ".exe".
  ::chmod(temp_.File("game").c_str(), 0755);
  ::chmod(temp_.File("tool.sh").c_str(), 0700);
  browser_.SetFolder(temp_.Path());
  browser_.SetKind(kind::kLoad);
  browser_.RefreshFileList();
  const std::string parent(LanguageText(Text::kParentFolder));
  EXPECT_EQ(Names(), (std::vector<std::string>{parent, "Alpha", "sub", "a.kqa", "Zed.KQA", "game", "tool.sh", "A.png",
                                               "b.txt", "run.EXE"}));
  EXPECT_EQ(browser_.Entries()[3].type, EntryType::kSource);
  EXPECT_EQ(browser_.Entries()[4].type, EntryType::kSource);  // as older versions saved them
  EXPECT_EQ(browser_.Entries()[3].date.size(), 16u);
  EXPECT_EQ(browser_.Entries()[5].type, EntryType::kExecutable);
  EXPECT_EQ(browser_.Entries()[9].type, EntryType::kFile);

  browser_.SetKind(kind::kBuild);  // folders and executables only
  browser_.RefreshFileList();
  EXPECT_EQ(Names(), (std::vector<std::string>{parent, "Alpha", "sub", "game", "tool.sh"}));
  browser_.SetKind(kind::kProject);  // folders only, no way up
  browser_.RefreshFileList();
  EXPECT_EQ(Names(), (std::vector<std::string>{"Alpha", "sub"}));
}

// Every entry of a large folder is listed, in the list's order, and reached
// by scrolling: the wheel's rows, the thumb dragged to the bottom of its
// track (a thumb still to be seen and taken) and the arrow below it. A
// folder larger than the list holds is listed in part, its first entries by
// name without a gap, and says so.
TEST_F(Browser, ListsEveryEntryAndReachesTheLastByScrolling) {
  for (int i = 0; i < 1000; ++i) Touch("p" + std::to_string(1000 + i) + ".kqa");
  browser_.SetFolder(temp_.Path());
  browser_.SetKind(kind::kLoad);
  browser_.RefreshFileList();
  ASSERT_EQ(browser_.Entries().size(), 1001u);
  EXPECT_EQ(browser_.Entries().back().name, "p1999.kqa");
  EXPECT_FALSE(browser_.Partial());
  const int32_t last_first = 1001 - FileBrowser::kRows;
  while (browser_.ScrollBy(3)) {}
  EXPECT_EQ(browser_.First(), last_first);
  EXPECT_FALSE(browser_.ScrollBy(1));

  const auto font = GlyphFont::Create(*platform::CreateTextService());
  ASSERT_TRUE(font);
  browser_.ResetList();
  EXPECT_EQ(browser_.Click(*font, 395, 47), ListClick::kMoved);  // the thumb's top
  ASSERT_TRUE(browser_.Dragging());
  browser_.UpdateListDrag(400, 0, false);  // far below the track
  EXPECT_EQ(browser_.First(), last_first);
  browser_.Click(*font, 395, 150);  // the thumb, at the bottom
  ASSERT_TRUE(browser_.Dragging());
  browser_.UpdateListDrag(0, 0, false);
  EXPECT_EQ(browser_.First(), 0);
  browser_.Click(*font, 395, 160);  // the arrow below
  EXPECT_EQ(browser_.First(), 1);

  FileBrowser looking_at_fewer(999);
  looking_at_fewer.SetFolder(temp_.Path());
  looking_at_fewer.RefreshFileList();
  EXPECT_TRUE(looking_at_fewer.Partial());
  ASSERT_EQ(looking_at_fewer.Entries().size(), 1000u);
  for (size_t i = 1; i < 1000; ++i) EXPECT_EQ(looking_at_fewer.Entries()[i].name, "p" + std::to_string(999 + i) + ".kqa");
}

TEST_F(Browser, AFolderThatCannotBeReadIsEmptyWithAMessage) {
  browser_.SetFolder(temp_.File("no such folder"));
  browser_.SetKind(kind::kLoad);
  browser_.RefreshFileList();
  EXPECT_EQ(browser_.Entries().size(), 1u);  // only the way up
  EXPECT_EQ(browser_.Message(), LanguageText(Text::kFolderUnreadable));
}

TEST_F(Browser, NamesNeverLeadOutOfTheFolder) {
  Touch("..\\..\\evil.kqa");
  browser_.SetFolder(temp_.Path());
  browser_.SetKind(kind::kLoad);
  browser_.RefreshFileList();
  EXPECT_TRUE(browser_.Lists("..\\..\\evil.kqa"));
  EXPECT_EQ(browser_.PathOf("..\\..\\evil.kqa"), temp_.Path() + "/..\\..\\evil.kqa");
  EXPECT_FALSE(browser_.EnterFolder(".."));
  EXPECT_FALSE(browser_.EnterFolder("a/b"));
  EXPECT_EQ(browser_.Folder(), temp_.Path());
  EXPECT_FALSE(browser_.MakeUniqueFolder("../outside"));
  EXPECT_EQ(browser_.CheckProjectName("../outside"), 9);
}

TEST_F(Browser, GoingUpFromTheRootShowsThePlaces) {
  browser_.SetFolder("/usr");
  browser_.GoToParentFolder();
  EXPECT_EQ(browser_.Folder(), "/");
  browser_.GoToParentFolder();
  EXPECT_EQ(browser_.Folder(), "");
  browser_.RefreshFileList();
  ASSERT_FALSE(browser_.Entries().empty());
  EXPECT_EQ(browser_.Entries()[0].type, EntryType::kDrive);
  EXPECT_EQ(browser_.Entries()[0].name, "/");
}

TEST_F(Browser, ProjectNamesAndNewFolders) {
  Folder("game");
  Touch("notes");
  browser_.SetFolder(temp_.Path());
  browser_.SetKind(kind::kProject);
  browser_.RefreshFileList();
  EXPECT_EQ(browser_.CheckProjectName("GAME"), 0);
  EXPECT_EQ(browser_.CheckProjectName("notes"), 2);
  EXPECT_EQ(browser_.CheckProjectName("fresh"), 1);
  EXPECT_TRUE(browser_.MakeUniqueFolder("game"));
  struct stat st {};
  EXPECT_EQ(::stat(temp_.File("game2").c_str(), &st), 0);
}

}  // namespace
}  // namespace zv::editor
