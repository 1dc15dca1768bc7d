#include "platform/paths/file_save.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>

#include "platform/paths/file_content.h"
#include "platform/paths/kept_folder.h"
#include "platform/paths/save_journal.h"
#include "platform/paths/temp_folder.h"

namespace zv::platform {
namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    names.insert(entry.path().string().substr(folder.size() + 1));
  return names;
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_ino;
}

class FileSaveTest : public ::testing::Test {
 public:
  std::string At(const std::string& name) const { return temp_.File(name); }

 protected:
  TempFolder temp_;
};

// Whatever way the name leads to the file, the file changes, a link stays
// a link, a hard-linked file stays one file, and no temporary is left.
TEST_F(FileSaveTest, ASaveChangesTheFileTheNameLeadsTo) {
  struct Case {
    const char* what;
    std::function<void(const FileSaveTest&)> make;
    const char* saved;      // the name saved
    const char* real;       // the file that must hold the new content
    const char* link;       // a name that must still be a symbolic link, or null
    bool same_file;         // the real file must stay the same file (its other names see the change)
    ExistingFile existing = ExistingFile::kReplace;
  };
  const Case cases[] = {
      {"a plain file", [](const FileSaveTest& t) { Write(t.At("real/real.dat"), "abcd"); }, "real/real.dat",
       "real/real.dat", nullptr, false},
      {"a relative link", [](const FileSaveTest& t) {
         Write(t.At("real/real.dat"), "abcd");
         fs::create_symlink("real/real.dat", t.At("link.dat"));
       }, "link.dat", "real/real.dat", "link.dat", false},
      {"an absolute link", [](const FileSaveTest& t) {
         Write(t.At("real/real.dat"), "abcd");
         fs::create_symlink(t.At("real/real.dat"), t.At("link.dat"));
       }, "link.dat", "real/real.dat", "link.dat", false},
      {"a chain of links", [](const FileSaveTest& t) {
         Write(t.At("real/real.dat"), "abcd");
         fs::create_directories(t.At("sub"));
         fs::create_symlink("../real/real.dat", t.At("sub/second.dat"));
         fs::create_symlink("sub/second.dat", t.At("link.dat"));
       }, "link.dat", "real/real.dat", "sub/second.dat", false},
      {"a link to a file still to be made", [](const FileSaveTest& t) {
         fs::create_symlink("real/real.dat", t.At("link.dat"));
       }, "link.dat", "real/real.dat", "link.dat", false},
      {"a link to a file still to be made, by a save that keeps what is there", [](const FileSaveTest& t) {
         fs::create_symlink("real/real.dat", t.At("link.dat"));
       }, "link.dat", "real/real.dat", "link.dat", false, ExistingFile::kKeep},
      {"a hard link", [](const FileSaveTest& t) {
         Write(t.At("real/real.dat"), "a much longer earlier content");
         fs::create_hard_link(t.At("real/real.dat"), t.At("other.dat"));
       }, "other.dat", "real/real.dat", nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(temp_.Path());
    fs::create_directories(At("real"));
    c.make(*this);
    const std::set<std::string> before = Names(temp_.Path());
    const ino_t inode = Inode(At(c.real));
    ASSERT_TRUE(SaveFile(At(c.saved), std::string_view("new content"), c.existing));
    EXPECT_EQ(Read(At(c.real)), "new content");
    EXPECT_EQ(Read(At(c.saved)), "new content");
    if (c.link) {
      EXPECT_TRUE(fs::is_symlink(At(c.link)));
    }
    if (c.same_file) {
      EXPECT_EQ(Inode(At(c.real)), inode);
    }
    std::set<std::string> after = Names(temp_.Path());
    after.erase(c.real);
    std::set<std::string> expected = before;
    expected.erase(c.real);
    EXPECT_EQ(after, expected);
  }
}

TEST_F(FileSaveTest, AReplacedFileKeepsItsModeAndANewOneTakesTheUmask) {
  Write(At("kept.dat"), "old");
  ::chmod(At("kept.dat").c_str(), 0640);
  const mode_t previous = ::umask(027);
  EXPECT_TRUE(SaveFile(At("kept.dat"), std::string_view("new")));
  EXPECT_TRUE(SaveFile(At("new.dat"), std::string_view("new")));
  EXPECT_TRUE(SaveFile(At("private.dat"), std::string_view("new"), ExistingFile::kReplace, 0600));
  ::umask(previous);
  const auto mode = [&](const char* name) { return fs::status(At(name)).permissions(); };
  EXPECT_EQ(mode("kept.dat"), static_cast<fs::perms>(0640));
  EXPECT_EQ(mode("new.dat"), static_cast<fs::perms>(0640));
  EXPECT_EQ(mode("private.dat"), static_cast<fs::perms>(0600));
}

// A save that cannot be made says why, and changes nothing.
TEST_F(FileSaveTest, WhatCannotBeSavedIsLeftAsItWas) {
  Write(At("old.dat"), "old");
  fs::create_directories(At("folder"));
  fs::create_symlink("loop2", At("loop1"));
  fs::create_symlink("loop1", At("loop2"));
  fs::create_symlink("old.dat", At("link"));
  struct Case {
    const char* name;
    ExistingFile existing;
    int error;
  } const cases[] = {
      {"folder", ExistingFile::kReplace, EISDIR},
      {"loop1", ExistingFile::kReplace, ELOOP},
      {"old.dat", ExistingFile::kKeep, EEXIST},
      {"link", ExistingFile::kKeep, EEXIST},
      {"no/such/folder.dat", ExistingFile::kReplace, ENOENT},
  };
  const std::set<std::string> before = Names(temp_.Path());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    errno = 0;
    EXPECT_FALSE(SaveFile(At(c.name), std::string_view("new"), c.existing));
    EXPECT_EQ(errno, c.error);
  }
  EXPECT_EQ(Read(At("old.dat")), "old");
  EXPECT_EQ(Names(temp_.Path()), before);
}

