// A system library that only some programs need, missing from the machine:
// every program starts, and the first command that needs the library ends
// the run with an error naming it, at that command's line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/paths/temp_folder.h"
#include "tests/support/test_paths.h"

namespace {

namespace fs = std::filesystem;

struct Row {
  const char* library;
  const char* program;  // lines ending with "\n"
  const char* place;    // where the run must end
};

// A MIDI file of one note, written by the program itself.
#define ZV_WRITE_SONG                                                                 \
  "open file to write 1, \"beat.mid\"\n"                                              \
  "for i = 1 to 34 : read b : write file byte 1, b : next i\n"                        \
  "close file 1\n"                                                                    \
  "data 77, 84, 104, 100, 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 77, 84, 114, 107, 0, 0, 0\n" \
  "data 12, 0, 144, 60, 64, 96, 128, 60, 64, 0, 255, 47, 0\n"

const Row kRows[] = {
    {"libfreetype.so.6", "x = 1\nprint \"hello\"\n", "(line 2: print)"},
    {"libfontconfig.so.1", "x = 1\nprint text width(\"hello\")\n", "(line 2: text width)"},
    {"libavformat.so.59", "x = 1\nload animation \"clip.avi\", 1\n", "(line 2: load animation)"},
    {"libswscale.so.6", "x = 1\nload animation \"clip.avi\", 1\n", "(line 2: load animation)"},
    {"libswresample.so.4", "x = 1\nload music \"song.mp3\", 1\n", "(line 2: load music)"},
    {"libfluidsynth.so.3", ZV_WRITE_SONG "load music \"beat.mid\", 1\n", "(line 6: load music)"},
    {"libcurl.so.4", "x = 1\nftp connect \"127.0.0.1\", \"user\", \"secret\"\n", "(line 2: ftp connect)"},
    {"libenet.so.7", "x = 1\nchecklist net connections\n", "(line 2: checklist net connections)"},
    {"libcrypto.so.3", "checklist net connections\nset net connection 1\n", "(line 2: set net connection)"},
    {"libtiff.so.6",
     "open file to write 1, \"p.tif\"\nwrite file byte 1, 73 : write file byte 1, 73\n"
     "write file byte 1, 42 : write file byte 1, 0\nclose file 1\nload image \"p.tif\", 1\n",
     "(line 5: load image)"},
};

struct Outcome {
  int status = -1;
  std::string errors;
};

// `run` is the command line before the program, on a machine without a
// display.
Outcome RunWithout(const std::string& library, const std::string& program,
                   const std::string& run = "run --headless") {
  zv::platform::TempFolder folder;
  const fs::path work(folder.Path());
  std::ofstream(work / "prog.kqa", std::ios::binary) << program << "end\n";
  const std::string command = "cd '" + work.string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY " +
                              "ZV_TEST_MISSING_LIBRARIES='" + library + "' '" + zv::test::ZentrovexBinary() + "' " +
                              run + " prog.kqa 2>&1 >/dev/null";
  Outcome outcome;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return outcome;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) outcome.errors.append(buffer, n);
  const int status = ::pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

TEST(MissingLibraries, EndTheRunAtTheCommandThatNeedsThem) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.library);
    const Outcome outcome = RunWithout(row.library, row.program);
    // 1: the program ran and ended on an error (a failed start is 3).
    EXPECT_EQ(outcome.status, 1) << outcome.errors;
    EXPECT_NE(outcome.errors.find(std::string("The system library ") + row.library + " could not be loaded"),
              std::string::npos)
        << outcome.errors;
    EXPECT_NE(outcome.errors.find(row.place), std::string::npos) << outcome.errors;
  }
}

TEST(MissingLibraries, AreNotLoadedByAProgramThatDoesNotNeedThem) {
  std::string every;
  for (const Row& row : kRows) every += std::string(row.library) + " ";
  const Outcome outcome = RunWithout(every + "libSDL2-2.0.so.0 libX11.so.6 libopenal.so.1",
                                     "x = 1\nopen file to write 1, \"a.txt\"\nclose file 1\n");
  EXPECT_EQ(outcome.status, 0) << outcome.errors;
  EXPECT_EQ(outcome.errors, "");
}

// Without a display a run is headless, asked or not: no window and no
// sound device, and the CD commands find the disc of headless runs.
TEST(MissingLibraries, AreNotLoadedByARunWithoutADisplay) {
  const Outcome outcome =
      RunWithout("libSDL2-2.0.so.0 libX11.so.6 libopenal.so.1", "load cd music 2, 1\nplay music 1\n", "run");
  EXPECT_EQ(outcome.status, 0) << outcome.errors;
  EXPECT_EQ(outcome.errors, "");
}

}  // namespace
