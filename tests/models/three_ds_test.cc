// 3DS files written here chunk by chunk, converted to X text and read back
// through the X model reader.
#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "models/files/three_ds_faults.h"
#include "models/files/three_ds_to_x.h"
#include "models/files/x_model_reader.h"
#include "models/nodes/mesh_node.h"
#include "tests/models/models_test_support.h"
#include "tests/support/thread_times.h"

namespace zv::models {
namespace {

using testing::PreOrder;
using testing::RecordingServices;

// Little-endian bytes of a 3DS file.
struct Data {
  std::vector<uint8_t> bytes;

  Data& U8(uint8_t v) {
    bytes.push_back(v);
    return *this;
  }
  Data& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
  Data& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Data& F32(float v) { return U32(std::bit_cast<uint32_t>(v)); }
  Data& Vec(float x, float y, float z) { return F32(x).F32(y).F32(z); }
  Data& Str(std::string_view s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return U8(0);
  }
  Data& Add(const Data& d) {
    bytes.insert(bytes.end(), d.bytes.begin(), d.bytes.end());
    return *this;
  }
};

// A chunk: its id, its length (header included), its fields and sub-chunks.
Data Chunk(uint16_t id, const Data& body = {}) {
  Data d;
  d.U16(id).U32(static_cast<uint32_t>(body.bytes.size() + 6)).Add(body);
  return d;
}

template <class... Parts>
Data Cat(const Parts&... parts) {
  Data d;
  (d.Add(parts), ...);
  return d;
}

Data File(const Data& editor, const Data& keyframer = {}) {
  Data main = Chunk(0x3D3D, editor);
  if (!keyframer.bytes.empty()) main.Add(Chunk(0xB000, keyframer));
  return Chunk(0x4D4D, main);
}

Data Object(std::string_view name, const Data& contents) { return Chunk(0x4000, Data().Str(name).Add(contents)); }

Data VertexList(std::initializer_list<std::array<float, 3>> vertices) {
  Data d;
  d.U16(static_cast<uint16_t>(vertices.size()));
  for (const auto& v : vertices) d.Vec(v[0], v[1], v[2]);
  return Chunk(0x4110, d);
}

Data FaceList(std::initializer_list<std::array<uint16_t, 3>> faces, const Data& groups = {}) {
  Data d;
  d.U16(static_cast<uint16_t>(faces.size()));
  for (const auto& f : faces) d.U16(f[0]).U16(f[1]).U16(f[2]).U16(7);
  return Chunk(0x4120, d.Add(groups));
}

Data Node(std::string_view name, int16_t parent, const Data& more = {}) {
  return Chunk(0xB002, Cat(Chunk(0xB010, Data().Str(name).U16(0).U16(0).U16(static_cast<uint16_t>(parent))), more));
}

// A track header: five words, the key count and one more word.
Data Track(uint16_t id, uint16_t count, const Data& keys) {
  Data d;
  for (int i = 0; i < 5; ++i) d.U16(0);
  d.U16(count).U16(0);
  return Chunk(id, d.Add(keys));
}

std::string Convert(const Data& file) { return ConvertThreeDsToXText(file.bytes); }

XModel ReadBack(const std::string& text, RecordingServices& services) {
  return ReadXModelFromMemory(testing::Bytes(text), services);
}

const char kHeader[] = "xof 0302txt 0064\nHeader {\n1;\n0;\n1;\n}\n\n";

TEST(ThreeDsToX, AMaterialAndATexturedTriangleBecomeThisText) {
  const Data material = Chunk(
      0xAFFF, Cat(Chunk(0xA000, Data().Str("Red")), Chunk(0xA020, Chunk(0x0011, Data().U8(255).U8(0).U8(0))),
                  Chunk(0xA030, Chunk(0x0010, Data().Vec(0.5f, 0.5f, 0.5f))),
                  Chunk(0xA040, Chunk(0x0030, Data().U16(25))),
                  Chunk(0xA200, Cat(Chunk(0x0030, Data().U16(100)), Chunk(0xA300, Data().Str("brick wall.bmp"))))));
  const Data mesh = Chunk(0x4100, Cat(VertexList({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                                      FaceList({{0, 1, 2}}, Chunk(0x4130, Data().Str("Red").U16(1).U16(0))),
                                      Chunk(0x4140, Data().U16(3).F32(0).F32(0).F32(1).F32(0).F32(0).F32(1))));
  const std::string text = Convert(File(Cat(material, Object("Box", mesh))));
  EXPECT_EQ(text, std::string(kHeader) +
                      "Material x3ds_mat_Red {\n"
                      "1.000000, 0.000000, 0.000000, 1.000000;;\n"
                      "25.000000;\n"
                      "0.500000, 0.500000, 0.500000;;\n"
                      "0.000000, 0.000000, 0.000000;;\n"
                      "TextureFilename {\n\"brick wall.bmp\";\n}\n"
                      "}\n\n"
                      "Frame x3ds_Box {\n"
                      "Mesh Box {\n"
                      "3;\n"
                      "0.000000; 0.000000; 0.000000;,\n"
                      "1.000000; 0.000000; 0.000000;,\n"
                      "0.000000; 0.000000; 1.000000;;\n"
                      "1;\n"
                      "3;0,2,1;;\n"
                      "MeshMaterialList {\n1;\n1;\n0;;\n{x3ds_mat_Red}\n}\n\n"
                      "MeshNormals {\n"
                      "3;\n"
                      "0.000000; 1.000000; 0.000000;,\n"
                      "0.000000; 1.000000; 0.000000;,\n"
                      "0.000000; 1.000000; 0.000000;;\n"
                      "1;\n"
                      "3;0,1,2;;\n"
                      "}\n"
                      "MeshTextureCoords {\n"
                      "3;\n"
                      "0.000000;1.000000;,\n"
                      "1.000000;1.000000;,\n"
                      "0.000000;0.000000;;\n"
                      "}\n"
                      "}\n"
                      "}\n\n");
  // And the X reader takes it: one frame with one textured mesh.
  RecordingServices services;
  XModel model = ReadBack(text, services);
  ASSERT_NE(model.root, nullptr) << model.error;
  EXPECT_EQ(model.frame_count, 2);
  EXPECT_EQ(services.loaded_names, std::vector<std::string>{"brick wall.bmp"});
  // Where only a file with '_' for the blanks is there, as the name was
  // written before, that one is taken.
  RecordingServices renamed;
  renamed.missing_files["brick wall.bmp"] = 1;
  ASSERT_NE(ReadBack(text, renamed).root, nullptr);
  EXPECT_EQ(renamed.loaded_names, (std::vector<std::string>{"brick wall.bmp", "brick_wall.bmp"}));
}

TEST(ThreeDsToX, AFileWithoutAMainChunkGivesTheHeaderAlone) {
  EXPECT_EQ(Convert(Data().U16(0x1234).U32(6)), kHeader);
  EXPECT_EQ(Convert(Data()), kHeader);
}

TEST(ThreeDsToX, NamesAreSanitizedAndANumberedObjectsMeshTakesAnX) {
  const std::string text = Convert(File(Object("3Box-a", Chunk(0x4100, VertexList({{1, 2, 3}}))) ));
  EXPECT_NE(text.find("Frame x3ds_3Box_a {\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Mesh x3Box_a {\n1;\n1.000000; 3.000000; 2.000000;;\n0;\n}\n"), std::string::npos) << text;
}

TEST(ThreeDsToX, ALongObjectNameIsReadWholeAndTheAnimationOfAnyNameFindsItsFrame) {
  // The bytes after the eleventh are the name's, not chunks: the mesh stays.
  const Data long_name = Object("LeftWheelFront", Chunk(0x4100, VertexList({{1, 2, 3}})));
  const Data dotted = Object("Cube.001", Chunk(0x4100, VertexList({{1, 2, 3}})));
  auto node = [](std::string_view name) {
    return Node(name, -1, Track(0xB020, 1, Data().U16(0).U32(0).Vec(1, 2, 3)));
  };
  // Two objects of one name each keep their own animation.
  const std::string text = Convert(File(Cat(long_name, dotted, dotted),
                                        Cat(node("LeftWheelFront"), node("Cube.001"), node("Cube.001"))));
  EXPECT_NE(text.find("Frame x3ds_LeftWheelFront {\nMesh LeftWheelFront {\n"), std::string::npos) << text;
  EXPECT_NE(text.find("{x3ds_LeftWheelFront}"), std::string::npos) << text;
  EXPECT_NE(text.find("{x3ds_Cube_001}"), std::string::npos) << text;
  RecordingServices services;
  XModel model = ReadBack(text, services);
  ASSERT_TRUE(model.root && model.keyframes) << model.error;
  ASSERT_EQ(model.keyframes->tracks.size(), 3u);
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(model.keyframes->tracks[static_cast<size_t>(i)].frame_number, i + 1);
}

TEST(ThreeDsToX, AMeshWithoutAVertexListWritesItsFrameAlone) {
  const std::string text = Convert(File(Object("Empty", Chunk(0x4100, FaceList({{0, 1, 2}})))));
  EXPECT_EQ(text, std::string(kHeader) + "Frame x3ds_Empty {\n}\n\n");
}

TEST(ThreeDsToX, AnUnnamedObjectStillOpensTheFrameItCloses) {
  const std::string text = Convert(File(Object("", Chunk(0x4100, VertexList({{0, 0, 0}})))));
  EXPECT_NE(text.find("Frame x3ds_Default_name {\nMesh Default_name {"), std::string::npos) << text;
  RecordingServices services;
  EXPECT_NE(ReadBack(text, services).root, nullptr);
}

TEST(ThreeDsToX, TheLastColourChunkOfAMaterialColourCountsAndUnknownOnesAreSteppedOver) {
  // 0x0012 is stepped over two bytes at a time: its six bytes of header and
  // three of data must not hide the float colour behind them.
  Data diffuse = Cat(Chunk(0x0011, Data().U8(0).U8(51).U8(255)), Chunk(0x0012, Data().U8(9).U8(9).U8(9).U8(9)));
  const std::string text = Convert(File(Cat(Chunk(0xAFFF, Cat(Chunk(0xA000, Data().Str("m")), Chunk(0xA020, diffuse))),
                                             Chunk(0xAFFF, Chunk(0xA000, Data().Str("n"))))));
  EXPECT_NE(text.find("Material x3ds_mat_m {\n0.000000, 0.200000, 1.000000, 1.000000;;\n"), std::string::npos)
      << text;
  // A material without a colour of its own is white, whatever came before.
  EXPECT_NE(text.find("Material x3ds_mat_n {\n1.000000, 1.000000, 1.000000, 1.000000;;\n"), std::string::npos)
      << text;
  // No texture map: no TextureFilename.
  EXPECT_EQ(text.find("TextureFilename"), std::string::npos);
}

TEST(ThreeDsToX, LocalAxesPlaceTheFrameAndBringTheVerticesIntoIt) {
  Data axes;
  for (float v : {1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 10.f, 20.f, 30.f}) axes.F32(v);
  const std::string text =
      Convert(File(Object("Moved", Chunk(0x4100, Cat(VertexList({{11, 21, 31}}), Chunk(0x4160, axes))))));
  EXPECT_EQ(text, std::string(kHeader) +
                      "Frame x3ds_Moved {\n"
                      "FrameTransformMatrix {\n"
                      "1.000000, 0.000000, 0.000000, 0.000000,\n"
                      "0.000000, 1.000000, 0.000000, 0.000000,\n"
                      "0.000000, 0.000000, 1.000000, 0.000000,\n"
                      "10.000000, 30.000000, 20.000000, 1.000000;;\n"
                      "}\n"
                      "Mesh Moved {\n1;\n1.000000; 1.000000; 1.000000;;\n0;\n}\n"
                      "}\n\n");
}

TEST(ThreeDsToX, ANumberThatIsNotANumberIsWrittenAsZero) {
  const std::string text =
      Convert(File(Object("N", Chunk(0x4100, VertexList({{0, std::bit_cast<float>(0xFFFFFFFFu), 0}})))));
  // The file's y becomes z.
  EXPECT_NE(text.find("\n0.000000; 0.000000; 00.000000;;\n"), std::string::npos) << text;
}

// Three objects; the keyframer nests B in A and leaves C at the top. A dummy
// node between them counts for nothing; B's pivot shifts its vertices, and
// its frame back, so that B stands as it was made.
Data Hierarchy() {
  const Data objects = Cat(Object("A", Chunk(0x4100, VertexList({{0, 0, 0}}))),
                           Object("B", Chunk(0x4100, VertexList({{0, 0, 0}}))),
                           Object("C", Chunk(0x4100, VertexList({{0, 0, 0}}))));
  const float quarter = static_cast<float>(M_PI / 2);
  Data rotation_keys;
  for (uint16_t frame : {0, 10, 20}) rotation_keys.U16(frame).U32(0).F32(quarter).Vec(0, 0, 1);
  const Data a_tracks = Cat(Track(0xB021, 3, rotation_keys), Track(0xB022, 1, Data().U16(0).U32(0).Vec(1, 1, 1)),
                            Track(0xB020, 1, Data().U16(5).U32(0).Vec(1, 2, 3)));
  const Data keyframer =
      Cat(Chunk(0xB008, Data().U32(0).U32(100)), Node("A", -1, a_tracks), Node("$$$DUMMY", 7),
          Node("B", 0, Cat(Chunk(0xB013, Data().Vec(1, 2, 3)), Track(0xB022, 1, Data().U16(0).U32(0).Vec(2, 2, 2)))),
          Node("C", -1));
  return File(objects, keyframer);
}

TEST(ThreeDsToX, TheKeyframersParentsNestTheFrames) {
  const std::string text = Convert(Hierarchy());
  const std::string frames =
      "Frame x3ds_A {\nMesh A {\n1;\n0.000000; 0.000000; 0.000000;;\n0;\n}\n"
      "Frame x3ds_B {\nFrameTransformMatrix {\n1.000000, 0.000000, 0.000000, 0.000000,\n"
      "0.000000, 1.000000, 0.000000, 0.000000,\n0.000000, 0.000000, 1.000000, 0.000000,\n"
      "1.000000, 3.000000, 2.000000, 1.000000;;\n}\n"
      "Mesh B {\n1;\n-1.000000; -3.000000; -2.000000;;\n0;\n}\n}\n\n}\n\n"
      "Frame x3ds_C {\nMesh C {\n1;\n0.000000; 0.000000; 0.000000;;\n0;\n}\n}\n\n";
  EXPECT_NE(text.find(std::string(kHeader) + frames + "AnimationSet x3ds_animset_0 {\n"), std::string::npos)
      << text;
  RecordingServices services;
  XModel model = ReadBack(text, services);
  ASSERT_NE(model.root, nullptr) << model.error;
  std::vector<std::pair<std::string, int32_t>> frames_seen;
  for (SceneNode* n : PreOrder(model.root.get()))
    if (n->IsFrameNode()) frames_seen.push_back({n->name(), n->number()});
  const std::vector<std::pair<std::string, int32_t>> expected = {
      {"root", 0}, {"x3ds_A", 1}, {"x3ds_B", 2}, {"x3ds_C", 3}};
  EXPECT_EQ(frames_seen, expected);
  // B hangs under A.
  SceneNode* a = model.root->first_child();
  ASSERT_NE(a, nullptr);
  bool b_under_a = false;
  for (SceneNode* n = a->first_child(); n; n = n->next_sibling()) b_under_a |= n->name() == "x3ds_B";
  EXPECT_TRUE(b_under_a);
}

TEST(ThreeDsToX, RotationKeysAreAbsoluteAndUnitScalesAreLeftOut) {
  const std::string text = Convert(Hierarchy());
  // A's single unit scale key is left out; B's scale of 2 is written; the
  // dummy node gets no animation; one key ends its line with ";;;".
  EXPECT_NE(text.find("Animation x3ds_anim_0 {\n{x3ds_A}\nAnimationKey {\n0;\n3;\n"), std::string::npos) << text;
  EXPECT_NE(text.find("AnimationKey {\n2;\n1;\n5; 3; 1.000000, 3.000000, 2.000000;;;\n}\n}\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Animation x3ds_anim_1 {\n{x3ds_B}\nAnimationKey {\n1;\n1;\n0; 3; 2.000000, 2.000000, "
                      "2.000000;;;\n}\n}\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Animation x3ds_anim_2 {\n{x3ds_C}\n}\n}\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("DUMMY"), std::string::npos);

  RecordingServices services;
  XModel model = ReadBack(text, services);
  ASSERT_NE(model.keyframes, nullptr) << model.error;
  const AnimationTrack& a = model.keyframes->tracks.front();
  ASSERT_EQ(a.rotation_keys.count(), 3u);
  // Quarter turns about the file's z (our -y) add up: 90, 180, 270 degrees.
  const float half = std::sqrt(0.5f);
  const float expected[3][5] = {{0, half, 0, -half, 0}, {10, 0, 0, -1, 0}, {20, -half, 0, -half, 0}};
  for (int k = 0; k < 3; ++k)
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(a.rotation_keys.values[k * 5 + i], expected[k][i], 1e-5f) << k << i;
}

TEST(ThreeDsToX, AFileWithoutAKeyframerClosesEveryFrameAfterItsObject) {
  const std::string text = Convert(File(Cat(Object("P", {}), Object("Q", {}))));
  EXPECT_EQ(text, std::string(kHeader) + "Frame x3ds_P {\n}\n\nFrame x3ds_Q {\n}\n\n");
}

TEST(ThreeDsToX, DamagedLengthsAndCountsEndTheWalkQuickly) {
  const test::ThreadTimer timer;
  // Chunks that claim no length at all, inside chunks that claim 4 GB.
  Data zero;
  zero.U16(0x4000).U32(0).U16(0x4100).U32(0).U16(0x4110).U32(0).U16(0xFFFF);
  Data huge;
  huge.U16(0x4D4D).U32(0xFFFFFFFF).U16(0x3D3D).U32(0xFFFFFFFF).Add(zero).Add(zero);
  Convert(huge);
  // A main chunk followed by another one, and a main chunk of length 0.
  Convert(Cat(File(Object("A", {})), File(Object("B", {}))));
  Convert(Data().U16(0x4D4D).U32(0).U16(0x4D4D).U32(0));
  // A vertex list that claims 65535 vertices but holds one.
  Data lying;
  lying.U16(0xFFFF).Vec(1, 2, 3);
  const std::string text = Convert(File(Object("L", Chunk(0x4100, Chunk(0x4110, lying)))));
  EXPECT_NE(text.find("Mesh L {\n1;\n"), std::string::npos) << text;
  // Faces naming vertices that do not exist, and a name without its end.
  Convert(File(Object("F", Chunk(0x4100, Cat(VertexList({{0, 0, 0}}), FaceList({{0, 40000, 9}}))))));
  Data open_name = File(Chunk(0xAFFF, {}));
  open_name.U16(0xA000).U32(100).U8('x').U8('y');
  Convert(open_name);
  // A walk that followed the claimed lengths would take minutes of a
  // processor, or never end (tests/support/thread_times.h: what a loaded
  // machine adds is not counted).
  const double seconds = timer.RunningSeconds();
  std::printf("the damaged files took %.3f s of a processor (bound 2 s)\n", seconds);
  EXPECT_LT(seconds, 2.0);
}

// A box of one triangle: the main chunk at 0, the editor at 6, the object
// at 12, its mesh at 22, the vertex list at 28 (44 bytes), the face list
// at 72 (16 bytes); 88 bytes in all.
Data Triangle(std::initializer_list<std::array<uint16_t, 3>> faces = {{0, 1, 2}}) {
  return File(Object("Box", Chunk(0x4100, Cat(VertexList({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), FaceList(faces)))));
}

TEST(ThreeDsFaults, AFileCutShortSaysWhereItEndsAndInsideWhichChunk) {
  const std::vector<uint8_t> whole = Triangle().bytes;
  ASSERT_EQ(whole.size(), 88u);
  auto cut = [&](size_t size) { return std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(size)); };
  Data unknown = File(Chunk(0x1234, Data().U32(7).U32(7)));
  Data keyframed = File(Object("Box", {}), Node("Box", -1, Track(0xB020, 1, Data().U16(0).U32(0).Vec(1, 2, 3))));
  const std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'm', 'o', 'd', 'e', 'l'};
  struct Case {
    std::vector<uint8_t> file;
    std::string fault;  // empty: none
  };
  const Case cases[] = {
      {{}, "byte 0: the file does not begin with a 3DS main chunk (0x4D4D)"},
      {text, "byte 0: the file does not begin with a 3DS main chunk (0x4D4D)"},
      {cut(4), "byte 4: the file ends inside the main chunk's header"},
      {cut(20), "byte 20: the file ends inside the object chunk (chunk 0x4000) begun at byte 12, which claims 76 bytes"},
      {cut(30),
       "byte 30: the file ends inside the mesh chunk (chunk 0x4100) begun at byte 22, which claims 66 bytes, in the "
       "header of a chunk begun at byte 28"},
      {cut(50), "byte 50: the file ends inside the vertex list (chunk 0x4110) begun at byte 28, which claims 44 bytes"},
      {cut(87), "byte 87: the file ends inside the face list (chunk 0x4120) begun at byte 72, which claims 16 bytes"},
      {std::vector<uint8_t>(unknown.bytes.begin(), unknown.bytes.end() - 1),
       "byte 25: the file ends inside the chunk 0x1234 begun at byte 12, which claims 14 bytes"},
      {std::vector<uint8_t>(keyframed.bytes.begin(), keyframed.bytes.end() - 2),
       "the file ends inside the position track (chunk 0xB020)"},
      {whole, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    const std::optional<std::string> fault = FindThreeDsCut(c.file);
    if (c.fault.empty()) {
      EXPECT_EQ(fault, std::nullopt);
    } else {
      ASSERT_TRUE(fault.has_value());
      EXPECT_NE(fault->find(c.fault), std::string::npos) << *fault;
    }
  }
}

class ThreeDsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("zv_three_ds_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string File(const std::string& name) const { return (folder_ / name).string(); }
  std::filesystem::path folder_;
};

TEST_F(ThreeDsFiles, TheTargetIsReplacedOnlyByAWholeConversion) {
  const Data file = ::zv::models::File(Object("Box", Chunk(0x4100, VertexList({{0, 0, 0}}))));
  std::ofstream(File("box.3ds"), std::ios::binary)
      .write(reinterpret_cast<const char*>(file.bytes.data()), static_cast<std::streamsize>(file.bytes.size()));
  std::ofstream(File("box.x")) << std::string(10000, 'z');
  EXPECT_EQ(Convert3dsToX(File("box.3ds"), File("box.x")), 0);
  std::ifstream in(File("box.x"));
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, ConvertThreeDsToXText(file.bytes));
  EXPECT_EQ(Convert3dsToX(File("none.3ds"), File("none.x")), kThreeDsNotOpened);
  EXPECT_FALSE(std::filesystem::exists(File("none.x")));
  EXPECT_EQ(Convert3dsToX(folder_.string(), File("folder.x")), kThreeDsNotOpened);
  // No 3DS file, or one cut short: nothing is written over the old target.
  std::ofstream(File("text.3ds")) << "not a model";
  EXPECT_EQ(Convert3dsToX(File("text.3ds"), File("box.x")), kThreeDsDamaged);
  std::vector<uint8_t> cut = file.bytes;
  cut.resize(cut.size() - 1);
  std::ofstream(File("cut.3ds"), std::ios::binary)
      .write(reinterpret_cast<const char*>(cut.data()), static_cast<std::streamsize>(cut.size()));
  EXPECT_EQ(Convert3dsToX(File("cut.3ds"), File("box.x")), kThreeDsDamaged);
  std::ifstream again(File("box.x"));
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>()), written);
  // A target that cannot be written is reported, and no temporary is left.
  EXPECT_EQ(Convert3dsToX(File("box.3ds"), File("no folder/box.x")), kThreeDsNotWritten);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), std::filesystem::directory_iterator()), 4);
}

