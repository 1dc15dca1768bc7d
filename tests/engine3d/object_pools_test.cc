#include "engine3d/objects/object_pools.h"

#include <gtest/gtest.h>

#include "tests/support/fake_host.h"

namespace zv {
namespace {

class ObjectPools : public ::testing::Test {
 protected:
  HandlerTable handlers;
  test::FakeHost host;
  Vm vm{handlers, host};
  EnginePools pools;
};

TEST_F(ObjectPools, IndexZeroAndMeshOneAreNeverHandedOut) {
  EXPECT_GE(pools.AllocObject(vm), 1);
  EXPECT_GE(pools.AllocMesh(vm), 2);
  EXPECT_GE(pools.AllocTexture(vm), 1);
  EXPECT_FALSE(pools.FreeObject(0));
  EXPECT_FALSE(pools.FreeMesh(1));
}

TEST_F(ObjectPools, GrowByDoublingAndKeepTheirRecords) {
  std::vector<int32_t> taken;
  for (int i = 0; i < 40; ++i) {
    const int32_t index = pools.AllocObject(vm);
    ASSERT_NE(index, kNoRecord);
    pools.objects[index].number = 1000 + i;
    taken.push_back(index);
  }
  EXPECT_GE(pools.objects.Capacity(), 44);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(pools.objects[taken[static_cast<size_t>(i)]].number, 1000 + i);
  EXPECT_EQ(vm.errors.code, 0);
}

TEST_F(ObjectPools, AllocatedObjectsAreClearedWithThirtyTwoLimbs) {
  const int32_t index = pools.AllocObject(vm);
  pools.objects[index].number = 7;
  pools.objects[index].Limb(3)->in_use = 1;
  ASSERT_TRUE(pools.FreeObject(index));
  EXPECT_FALSE(pools.FreeObject(index));
  const int32_t again = pools.AllocObject(vm);
  EXPECT_EQ(again, index);
  EXPECT_EQ(pools.objects[again].number, 0);
  EXPECT_EQ(pools.objects[again].LimbCapacity(), 32);
  EXPECT_EQ(pools.objects[again].Limb(3)->in_use, 0);
}

TEST_F(ObjectPools, ResetEmptiesThePoolsAndTheNumberMaps) {
  pools.object_ids.Set(5, pools.AllocObject(vm));
  pools.mesh_ids.Set(5, pools.AllocMesh(vm));
  pools.Reset();
  EXPECT_EQ(pools.object_ids.Get(5), 0);
  EXPECT_EQ(pools.mesh_ids.Get(5), 0);
  EXPECT_EQ(pools.objects.Count(), 1);
  EXPECT_EQ(pools.meshes.Count(), 2);
}

TEST(Limbs, InitialisedLimbsHaveTheirDefaultsAndTheArrayGrows) {
  ObjectRecord o;
  o.limbs = std::make_shared<LimbArray>(32);
  InitLimbRecord(o, 0);
  const LimbRecord& l = *o.Limb(0);
  EXPECT_EQ(l.in_use, 1);
  EXPECT_EQ(l.shown, 1);
  EXPECT_EQ(l.may_link, 1);
  EXPECT_EQ(l.scale, (Vector3f{1, 1, 1}));
  InitLimbRecord(o, 29);
  EXPECT_EQ(o.LimbCapacity(), 64);
  // Far beyond twice the capacity the array still reaches the limb.
  InitLimbRecord(o, 500);
  EXPECT_GT(o.LimbCapacity(), 500);
  EXPECT_EQ(o.Limb(500)->in_use, 1);
  EXPECT_EQ(o.Limb(29)->in_use, 1);
}

}  // namespace
}  // namespace zv
