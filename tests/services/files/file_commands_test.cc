// The file and directory commands, run as compiled BASIC.
#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <ctime>

#include "platform/paths/path_resolver.h"
#include "runtime/attached/attached_data.h"
#include "runtime/builder/record_writer.h"
#include "services/files/directory_tree.h"
#include "services/files/file_commands.h"
#include "tests/services/files/services_program.h"

namespace zv::test {
namespace {

namespace err = file_error;

class FileCommands : public ServicesProgramTest {};

TEST_F(FileCommands, TestFilesAndPathsWithoutRegardToCase) {
  WriteBytes("Data.TXT", "hello");
  fs::create_directory(Folder() / "sub");
  ASSERT_TRUE(Run(
      "print file exists(\"data.txt\"); file exists(\"nothing\"); file exists(\"sub\")\n"
      "print path exists(\"SUB\"); path exists(\"data.txt\"); path exists(\"nothing\")\n"
      "print file size(\"DATA.txt\"); \" \"; file size(\"nothing\")\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "100\n110\n5 0\n");
}

TEST_F(FileCommands, MakesCopiesMovesRenamesAndDeletesFiles) {
  WriteBytes("a.txt", "abc");
  ASSERT_TRUE(Run(
      "make file \"new.txt\"\n"
      "copy file \"a.txt\", \"copy.txt\"\n"
      "move file \"copy.txt\", \"moved.txt\"\n"
      "rename file \"moved.txt\", \"renamed.txt\"\n"
      "delete file \"new.txt\"\n"
      "print file exists(\"new.txt\"); file exists(\"copy.txt\"); file exists(\"moved.txt\")\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "000\n");
  EXPECT_EQ(ReadBytes("renamed.txt"), "abc");
  EXPECT_EQ(ReadBytes("a.txt"), "abc");
}

// Each warning names the file at fault.
TEST_F(FileCommands, RefusesToReplaceOrToActOnWhatIsMissing) {
  struct Case {
    const char* line;
    int32_t warning;
    const char* named;
  };
  const Case cases[] = {
      {"make file \"a.txt\"", err::kMakeFailed, "a.txt"},
      {"copy file \"a.txt\", \"b.txt\"", err::kExists, "b.txt"},
      {"copy file \"missing.txt\", \"c.txt\"", err::kMissing, "missing.txt"},
      {"move file \"a.txt\", \"b.txt\"", err::kExists, "b.txt"},
      {"rename file \"a.txt\", \"b.txt\"", err::kExists, "b.txt"},
      {"rename file \"missing.txt\", \"c.txt\"", err::kRenameFailed, "missing.txt"},
      {"move file \"missing.txt\", \"c.txt\"", err::kMoveFailed, "missing.txt"},
      {"move file \"a.txt\", \"nowhere\\c.txt\"", err::kMoveFailed, "nowhere\\c.txt"},
      {"delete file \"missing.txt\"", err::kNothingToDelete, "missing.txt"},
      {"write byte to file \"missing.txt\", 0, 1", err::kMissing, "missing.txt"},
      {"make directory \"a.txt\"", err::kDirectoryNotMade, "a.txt"},
      {"delete directory \"missing\"", err::kDirectoryMissing, "missing"},
  };
  for (const Case& c : cases) {
    WriteBytes("a.txt", "first");
    WriteBytes("b.txt", "second");
    ASSERT_TRUE(Run(std::string(c.line) + "\n"));
    EXPECT_TRUE(Warned()) << c.line;
    EXPECT_EQ(Code(), c.warning) << c.line;
    EXPECT_EQ(vm.errors.subject, c.named) << c.line;
    EXPECT_EQ(ReadBytes("a.txt"), "first") << c.line;
    EXPECT_EQ(ReadBytes("b.txt"), "second") << c.line;
    EXPECT_FALSE(fs::exists(Folder() / "c.txt")) << c.line;
    host.quits = 0;
  }
}

TEST_F(FileCommands, ReadsAndRewritesSingleBytes) {
  WriteBytes("f.bin", std::string("\x01\xC8\x03", 3));
  ASSERT_TRUE(Run(
      "print read byte from file(\"f.bin\", 1); \" \"; read byte from file(\"f.bin\", 3); \" \";"
      " read byte from file(\"f.bin\", -1)\n"
      "write byte to file \"f.bin\", 0, 321\n"
      "write byte to file \"f.bin\", 3, 9\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "-56 0 0\n");
  EXPECT_EQ(ReadBytes("f.bin"), std::string("\x41\xC8\x03", 3));

  ASSERT_TRUE(Run("write byte to file \"none.bin\", 0, 1\n"));
  EXPECT_EQ(Code(), err::kMissing);
}

TEST_F(FileCommands, MakesEntersAndDeletesFolders) {
  ASSERT_TRUE(Run(
      "make directory \"top\"\n"
      "set directory \"TOP\"\n"
      "print current directory$()\n"
      "make directory \"inner\"\n"
      "make file \"inner\\deep.txt\"\n"
      "set directory \"..\"\n"
      "delete directory \"top\"\n"
      "print path exists(\"top\")\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, (Folder() / "top").string() + "\n0\n");

  ASSERT_TRUE(Run("make directory \"d\"\nmake directory \"d\"\n"));
  EXPECT_EQ(Code(), err::kDirectoryNotMade);
  host.quits = 0;
  ASSERT_TRUE(Run("delete directory \"nowhere\"\n"));
  EXPECT_EQ(Code(), err::kDirectoryMissing);
  host.quits = 0;
  ASSERT_TRUE(Run("set directory \"nowhere\"\n"));
  EXPECT_EQ(Code(), err::kDirectoryNotSet);
  EXPECT_FALSE(vm.errors.warning);
}

TEST_F(FileCommands, DeletingAFolderThatIsAFileLeavesTheWorkingFolderAlone) {
  WriteBytes("keep.txt", "x");
  WriteBytes("plain", "y");
  ASSERT_TRUE(Run("delete directory \"plain\", 0\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_TRUE(fs::exists(Folder() / "keep.txt"));
  EXPECT_TRUE(fs::exists(Folder() / "plain"));
}

TEST_F(FileCommands, DeletingAFolderRemovesLinksButNotWhatTheyPointAt) {
  fs::create_directories(Folder() / "outside");
  WriteBytes("outside/precious.txt", "x");
  fs::create_directories(Folder() / "doomed");
  fs::create_directory_symlink(Folder() / "outside", Folder() / "doomed" / "link");
  ASSERT_TRUE(Run("delete directory \"doomed\"\n"));
  EXPECT_FALSE(fs::exists(Folder() / "doomed"));
  EXPECT_TRUE(fs::exists(Folder() / "outside" / "precious.txt"));
}

// Here a drive, the home folder and the program's folder are folders of the
// test, so a deletion that is not refused only empties those.
TEST_F(FileCommands, NeverEmptiesADrivesRootTheHomeFolderOrTheProgramsFolder) {
  for (const char* folder : {"drive", "home", "games/app", "outside"}) {
    fs::create_directories(Folder() / folder);
    WriteBytes(std::string(folder) + "/keep.txt", "x");
  }
  fs::create_directory_symlink(Folder() / "outside", Folder() / "linked");
  platform::Paths().MapDrive('Q', (Folder() / "drive").string());
  const char* old_home = std::getenv("HOME");
  const std::string saved_home = old_home ? old_home : "";
  ::setenv("HOME", (Folder() / "home").c_str(), 1);
  vm.settings.app_folder = (Folder() / "games" / "app").string() + "/";

  struct Case {
    std::string path;
    const char* kept;
  };
  const Case cases[] = {
      {"Q:\\", "drive/keep.txt"},
      {"q:", "drive/keep.txt"},
      {"home", "home/keep.txt"},
      {(Folder() / "home" / ".." / "home").string(), "home/keep.txt"},
      {"games\\app", "games/app/keep.txt"},
      {"games", "games/app/keep.txt"},  // it holds the program's folder
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Run("delete directory \"" + c.path + "\"\n"));
    EXPECT_TRUE(Warned()) << c.path;
    EXPECT_EQ(Code(), err::kDirectoryKept) << c.path;
    EXPECT_EQ(vm.errors.subject, c.path);
    EXPECT_TRUE(fs::exists(Folder() / c.kept)) << c.path;
    host.quits = 0;
  }
  // A link to a folder goes; the folder it points at stays as it was.
  ASSERT_TRUE(Run("delete directory \"linked\"\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_FALSE(fs::is_symlink(Folder() / "linked"));
  EXPECT_TRUE(fs::exists(Folder() / "outside" / "keep.txt"));

  platform::Paths().MapDrive('Q', "/");
  if (old_home) ::setenv("HOME", saved_home.c_str(), 1);
  else ::unsetenv("HOME");
  // Never run against the real root: the rule that keeps it, by itself.
  EXPECT_TRUE(files::HoldsAnyOf("/", {"/"}));
  EXPECT_TRUE(files::HoldsAnyOf(Folder().string() + "/./..", {Folder().string()}));
  EXPECT_FALSE(files::HoldsAnyOf((Folder() / "outside").string(), {"/", (Folder() / "home").string()}));
}

TEST_F(FileCommands, ListsTheWorkingFolderInCaseBlindOrder) {
  WriteBytes("b.txt", "");
  WriteBytes("A.txt", "");
  fs::create_directory(Folder() / "Middle");
  ASSERT_TRUE(Run("list directory\n"));
  EXPECT_EQ(printed, Folder().string() + ":\n<dir>.\n<dir>..\nA.txt\nb.txt\n<dir>Middle\n");
}

TEST_F(FileCommands, WalksTheFolderWithASearch) {
  WriteBytes("one.txt", "");
  fs::create_directory(Folder() / "two");
  ASSERT_TRUE(Run(
      "print \"[\"; find file name$(); \"] \"; find file type(); \" [\"; find file date$(); \"]\"\n"
      "find first\n"
      "while find file type() <> -1\n"
      "  print find file name$(); \" \"; find file type()\n"
      "  find next\n"
      "endwhile\n"
      "print find file name$()\n"
      "find next\n"));
  EXPECT_EQ(printed, "[] -1 []\n. 1\n.. 1\none.txt 0\ntwo 1\ntwo\n");
  EXPECT_EQ(Code(), err::kFindPastEnd);  // the runtime reports this error as a warning
}

TEST_F(FileCommands, GivesTheEntryDateAsTheCLibraryWritesIt) {
  const char* old_tz = std::getenv("TZ");
  const std::string saved = old_tz ? old_tz : "";
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  WriteBytes("dated.txt", "");
  struct utimbuf times{};
  times.modtime = 741484148;  // 1993-06-30 23:49:08 UTC, a Wednesday
  times.actime = times.modtime;
  ::utime((Folder() / "dated.txt").c_str(), &times);
  ASSERT_TRUE(Run("find first\nfind next\nfind next\nprint find file date$()\n"));
  EXPECT_EQ(printed, "Wed Jun 30 23:49:08 1993\n");
  if (old_tz)
    ::setenv("TZ", saved.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}

TEST_F(FileCommands, FillsTheChecklistWithFilesAndDrives) {
  WriteBytes("only.txt", "");
  ASSERT_TRUE(Run(
      "checklist files\n"
      "print checklist quantity()\n"
      "for i = 1 to 3\n"
      "  print checklist string$(i); \" \"; checklist value a(i)\n"
      "next i\n"
      "checklist drives\n"
      "print checklist string$(1)\n"
      "print checklist value a(1)\n"));
  EXPECT_EQ(printed, "3\n. 1\n.. 1\nonly.txt 0\nA:\n");
  EXPECT_EQ(Code(), 9004);
  EXPECT_FALSE(files.Search().IsOpen());
}

// A folder larger than the checklist: every entry it counts can be read.
TEST_F(FileCommands, AChecklistOfALargeFolderReadsToItsQuantity) {
  for (int i = 0; i < 600; ++i) WriteBytes("f" + std::to_string(i), "");
  ASSERT_TRUE(Run(
      "checklist files\n"
      "for i = 1 to checklist quantity()\n"
      "  last$ = checklist string$(i)\n"
      "next i\n"
      "print checklist quantity(); \" \"; last$\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "511 f556\n");
}

TEST_F(FileCommands, ListsTheDrivesOfThePathTable) {
  ASSERT_TRUE(Run("list drives\nprint current directory$()\n"));
  std::string expected;
  for (char letter = 'A'; letter <= 'Z'; ++letter) expected += std::string(1, letter) + ":\n";
  EXPECT_EQ(printed, expected + Folder().string() + "\n");
}

TEST_F(FileCommands, HandsProgramsAndDocumentsToTheShell) {
  WriteBytes("Tool.sh", "");
  fs::create_directory(Folder() / "work");
  ASSERT_TRUE(Run(
      "execute file \"tool.sh\", \"-a \"+chr$(34)+\"b c\"+chr$(34), \"WORK\"\n"
      "execute file \"http://example.org/Page\", \"\", \"\", 1\n"));
  EXPECT_EQ(Code(), 0);
  ASSERT_EQ(shell.requests.size(), 2u);
  EXPECT_EQ(shell.requests[0].file, "Tool.sh");
  EXPECT_EQ(shell.requests[0].arguments, "-a \"b c\"");
  EXPECT_EQ(shell.requests[0].directory, "work");
  EXPECT_EQ(shell.requests[1].file, "http://example.org/Page");
  EXPECT_EQ(shell.requests[1].directory, "");

  shell.succeed = false;
  ASSERT_TRUE(Run("execute file \"x\", \"\", \"\"\n"));
  EXPECT_EQ(Code(), err::kExecuteFailed);
  files.ReapFinishedChild();
  EXPECT_EQ(shell.reaps, 1);
}

// A built game finds the files built into it: what file exists() finds,
// the commands that read a file by its name can read.
TEST_F(FileCommands, ReadsTheFilesBuiltIntoAGame) {
  const std::string game = (Folder() / "game").string();
  WriteBytes("stub", "stub");
  std::FILE* out = std::fopen(game.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  RecordWriter writer(out);
  const std::string words = "hello\r\nworld\r\n";
  ASSERT_TRUE(writer.WriteStub((Folder() / "stub").string(), 0) && writer.AddRecord("prog", {}) &&
              writer.AddRecord("data\\words.txt", std::vector<uint8_t>(words.begin(), words.end())) &&
              writer.Finish());
  std::fclose(out);
  fs::create_directory(Folder() / "temp");
  AttachedData attached((Folder() / "temp").string() + "/");
  ASSERT_EQ(attached.Load(game, nullptr), AttachedData::LoadResult::kLoaded);
  vm.attached_data = &attached;
  ASSERT_TRUE(Run(
      "print file exists(\"Data\\Words.txt\")\n"
      "open file to read 1, \"data/words.txt\"\n"
      "read file string 1, a$\n"
      "close file 1\n"
      "print a$; \" \"; read byte from file(\"data\\words.txt\", 1)\n"
      "copy file \"data\\words.txt\", \"copy.txt\"\n"
      "open file to write 2, \"pack.dat\"\n"
      "write file block 2, \"data\\words.txt\"\n"
      "close file 2\n"));
  vm.attached_data = nullptr;
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "1\nhello 101\n");
  EXPECT_EQ(ReadBytes("copy.txt"), words);
  EXPECT_EQ(ReadBytes("pack.dat"), std::string("\x0e\0\0\0", 4) + words);
}

}  // namespace
}  // namespace zv::test