TEST_F(FileSaveTest, ASaveThatIsNotFinishedLeavesNothing) {
  Write(At("old.dat"), "old");
  {
    auto save = FileSave::Begin(At("old.dat"));
    ASSERT_TRUE(save);
    EXPECT_TRUE(save->Write(std::string_view("half")));
  }
  EXPECT_EQ(Read(At("old.dat")), "old");
  EXPECT_EQ(Names(temp_.Path()), std::set<std::string>{"old.dat"});
}

// A copy holds the same bytes; holes stay holes, or are written as zeros
// over an earlier longer content.
TEST_F(FileSaveTest, ACopyHoldsTheSameBytesAndKeepsHoles) {
  constexpr off_t kSize = 8 << 20;
  {
    const int fd = ::open(At("sparse.dat").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "head", 4, 0), 4);
    ASSERT_EQ(::pwrite(fd, "middle", 6, kSize / 2), 6);
    ASSERT_EQ(::ftruncate(fd, kSize), 0);
    ::close(fd);
  }
  Write(At("filled.dat"), std::string(kSize + 100, 'x'));
  const int from = ::open(At("sparse.dat").c_str(), O_RDONLY);
  const int kept = ::open(At("kept.dat").c_str(), O_WRONLY | O_CREAT, 0644);
  const int filled = ::open(At("filled.dat").c_str(), O_WRONLY);
  EXPECT_TRUE(CopyFileContent(from, kept, Holes::kKeep));
  EXPECT_TRUE(CopyFileContent(from, filled, Holes::kFill));
  ::close(from), ::close(kept), ::close(filled);
  const std::string original = Read(At("sparse.dat"));
  EXPECT_EQ(Read(At("kept.dat")), original);
  EXPECT_EQ(Read(At("filled.dat")), original);
  struct stat st {};
  ::stat(At("kept.dat").c_str(), &st);
  EXPECT_LT(st.st_blocks * 512, kSize / 4);  // where the file system keeps holes at all

  // A part, from where one file stands to the end of another, holes kept;
  // asked past the source's end it copies what there is.
  Write(At("part.dat"), "abc");
  const int source = ::open(At("sparse.dat").c_str(), O_RDONLY);
  const int part = ::open(At("part.dat").c_str(), O_WRONLY);
  ::lseek(source, 2, SEEK_SET);
  ::lseek(part, 0, SEEK_END);
  EXPECT_EQ(CopyFilePart(source, part, kSize - 10, Holes::kKeep), kSize - 10);
  EXPECT_EQ(CopyFilePart(source, part, 100, Holes::kKeep), 8);
  ::close(source), ::close(part);
  EXPECT_TRUE(Read(At("part.dat")) == "abc" + original.substr(2));
}

}  // namespace
}  // namespace zv::platform

