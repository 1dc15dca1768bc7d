// Meshes and sounds through memory blocks, with the 3D engine and the sound
// system stood in by fakes that keep what they are given.
#include <gtest/gtest.h>

#include <map>

#include "services/memory/little_endian.h"
#include "tests/services/memory/memory_fixture.h"

namespace zv::test {
namespace {

namespace op = memblock_opcode;

// Meshes kept as their arrays, changed in place as the engine does.
class FakeMeshes : public MeshLayoutServices {
 public:
  bool MeshExists(int32_t mesh) override { return meshes.count(mesh) > 0; }
  int32_t GetMeshLayout(int32_t mesh, MeshMemblockLayout* out) override {
    if (!MeshExists(mesh)) return 7003;
    *out = meshes[mesh];
    return 0;
  }
  int32_t MakeMesh(int32_t mesh, const MeshMemblockLayout& arrays) override {
    meshes[mesh] = arrays;
    return 0;
  }
  int32_t ChangeMesh(int32_t mesh, const MeshMemblockLayout& arrays) override {
    if (!MeshExists(mesh)) return 7028;
    MeshMemblockLayout& m = meshes[mesh];
    if (arrays.vertices.size() > m.vertices.size() || arrays.normals.size() > m.normals.size() ||
        arrays.face_data.size() > m.face_data.size())
      return 7028;
    std::copy(arrays.vertices.begin(), arrays.vertices.end(), m.vertices.begin());
    std::copy(arrays.normals.begin(), arrays.normals.end(), m.normals.begin());
    std::copy(arrays.face_data.begin(), arrays.face_data.end(), m.face_data.begin());
    std::copy(arrays.uvs.begin(), arrays.uvs.end(), m.uvs.begin());
    return 0;
  }
  std::map<int32_t, MeshMemblockLayout> meshes;
};

class FakeSounds : public SoundLayoutServices {
 public:
  int32_t ExportSound(int32_t sound, SoundMemblockLayout* out) override {
    if (!sounds.count(sound)) return 3004;
    *out = sounds[sound];
    return 0;
  }
  int32_t ImportSound(int32_t sound, const SoundMemblockLayout& layout) override {
    if (refuse) return 3004;
    sounds[sound] = layout;
    return 0;
  }
  std::map<int32_t, SoundMemblockLayout> sounds;
  bool refuse = false;
};

MeshMemblockLayout Quad() {
  MeshMemblockLayout m;
  m.face_count = 2;
  m.vertices = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  m.normals = {0, 0, -1, 0, 0, -1};
  m.face_data = {0, 1, 2, 0, 0, 0, 0, 0, 2, 3, 1, 1, 1, 0};
  m.uvs = {0, 0, 1, 0, 1, 1, 0, 1};
  return m;
}

bool SameArrays(const MeshMemblockLayout& a, const MeshMemblockLayout& b) {
  return a.face_count == b.face_count && a.vertices == b.vertices && a.normals == b.normals &&
         a.face_data == b.face_data && a.uvs == b.uvs;
}

class MeshAndSoundConversions : public MemoryTest {
 protected:
  MeshAndSoundConversions() {
    memory.SetMeshes(&meshes);
    memory.SetSounds(&sounds);
  }
  FakeMeshes meshes;
  FakeSounds sounds;
};

TEST_F(MeshAndSoundConversions, MeshRoundTripKeepsCountsAndArrays) {
  meshes.meshes[3] = Quad();
  Program({{op::kMakeMemblockFromMesh, I(1), I(3)}, {op::kMakeMeshFromMemblock, I(4), I(1)}});
  ASSERT_EQ(Error(), 0);
  EXPECT_EQ(Table().Peek(1)->size(), 32u + 48 + 24 + 56 + 32);
  ASSERT_TRUE(meshes.meshes.count(4));
  EXPECT_TRUE(SameArrays(meshes.meshes[4], Quad()));
}

TEST_F(MeshAndSoundConversions, MeshHeaderOffsetsAreNotRead) {
  meshes.meshes[3] = Quad();
  Do({op::kMakeMemblockFromMesh, I(1), I(3)});
  le::StoreU32(Table().Peek(1)->data() + 4, 9999);
  le::StoreU32(Table().Peek(1)->data() + 20, 0);
  Do({op::kMakeMeshFromMemblock, I(5), I(1)});
  ASSERT_EQ(Error(), 0);
  EXPECT_TRUE(SameArrays(meshes.meshes[5], Quad()));
}

TEST_F(MeshAndSoundConversions, MeshCountsBeyondTheBlockLeaveTheMeshAlone) {
  meshes.meshes[3] = Quad();
  meshes.meshes[6] = Quad();
  meshes.meshes[6].vertices[0] = 42;
  Do({op::kMakeMemblockFromMesh, I(1), I(3)});
  le::StoreU32(Table().Peek(1)->data(), 1000);  // vertex count
  Do({op::kMakeMeshFromMemblock, I(6), I(1)});
  EXPECT_EQ(Error(), 5105);
  Do({op::kChangeMeshFromMemblock, I(6), I(1)});
  EXPECT_EQ(Error(), 5105);
  EXPECT_EQ(meshes.meshes[6].vertices[0], 42);
}

TEST_F(MeshAndSoundConversions, ChangeMeshCopiesInPlace) {
  meshes.meshes[3] = Quad();
  MeshMemblockLayout smaller;
  smaller.vertices = {7, 7, 7};
  smaller.uvs = {5, 5};
  meshes.meshes[8] = smaller;
  Program({{op::kMakeMemblockFromMesh, I(1), I(8)}, {op::kChangeMeshFromMemblock, I(3), I(1)}});
  ASSERT_EQ(Error(), 0);
  MeshMemblockLayout expected = Quad();
  expected.vertices[0] = expected.vertices[1] = expected.vertices[2] = 7;
  expected.uvs[0] = expected.uvs[1] = 5;
  EXPECT_TRUE(SameArrays(meshes.meshes[3], expected));

  // A block with more than the mesh holds changes nothing.
  Program({{op::kMakeMemblockFromMesh, I(2), I(3)}, {op::kChangeMeshFromMemblock, I(8), I(2)}});
  EXPECT_EQ(Error(), 7028);
  EXPECT_TRUE(SameArrays(meshes.meshes[8], smaller));
}

TEST_F(MeshAndSoundConversions, MeshNumberChecks) {
  meshes.meshes[3] = Quad();
  ASSERT_TRUE(Table().Make(1, 32));
  ExpectRefusals({
      {op::kMakeMemblockFromMesh, 0, 3, 5101},
      {op::kMakeMemblockFromMesh, 1, 65535, 7001},
      {op::kMakeMemblockFromMesh, 1, 4, 7003},
      {op::kMakeMeshFromMemblock, 0, 0, 7001},
      {op::kMakeMeshFromMemblock, 1, 256, 5101},
      {op::kMakeMeshFromMemblock, 1, 2, 5103},
      {op::kChangeMeshFromMemblock, 65535, 0, 7001},
      {op::kChangeMeshFromMemblock, 3, 0, 5101},
      {op::kChangeMeshFromMemblock, 3, 2, 5103},
      {op::kChangeMeshFromMemblock, 4, 1, 7028},
  });
}

TEST_F(MeshAndSoundConversions, SoundRoundTrip) {
  SoundMemblockLayout sound;
  sound.bits = 16;
  sound.frequency = 11025;
  sound.length = 3;
  sound.data = {1, 0, 2, 0, 3, 0};
  sounds.sounds[2] = sound;
  Program({{op::kMakeMemblockFromSound, I(1), I(2)}, {op::kMakeSoundFromMemblock, I(9), I(1)}});
  ASSERT_EQ(Error(), 0);
  EXPECT_EQ(Bytes(1), (std::vector<uint8_t>{16, 0, 0, 0, 0x11, 0x2B, 0, 0, 3, 0, 0, 0, 1, 0, 2, 0, 3, 0}));
  ASSERT_TRUE(sounds.sounds.count(9));
  EXPECT_EQ(sounds.sounds[9].bits, 16u);
  EXPECT_EQ(sounds.sounds[9].frequency, 11025u);
  EXPECT_EQ(sounds.sounds[9].data, sound.data);
}

TEST_F(MeshAndSoundConversions, SoundRefusals) {
  SoundMemblockLayout silent;
  silent.bits = 8;
  sounds.sounds[2] = silent;
  ASSERT_TRUE(Table().Make(1, 4));
  Do({op::kMakeMemblockFromSound, I(1), I(2)});  // no data
  EXPECT_EQ(Error(), 5103);
  EXPECT_FALSE(Table().Exists(1));
  ASSERT_TRUE(Table().Make(1, 4));
  Do({op::kMakeMemblockFromSound, I(1), I(3)});  // not loaded: the block stays
  EXPECT_EQ(Error(), 3004);
  EXPECT_TRUE(Table().Exists(1));

  Do({op::kMakeSoundFromMemblock, I(4), I(1)});  // shorter than the header
  EXPECT_EQ(Error(), 5105);
  ASSERT_TRUE(Table().Make(1, 20));
  le::StoreU32(Table().Peek(1)->data(), 24);
  Do({op::kMakeSoundFromMemblock, I(4), I(1)});
  EXPECT_EQ(Error(), 3004);
  le::StoreU32(Table().Peek(1)->data(), 8);
  sounds.refuse = true;
  Do({op::kMakeSoundFromMemblock, I(4), I(1)});
  EXPECT_EQ(Error(), 3004);
  EXPECT_FALSE(sounds.sounds.count(4));

  ExpectRefusals({
      {op::kMakeMemblockFromSound, 0, 1, 5101},
      {op::kMakeMemblockFromSound, 1, 1026, 3001},
      {op::kMakeSoundFromMemblock, 0, 1, 3001},
      {op::kMakeSoundFromMemblock, 1, 0, 5101},
      {op::kMakeSoundFromMemblock, 1, 2, 5103},
  });
}

TEST_F(MeshAndSoundConversions, StandInsRefuseWithTheMissingErrors) {
  memory.SetMeshes(nullptr);
  memory.SetSounds(nullptr);
  meshes.meshes[3] = Quad();
  Do({op::kMakeMemblockFromMesh, I(1), I(3)});
  EXPECT_EQ(Error(), 7003);
  ASSERT_TRUE(Table().Make(1, 32));
  Do({op::kMakeMeshFromMemblock, I(3), I(1)});
  EXPECT_EQ(Error(), 101);
  Do({op::kChangeMeshFromMemblock, I(3), I(1)});
  EXPECT_EQ(Error(), 7028);
  Do({op::kMakeMemblockFromSound, I(2), I(1)});
  EXPECT_EQ(Error(), 3004);
  ASSERT_TRUE(Table().Make(1, 16));
  le::StoreU32(Table().Peek(1)->data(), 8);
  Do({op::kMakeSoundFromMemblock, I(1), I(1)});
  EXPECT_EQ(Error(), 3004);
}

}  // namespace
}  // namespace zv::test