TEST_F(ThreeDsFiles, AConversionSaysWhatIsWrongWithTheModelAndWhere) {
  // Face records hold a, b, c and flags, two bytes each, from byte 80; a
  // texture coordinate list after the face list has its count at byte 94.
  auto with_pairs = [](uint16_t count) {
    Data pairs;
    pairs.U16(count);
    for (uint16_t i = 0; i < count; ++i) pairs.F32(0.5f).F32(0.5f);
    const Data mesh = Cat(VertexList({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), FaceList({{0, 1, 2}}), Chunk(0x4140, pairs));
    return ::zv::models::File(Object("Box", Chunk(0x4100, mesh))).bytes;
  };
  const std::vector<uint8_t> whole = Triangle().bytes;
  struct Case {
    std::vector<uint8_t> file;
    int32_t result;
    std::string why;
  };
  const Case cases[] = {
      {Triangle({{0, 1, 5}}).bytes, kThreeDsBadFace, "byte 84: object \"Box\": face 0 refers to vertex 5 of 3"},
      {Triangle({{0, 1, 2}, {1, 3, 2}}).bytes, kThreeDsBadFace,
       "byte 90: object \"Box\": face 1 refers to vertex 3 of 3"},
      {Triangle({{9, 1, 2}}).bytes, kThreeDsBadFace, "byte 80: object \"Box\": face 0 refers to vertex 9 of 3"},
      {std::vector<uint8_t>(whole.begin(), whole.begin() + 80), kThreeDsDamaged,
       "byte 80: the file ends inside the face list (chunk 0x4120) begun at byte 72, which claims 16 bytes"},
      {with_pairs(1), 0, "byte 94: object \"Box\": 1 texture coordinate for 3 vertices, so the others take (0, 0)"},
      {with_pairs(4), 0, "byte 94: object \"Box\": 4 texture coordinates for 3 vertices, so the rest are left out"},
      {with_pairs(3), 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    std::ofstream(File("model.x")) << "kept";
    std::ofstream(File("model.3ds"), std::ios::binary)
        .write(reinterpret_cast<const char*>(c.file.data()), static_cast<std::streamsize>(c.file.size()));
    std::string why = "left from before";
    EXPECT_EQ(Convert3dsToX(File("model.3ds"), File("model.x"), &why), c.result);
    EXPECT_EQ(why, c.why);
    // A model that cannot be made writes nothing over the old target.
    std::ifstream in(File("model.x"));
    const bool kept = std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()) == "kept";
    EXPECT_EQ(kept, c.result != 0);
  }
  std::string why;
  EXPECT_EQ(Convert3dsToX(File("model.3ds"), File("no folder/model.x"), &why), kThreeDsNotWritten);
  EXPECT_EQ(why, "no such file or directory");
}

// The 3DS files of Debian's assimp-testmodels package, where it is installed,
// with the triangles that `assimp info -r` counts in each (without -r it
// counts the nine equal boxes of test1.3ds as instances of five). Converted
// in memory and through a file, each reads back with that many triangles.
struct SampleFile {
  const char* name;
  uint64_t triangles;
};

uint64_t TrianglesOf(const XModel& model) {
  uint64_t triangles = 0;
  for (SceneNode* n : PreOrder(model.root.get()))
    if (!n->IsFrameNode()) triangles += static_cast<MeshNode*>(n)->index_count() / 3;
  return triangles;
}

TEST_F(ThreeDsFiles, TheSampleFilesConvertWithTheirTriangleCounts) {
  const std::string folder = "/usr/share/assimp/models/3DS/";
  if (!std::filesystem::exists(folder + "fels.3ds")) GTEST_SKIP() << "assimp-testmodels is not installed";
  const SampleFile samples[] = {
      {"CameraRollAnim.3ds", 12},    {"CameraRollAnimWithChildObject.3ds", 24},
      {"RotatingCube.3DS", 12},      {"TargetCameraAnim.3ds", 12},
      {"cube_with_diffuse_texture.3DS", 12}, {"cube_with_specular_texture.3DS", 12},
      {"cubes_with_alpha.3DS", 60},  {"fels.3ds", 768},
      {"test1.3ds", 108},             {"testFormatDetection", 1368},
  };
  for (const SampleFile& sample : samples) {
    SCOPED_TRACE(sample.name);
    std::ifstream in(folder + sample.name, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty());
    RecordingServices services;
    XModel model = ReadBack(ConvertThreeDsToXText(bytes), services);
    ASSERT_NE(model.root, nullptr) << model.error;
    EXPECT_EQ(TrianglesOf(model), sample.triangles);

    ASSERT_EQ(Convert3dsToX(folder + sample.name, File("sample.x")), 0);
    RecordingServices file_services;
    XModel from_file = ReadXModel(File("sample.x"), file_services);
    ASSERT_NE(from_file.root, nullptr) << from_file.error;
    EXPECT_EQ(TrianglesOf(from_file), sample.triangles);
    EXPECT_EQ(from_file.frame_count, model.frame_count);
    std::filesystem::remove(File("sample.x"));
  }
}

}  // namespace
}  // namespace zv::models
