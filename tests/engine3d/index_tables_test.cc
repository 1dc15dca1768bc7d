#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine3d/objects/child_lists.h"
#include "engine3d/objects/index_list.h"
#include "engine3d/objects/model_users.h"
#include "engine3d/render/texture_cache.h"

namespace zv {
namespace {

// Objects joining and leaving the animated list in any order: the walk keeps
// joining order, a second join keeps the first place, and one that left and
// joins again goes to the end.
TEST(IndexList, KeepsJoiningOrderThroughLeavesAndRejoins) {
  IndexList list;
  for (int32_t i : {5, 2, 9, 2, 7, 0, 12}) list.Append(i);
  EXPECT_EQ(list.Items(), (std::vector<int32_t>{5, 2, 9, 7, 0, 12}));
  list.Remove(5);   // the head
  list.Remove(12);  // the tail
  list.Remove(9);   // the middle
  list.Remove(3);   // never joined
  EXPECT_EQ(list.Items(), (std::vector<int32_t>{2, 7, 0}));
  list.Append(5);
  list.Append(9);
  EXPECT_EQ(list.Items(), (std::vector<int32_t>{2, 7, 0, 5, 9}));
  EXPECT_TRUE(list.Contains(0));
  EXPECT_FALSE(list.Contains(12));
  EXPECT_EQ(list.Size(), 5u);
  list.Clear();
  EXPECT_TRUE(list.Items().empty());
  list.Append(4);
  EXPECT_EQ(list.Items(), std::vector<int32_t>{4});
}

// Children glued to parents, moved between them and let go: each parent
// finds exactly its own.
TEST(ChildLists, EachParentFindsExactlyItsChildren) {
  ChildLists links;
  for (int32_t child = 10; child < 20; ++child) links.Link(child, child % 3 + 1);
  links.Link(13, 3);  // moved from parent 2
  links.Unlink(16);
  links.Link(19, 0);  // no parent: let go
  auto sorted = [&](int32_t parent) {
    std::vector<int32_t> children = links.ChildrenOf(parent);
    std::sort(children.begin(), children.end());
    return children;
  };
  EXPECT_EQ(sorted(1), (std::vector<int32_t>{12, 15, 18}));
  EXPECT_EQ(sorted(2), (std::vector<int32_t>{10}));
  EXPECT_EQ(sorted(3), (std::vector<int32_t>{11, 13, 14, 17}));
  EXPECT_EQ(links.ParentOf(13), 3);
  EXPECT_EQ(links.ParentOf(16), 0);
  EXPECT_EQ(links.ParentOf(99), 0);
  EXPECT_TRUE(links.ChildrenOf(99).empty());
}

// The last of a model's users, in the order they took it, is found also
// after the last ones left; an object that takes another model leaves the
// first.
TEST(ModelUsers, TheLastUserInJoiningOrderIsFoundAfterLeaves) {
  ModelUsers users;
  const auto* rock = reinterpret_cast<const ObjectModel*>(0x1000);
  const auto* tree = reinterpret_cast<const ObjectModel*>(0x2000);
  for (int32_t object : {7, 3, 9, 4}) users.Join(rock, object);
  users.Join(rock, 7);  // already there: keeps its place
  users.Join(tree, 5);
  EXPECT_EQ(users.Last(rock), 4);
  users.Leave(4);
  EXPECT_EQ(users.Last(rock), 9);
  users.Join(tree, 9);
  EXPECT_EQ(users.Last(rock), 3);
  EXPECT_EQ(users.Last(tree), 9);
  users.Leave(3);
  users.Leave(7);
  EXPECT_EQ(users.Last(rock), 0);
  users.Clear();
  EXPECT_EQ(users.Last(tree), 0);
}

// Lookups by key, exact and in any letter case, answer the texture that
// joined first, also once others of the same key have left.
TEST(TextureCache, LookupsAnswerTheFirstJoinedOfAKeyAfterLeaves) {
  TextureCache cache;
  cache.Add(4, "/games/Rock.bmp");
  cache.Add(6, "");  // made from an image: never found
  cache.Add(2, "/games/rock.BMP");
  cache.Add(9, "/games/Rock.bmp");  // a second of the same key
  cache.Add(3, "255");
  EXPECT_EQ(cache.Find("/games/Rock.bmp"), 4);
  EXPECT_EQ(cache.Find(""), 0);
  EXPECT_EQ(cache.Find("/games/ROCK.bmp"), 0);
  EXPECT_EQ(cache.FindNoCase("/games/ROCK.BMP", "none"), 4);
  EXPECT_EQ(cache.FindNoCase("none", "255"), 3);
  cache.Remove(4);
  EXPECT_EQ(cache.Find("/games/Rock.bmp"), 9);
  EXPECT_EQ(cache.FindNoCase("/GAMES/ROCK.BMP", ""), 2);
  cache.Remove(2);
  cache.Remove(9);
  EXPECT_EQ(cache.FindNoCase("/games/rock.bmp", "/games/rock.bmp"), 0);
  EXPECT_TRUE(cache.Contains(6));
  EXPECT_FALSE(cache.Contains(4));
  cache.Clear();
  EXPECT_TRUE(cache.Empty());
}

}  // namespace
}  // namespace zv