namespace zv::platform {
namespace {

// A save in place keeps the old content in a journal until the new is in
// place: a journal whose saver has ended (its lock is free) is put back by
// the next open, one whose saver still works is left to it, and a save in
// place that finishes leaves none.
TEST_F(FileSaveTest, AJournalOfAnEndedSaveInPlaceIsPutBackByTheNextOpen) {
  ::setenv("XDG_STATE_HOME", At("state").c_str(), 1);
  struct Case {
    const char* what;
    bool saver_works;
    const char* left;  // what the file holds after the next open
  };
  for (const Case& c : {Case{"the saver was killed", false, "old content"},
                        Case{"the saver still works", true, "old content, and more"}}) {
    SCOPED_TRACE(c.what);
    Write(At("f.dat"), "old content");
    Write(At("new.dat"), "new content, and more");
    const int fd = ::open(At("f.dat").c_str(), O_RDWR), content = ::open(At("new.dat").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    {
      std::optional<SaveJournal> journal = SaveJournal::Keep(fd, At("f.dat"), content, 21);
      ASSERT_TRUE(journal);
      // The rewrite stops part-way, as a kill would stop it: the part past
      // the old end is in.
      ASSERT_EQ(::pwrite(fd, ", and more", 10, 11), 10);
      ::close(content);
      if (c.saver_works) {
        EXPECT_TRUE(RecoverKilledSave(fd));
        EXPECT_EQ(Read(At("f.dat")), c.left);
        journal->Drop();
      }
      // Otherwise the journal outlives its saver.
    }
    const int reader = ::open(At("f.dat").c_str(), O_RDONLY);
    EXPECT_TRUE(RecoverKilledSave(reader));
    ::close(reader), ::close(fd);
    EXPECT_EQ(Read(At("f.dat")), c.left);
    EXPECT_TRUE(fs::is_empty(At("state/zentrovex/saves")));
  }

  // A save onto a file with a second name goes in place and leaves no journal.
  ASSERT_EQ(::link(At("f.dat").c_str(), At("second.dat").c_str()), 0);
  ASSERT_TRUE(SaveFile(At("f.dat"), std::string_view("a longer new content")));
  EXPECT_EQ(Read(At("second.dat")), "a longer new content");
  EXPECT_TRUE(fs::is_empty(At("state/zentrovex/saves")));
  ::unsetenv("XDG_STATE_HOME");
}

}  // namespace
}  // namespace zv::platform

namespace zv::platform {
namespace {

// The kept folder makes room by removing its oldest files, each named, and
// keeps the newest whatever its size.
TEST_F(FileSaveTest, TheKeptFolderHoldsItsBoundOldestOutFirst) {
  const std::string kept = At("kept");
  fs::create_directory(kept);
  const char* names[] = {"a.kept", "b.replaced", "c.kept"};
  for (int i = 0; i < 3; ++i) {
    Write(kept + "/" + names[i], std::string(100, 'x'));
    const struct timespec when[2] = {{1000 + i, 0}, {1000 + i, 0}};
    ::utimensat(AT_FDCWD, (kept + "/" + names[i]).c_str(), when, 0);
  }
  testing::internal::CaptureStderr();
  MakeRoomInKept(kept, 150, 300);
  EXPECT_EQ(Names(kept), (std::set<std::string>{"c.kept"}));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("removed \"" + kept + "/b.replaced\""), std::string::npos);
  MakeRoomInKept(kept, 1000, 300);
  EXPECT_TRUE(fs::is_empty(kept));
}

}  // namespace
}  // namespace zv::platform
