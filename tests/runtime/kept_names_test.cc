#include "runtime/attached/kept_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/paths/temp_folder.h"

#include <sys/stat.h>
#include <cerrno>

namespace zv {
namespace {

// Copies of a game, and other games, keep names in one list at the same
// time: each update reads the list the other saved, so none is lost, and
// every name is listed for its own game.
TEST(KeptNames, WritersAtTheSameTimeLoseNone) {
  platform::TempFolder temp;
  constexpr int kNames = 150;
  const std::vector<std::string> games = {"game", "game", "other"};
  std::vector<std::thread> writers;
  for (size_t writer = 0; writer < games.size(); ++writer) {
    writers.emplace_back([&, writer] {
      for (int i = 0; i < kNames; ++i)
        EXPECT_TRUE(KeepOnDisk(temp.File("w" + std::to_string(writer) + "_" + std::to_string(i) + ".txt"),
                               games[writer]));
    });
  }
  for (std::thread& writer : writers) writer.join();
  std::ifstream in(temp.File(kKeptListName), std::ios::binary);
  const std::string list{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), static_cast<long>(games.size() * kNames));
  for (size_t writer = 0; writer < games.size(); ++writer) {
    for (int i = 0; i < kNames; i += 7) {
      const std::string name = temp.File("w" + std::to_string(writer) + "_" + std::to_string(i) + ".txt");
      const std::string& game = games[writer];
      EXPECT_TRUE(IsKeptOnDisk(name, game)) << name;
      EXPECT_FALSE(IsKeptOnDisk(name, game == "game" ? "other" : "game")) << name;
    }
  }
}

std::string ReadList(const platform::TempFolder& temp) {
  std::ifstream in(temp.File(kKeptListName), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A list only grows, a line a name, and what another writer adds (or a
// list written anew by an earlier version) is seen at the next question. A
// game answers to its program's name and, for lines of earlier versions, to
// the file name it runs under.
TEST(KeptNames, LinesAreAddedAtTheEndAndReadByEveryGameTheyName) {
  platform::TempFolder temp;
  const KeptGame dodger{"dodger.kqa", "dodger-1.1"};
  ASSERT_TRUE(KeepOnDisk(temp.File("scores.dat"), dodger));
  ASSERT_TRUE(KeepOnDisk(temp.File("Level.txt"), dodger, true));
  ASSERT_TRUE(KeepOnDisk(temp.File("scores.dat"), KeptGame{"dodger.kqa", "dodger"}));  // listed already
  EXPECT_EQ(ReadList(temp), "dodger.kqa\tscores.dat\ndodger.kqa\tLevel.txt\n");
  std::ofstream(temp.File(kKeptListName), std::ios::app) << "dodger\tbyfile.dat\nall.dat\nother.kqa\tmine.dat";
  struct Case {
    const char* name;
    KeptGame game;
    bool exact_case;
    bool kept;
  };
  const Case cases[] = {
      {"scores.dat", {"dodger.kqa", ""}, false, true},       {"SCORES.DAT", {"", "dodger-1.1"}, false, false},
      {"SCORES.DAT", {"dodger.kqa", "x"}, false, true},      {"level.txt", dodger, false, true},
      {"level.txt", dodger, true, false},                    {"Level.txt", dodger, true, true},
      {"byfile.dat", {"dodger.kqa", "dodger"}, false, true}, {"byfile.dat", dodger, false, false},
      {"all.dat", {"other.kqa", ""}, false, true},           {"mine.dat", {"other.kqa", ""}, false, false},
      {"mine.dat", dodger, false, false},                    {"scores.dat", {"", ""}, false, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsKeptOnDisk(temp.File(c.name), c.game, c.exact_case), c.kept) << c.name << " for " << c.game.program;
  // A line without its end is one being written; the next line finishes it.
  ASSERT_TRUE(KeepOnDisk(temp.File("next.dat"), dodger));
  EXPECT_TRUE(IsKeptOnDisk(temp.File("mine.dat"), KeptGame{"other.kqa", ""}));
  EXPECT_TRUE(IsKeptOnDisk(temp.File("next.dat"), dodger));
  // Taken back: only that line goes.
  ASSERT_TRUE(UnkeepOnDisk(temp.File("next.dat"), dodger));
  EXPECT_FALSE(IsKeptOnDisk(temp.File("next.dat"), dodger));
  EXPECT_TRUE(IsKeptOnDisk(temp.File("scores.dat"), dodger));
  // Written anew, shorter, as an earlier version wrote it.
  std::ofstream(temp.File(kKeptListName), std::ios::trunc) << "dodger\tother.dat\n";
  EXPECT_FALSE(IsKeptOnDisk(temp.File("scores.dat"), dodger));
  EXPECT_TRUE(IsKeptOnDisk(temp.File("other.dat"), KeptGame{"", "dodger"}));
}

// A name that cannot be listed says why, and the list stays as it was.
TEST(KeptNames, ANameThatCannotBeListedIsAFailure) {
  platform::TempFolder temp;
  ASSERT_EQ(::mkdir(temp.File("blocked").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(temp.File(std::string("blocked/") + kKeptListName).c_str(), 0755), 0);
  errno = 0;
  EXPECT_FALSE(KeepOnDisk(temp.File("blocked/a.dat"), "game"));
  EXPECT_EQ(errno, EISDIR);
  EXPECT_FALSE(KeepOnDisk(temp.File("two\nlines.dat"), "game"));
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(ReadList(temp), "");
}

}  // namespace
}  // namespace zv
