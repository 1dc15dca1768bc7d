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

}  // namespace
}  // namespace zv
