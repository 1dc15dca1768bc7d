#include "runtime/vm/string_heap.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

TEST(StringHeap, HandleZeroAndDeadHandlesReadEmpty) {
  StringHeap heap;
  EXPECT_EQ(heap.View(0), "");
  EXPECT_EQ(heap.View(12345), "");
  uint32_t h = heap.Make("abc");
  heap.Release(h);
  EXPECT_EQ(heap.View(h), "");
  heap.Release(h);  // a second release is ignored
  EXPECT_EQ(heap.LiveCount(), 0u);
}

TEST(StringHeap, ReleasedHandlesAreReused) {
  StringHeap heap;
  uint32_t a = heap.Make("a");
  heap.Release(a);
  EXPECT_EQ(heap.Make("b"), a);
  EXPECT_EQ(heap.View(a), "b");
}

TEST(StringHeap, ViewsSurviveMakingOtherStrings) {
  StringHeap heap;
  uint32_t first = heap.Make("short");
  std::string_view view = heap.View(first);
  for (int i = 0; i < 10000; ++i) heap.Make(std::to_string(i));
  EXPECT_EQ(view, "short");
}

TEST(StringHeap, AssignMayUseItsOwnText) {
  StringHeap heap;
  uint32_t h = heap.Make("hello world, this is longer than the small buffer");
  heap.Assign(h, heap.View(h).substr(6));
  EXPECT_EQ(heap.View(h), "world, this is longer than the small buffer");
  heap.Assign(h, heap.View(h));
  EXPECT_EQ(heap.View(h), "world, this is longer than the small buffer");
}

}  // namespace
}  // namespace zv
