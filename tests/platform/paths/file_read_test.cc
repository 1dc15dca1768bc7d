#include "platform/paths/file_read.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/paths/file_save.h"
#include "platform/paths/temp_folder.h"

namespace zv::platform {
namespace {

void MakeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// Whole: one letter throughout and the size of a save.
bool Whole(const std::vector<uint8_t>& bytes, size_t size) {
  return bytes.size() == size && (bytes.empty() || std::count(bytes.begin(), bytes.end(), bytes[0]) ==
                                                       static_cast<std::ptrdiff_t>(bytes.size()));
}

// Another program saves a file with a second name (so in place) over and
// over, a letter at a time, while this one reads it whole, directly and
// through a stream as the sound library does: every read is one save.
TEST(FileReadTest, ReadersSeeTheOldContentOrTheNewWhileAnotherProgramSavesInPlace) {
  TempFolder temp;
  ::setenv("XDG_STATE_HOME", temp.File("state").c_str(), 1);
  const std::string path = temp.File("level.dat");
  constexpr size_t kSize = 1 << 20;
  MakeFile(path, std::string(kSize, 'A'));
  ASSERT_EQ(::link(path.c_str(), temp.File("second name.dat").c_str()), 0);

  const pid_t saver = ::fork();
  ASSERT_GE(saver, 0);
  if (saver == 0) {
    // A game's saves come a moment apart.
    for (int i = 0;; ++i) {
      SaveFile(path, std::string(kSize, static_cast<char>('B' + i % 20)));
      ::usleep(2000);
    }
  }
  int torn = 0;
  std::set<uint8_t> seen;
  constexpr int kReads = 300;
  for (int i = 0; i < kReads; i += 2) {
    std::optional<std::vector<uint8_t>> whole = ReadWholeFile(path);
    ASSERT_TRUE(whole) << std::strerror(errno);
    torn += Whole(*whole, kSize) ? 0 : 1;
    FileForReading file(path);
    ASSERT_TRUE(file.Opened());
    std::vector<uint8_t> streamed(kSize + 1);
    streamed.resize(std::fread(streamed.data(), 1, streamed.size(), file.Stream()));
    torn += Whole(streamed, kSize) ? 0 : 1;
    seen.insert(whole->empty() ? 0 : (*whole)[0]);
  }
  ::kill(saver, SIGKILL);
  ::waitpid(saver, nullptr, 0);
  ::unsetenv("XDG_STATE_HOME");
  // The saves must have gone on between the reads, or nothing was shown.
  EXPECT_GE(seen.size(), 5u);
  EXPECT_EQ(torn, 0) << "of " << kReads << " reads, with " << seen.size() << " saves seen";
}

// What is not a plain file, or is larger than the reader takes, is refused
// at once with its reason; a pipe never holds the reader.
TEST(FileReadTest, WhatIsNotAPlainFileIsRefusedWithItsReason) {
  TempFolder temp;
  MakeFile(temp.File("ten.txt"), "0123456789");
  MakeFile(temp.File("empty.txt"), "");
  ASSERT_EQ(::mkdir(temp.File("folder").c_str(), 0777), 0);
  ASSERT_EQ(::mkfifo(temp.File("pipe").c_str(), 0666), 0);
  struct Case {
    const char* name;
    uint64_t limit;
    int error;  // 0: read, `size` bytes
    size_t size;
  };
  for (const Case& c : {Case{"ten.txt", 10, 0, 10}, Case{"ten.txt", UINT64_MAX, 0, 10}, Case{"ten.txt", 9, EFBIG, 0},
                        Case{"empty.txt", 0, 0, 0}, Case{"missing.txt", 10, ENOENT, 0},
                        Case{"folder", 10, EISDIR, 0}, Case{"pipe", 10, EINVAL, 0}}) {
    SCOPED_TRACE(std::string(c.name) + " within " + std::to_string(c.limit));
    errno = 0;
    std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(temp.File(c.name), c.limit);
    if (c.error == 0) {
      ASSERT_TRUE(bytes) << std::strerror(errno);
      EXPECT_EQ(bytes->size(), c.size);
    } else {
      EXPECT_FALSE(bytes);
      EXPECT_EQ(errno, c.error) << std::strerror(errno);
    }
  }
}

}  // namespace
}  // namespace zv::platform
