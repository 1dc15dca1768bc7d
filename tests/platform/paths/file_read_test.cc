#include "platform/paths/file_read.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
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

// Whether the thread `tid` of this process sleeps: a reader does only in
// its wait for another program's lock.
bool Sleeping(pid_t tid) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
  long number = -1;
  in >> number;
  return number == SYS_nanosleep || number == SYS_clock_nanosleep;
}

// Another program's save in place of a file with a second name is stopped
// while it holds the file, with its journal kept and the part past the old
// end written (neither content). A reader that comes then waits for it, and
// reads the new content when the saver goes on, or the old when the saver is
// killed meanwhile (its journal is looked for again after the wait): never
// the part of each that the file holds while it waits, directly or through
// a stream as the sound library reads it.
TEST(FileReadTest, AReaderWaitsForAStoppedSaveInPlaceAndReadsTheOldContentOrTheNew) {
  TempFolder temp;
  ::setenv("XDG_STATE_HOME", temp.File("state").c_str(), 1);
  const std::string path = temp.File("level.dat");
  constexpr size_t kOld = 1 << 20, kNew = 2 << 20;
  struct Row {
    const char* saver;
    int signal;  // sent to the stopped saver while the reader waits
    char found;  // what the reader reads, throughout
    size_t size;
  };
  using Reader = std::function<std::optional<std::vector<uint8_t>>()>;
  const std::pair<const char*, Reader> readers[] = {
      {"a whole read", [&] { return ReadWholeFile(path); }},
      {"a stream", [&]() -> std::optional<std::vector<uint8_t>> {
         FileForReading file(path);
         if (!file.Opened()) return std::nullopt;
         std::vector<uint8_t> bytes(kNew + 1);
         bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.Stream()));
         return bytes;
       }}};
  for (const auto& [how, reader_of_case] : readers) {
    const Reader& read = reader_of_case;  // a lambda may not take a structured binding
    for (const Row& row : {Row{"goes on", SIGCONT, 'B', kNew}, Row{"is killed", SIGKILL, 'A', kOld}}) {
      SCOPED_TRACE(std::string(how) + ", the saver " + row.saver);
      ::unlink(path.c_str()), ::unlink(temp.File("second name.dat").c_str());
      MakeFile(path, std::string(kOld, 'A'));
      ASSERT_EQ(::link(path.c_str(), temp.File("second name.dat").c_str()), 0);
      const pid_t saver = ::fork();
      ASSERT_GE(saver, 0);
      if (saver == 0) {
        ::setenv("ZV_TEST_STOP_AT", "rewriting", 1);
        ::_exit(SaveFile(path, std::string(kNew, 'B')) ? 0 : 1);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(saver, &status, WUNTRACED), saver);
      ASSERT_TRUE(WIFSTOPPED(status)) << "the saver ended before it was stopped";
      std::optional<std::vector<uint8_t>> got;
      std::atomic<pid_t> reader_tid{0};
      std::atomic<bool> done{false};
      std::thread reader([&] {
        reader_tid = static_cast<pid_t>(::syscall(SYS_gettid));
        got = read();
        done = true;
      });
      // Only a hang reaches the bound: the reader sleeps at once, or reads.
      for (int i = 0; i < 100000 && !done && !(reader_tid && Sleeping(reader_tid)); ++i) ::usleep(100);
      ::kill(saver, row.signal);
      reader.join();
      ::waitpid(saver, &status, 0);
      ASSERT_TRUE(got) << std::strerror(errno);
      EXPECT_TRUE(Whole(*got, row.size) && (*got)[0] == row.found)
          << got->size() << " bytes, first " << (*got)[0] << ", last " << got->back();
    }
  }
  ::unsetenv("XDG_STATE_HOME");
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
