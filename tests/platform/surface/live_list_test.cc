#include "platform/surface/live_list.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace zv::platform {
namespace {

// Thousands of objects come and go; the list visits exactly the live ones in
// the order they were added, and holds not much more than twice them.
TEST(LiveList, VisitsTheLiveInAddingOrderAndStaysSmall) {
  LiveList<int> list;
  std::vector<std::shared_ptr<int>> live;
  for (int i = 0; i < 20000; ++i) {
    live.push_back(std::make_shared<int>(i));
    list.Add(live.back());
    // Keep every seventh object, and the last hundred.
    if (live.size() > 100) {
      auto& old = live[live.size() - 101];
      if (*old % 7 != 0) old.reset();
    }
  }
  std::vector<int> expected, visited;
  for (const auto& p : live)
    if (p) expected.push_back(*p);
  list.ForEach([&](int& n) { visited.push_back(n); });
  EXPECT_EQ(visited, expected);
  EXPECT_LE(list.EntryCount(), 2 * expected.size() + 64);
}

}  // namespace
}  // namespace zv::platform
