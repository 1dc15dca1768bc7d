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

// Of a folder too large for the list the first 256 in the list's order
// are shown: every program, whatever order the folder gives its entries in.
TEST_F(Browser, KeepsTheFirst256Entries) {
  for (int i = 0; i < 300; ++i) Touch("f" + std::to_string(i) + ".txt");
  for (int i = 0; i < 30; ++i) Touch("p" + std::to_string(i) + ".kqa");
  browser_.SetFolder(temp_.Path());
  browser_.SetKind(kind::kLoad);
  browser_.RefreshFileList();
  EXPECT_EQ(browser_.Entries().size(), FileBrowser::kMaxEntries);
  EXPECT_EQ(std::count_if(browser_.Entries().begin(), browser_.Entries().end(),
                          [](const FileListEntry& e) { return e.type == EntryType::kSource; }),
            30);
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
