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
      "print \"[\"; find file name$(); \"] [\"; find file date$(); \"]\"\n"
      "find next\n"));
  // Past the last entry the search names none.
  EXPECT_EQ(printed, "[] -1 []\n. 1\n.. 1\none.txt 0\ntwo 1\n[] []\n");
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
  EXPECT_EQ(printed, "602 f99\n");
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

// A built game carrying `records` (a name and its bytes each) after its
// program, built `built_ago` seconds ago; its reader, as the game's run has
// it, is `attached`.
class BuiltGame : public FileCommands {
 protected:
  void Build(const std::vector<std::pair<std::string, std::string>>& records, int64_t built_ago = 3600) {
    game_ = (Folder() / "game").string();
    WriteBytes("stub", "stub");
    std::FILE* out = std::fopen(game_.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    RecordWriter writer(out);
    bool ok = writer.WriteStub((Folder() / "stub").string(), 0) && writer.AddRecord("prog", {});
    for (const auto& [name, bytes] : records)
      ok = ok && writer.AddRecord(name, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    ok = ok && writer.AddRecord(kBuildTimeRecordName,
                                EncodeBuildTime((static_cast<int64_t>(std::time(nullptr)) - built_ago) * 1000000000));
    ASSERT_TRUE(ok && writer.Finish());
    std::fclose(out);
    fs::remove("stub");
    fs::create_directory(Folder() / "temp");
    StartRun();
  }
  // A new run of the same game: a new reader of its records.
  void StartRun() {
    attached_ = std::make_unique<AttachedData>((Folder() / "temp").string() + "/");
    ASSERT_EQ(attached_->Load(game_, nullptr), AttachedData::LoadResult::kLoaded);
    vm.attached_data = attached_.get();
  }
  void TearDown() override {
    vm.attached_data = nullptr;
    FileCommands::TearDown();
  }

 private:
  std::string game_;
  std::unique_ptr<AttachedData> attached_;
};

// A built game finds the files built into it: what file exists() finds,
// the commands that read a file by its name can read.
TEST_F(BuiltGame, ReadsTheFilesBuiltIntoIt) {
  const std::string words = "hello\r\nworld\r\n";
  Build({{"data\\words.txt", words}});
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
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "1\nhello 101\n");
  EXPECT_EQ(ReadBytes("copy.txt"), words);
  EXPECT_EQ(ReadBytes("pack.dat"), std::string("\x0e\0\0\0", 4) + words);
}

// What a built game writes, replaces or deletes under a name it carries is
// what it finds from then on, in the same run and in the next; the names it
// leaves alone still come from what it carries.
TEST_F(BuiltGame, KeepsWhatItWritesOverWhatItCarries) {
  Build({{"deleted.txt", "carried"}, {"rewritten.txt", "carried"}, {"byte.txt", "carried"},
         {"moved.txt", "carried"}, {"renamed.txt", "carried"}, {"copied.txt", "carried"},
         {"numbers.dat", std::string(4, '\0')}, {"words.dat", "carried\r\n"}, {"kept.txt", "carried"}});
  struct Case {
    const char* what;
    const char* program;      // in the first run
    const char* check;        // in both runs, after it
    const char* printed;      // by the check
  };
  const Case cases[] = {
      {"delete", "delete file \"deleted.txt\"\n", "print file exists(\"deleted.txt\"); file size(\"deleted.txt\")\n",
       "00\n"},
      {"delete and write anew",
       "delete file \"rewritten.txt\"\nopen file to write 1, \"rewritten.txt\"\nwrite file string 1, \"new\"\n"
       "close file 1\n",
       "open file to read 1, \"rewritten.txt\"\nread file string 1, a$\nclose file 1\n"
       "print a$; file size(\"REWRITTEN.txt\")\n",
       "new5\n"},
      {"write a byte", "write byte to file \"byte.txt\", 0, 67\n", "print read byte from file(\"byte.txt\", 0)\n",
       "67\n"},
      {"move", "move file \"moved.txt\", \"away.txt\"\n",
       "print file exists(\"moved.txt\"); file exists(\"away.txt\"); file size(\"away.txt\")\n", "017\n"},
      {"rename", "rename file \"renamed.txt\", \"other.txt\"\n",
       "print file exists(\"renamed.txt\"); file exists(\"other.txt\")\n", "01\n"},
      {"copy", "copy file \"copied.txt\", \"copy.txt\"\n",
       "print file exists(\"copied.txt\"); file size(\"copy.txt\")\n", "17\n"},
      {"save a number array", "dim n(0)\nn(0) = 42\nsave number array \"numbers.dat\", n(0)\n",
       "dim n(0)\nload number array \"numbers.dat\", n(0)\nprint n(0)\n", "42\n"},
      {"save a string array", "dim w$(0)\nw$(0) = \"mine\"\nsave string array \"words.dat\", w$(0)\n",
       "dim w$(0)\nload string array \"words.dat\", w$(0)\nprint w$(0)\n", "mine\n"},
      {"read only", "", "open file to read 1, \"kept.txt\"\nread file string 1, a$\nclose file 1\nprint a$\n",
       "carried\n"},
  };
  for (int run = 0; run < 2; ++run) {
    if (run == 1) StartRun();
    for (const Case& c : cases) {
      ASSERT_TRUE(Run(std::string(run == 0 ? c.program : "") + c.check));
      EXPECT_EQ(Code(), 0) << c.what << " in run " << run;
      EXPECT_EQ(printed, c.printed) << c.what << " in run " << run;
    }
  }
  EXPECT_EQ(ReadBytes("away.txt"), "carried");
}

// The game sees the files it carries as files that exist: it neither makes
// one over them nor opens one to write, as with files on disk.
TEST_F(BuiltGame, TreatsWhatItCarriesAsFilesThatExist) {
  Build({{"here.txt", "carried"}});
  for (const char* program : {"make file \"here.txt\"\n", "open file to write 1, \"here.txt\"\n"}) {
    ASSERT_TRUE(Run(program));
    EXPECT_TRUE(Warned()) << program;
    EXPECT_FALSE(fs::exists(Folder() / "here.txt")) << program;
  }
}

}  // namespace
}  // namespace zv::test
