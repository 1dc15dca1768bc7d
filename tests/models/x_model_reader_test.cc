// Reading X files into scene-node trees: frame numbering, meshes and their
// material groups, textures, keyframes, and damaged files.
#include <gtest/gtest.h>

#include <filesystem>

#include "models/files/x_materials.h"
#include "models/files/x_model_reader.h"
#include "models/nodes/mesh_node.h"
#include "tests/models/models_test_support.h"

namespace zv::models {
namespace {

using testing::PreOrder;
using testing::ReadText;
using testing::RecordingServices;

std::vector<MeshNode*> Meshes(SceneNode* root) {
  std::vector<MeshNode*> out;
  for (SceneNode* n : PreOrder(root))
    if (!n->IsFrameNode()) out.push_back(static_cast<MeshNode*>(n));
  return out;
}

// A cube of 8 vertices and 6 quads, with `extra` inside the Mesh.
std::string Cube(std::string_view name, std::string_view extra = "") {
  return "Mesh " + std::string(name) +
         " {\n 8;\n -1;-1;-1;, 1;-1;-1;, 1;1;-1;, -1;1;-1;, -1;-1;1;, 1;-1;1;, 1;1;1;, -1;1;1;;\n"
         " 6;\n 4;0,1,2,3;, 4;4,5,6,7;, 4;0,1,5,4;, 4;2,3,7,6;, 4;0,3,7,4;, 4;1,2,6,5;;\n" +
         std::string(extra) + "}\n";
}

std::string Material(float r, float g, float b, std::string_view texture = "") {
  std::string text = "Material {\n " + std::to_string(r) + ";" + std::to_string(g) + ";" +
                     std::to_string(b) + ";1.0;;\n 5.0;\n 0.0;0.0;0.0;;\n 0.0;0.0;0.0;;\n";
  if (!texture.empty()) text += " TextureFilename { \"" + std::string(texture) + "\"; }\n";
  return text + "}\n";
}

TEST(XModelReader, ALoneTopLevelMeshHangsUnderTheRootAsLimbZero) {
  RecordingServices services;
  XModel model = ReadText(Cube("box"), services);
  ASSERT_NE(model.root, nullptr);
  EXPECT_EQ(model.root->name(), "root");
  EXPECT_EQ(model.frame_count, 1);
  EXPECT_EQ(model.keyframes, nullptr);
  auto meshes = Meshes(model.root.get());
  ASSERT_EQ(meshes.size(), 1u);
  EXPECT_EQ(meshes[0]->number(), 0);
  EXPECT_EQ(meshes[0]->vertex_count(), 8u);
  EXPECT_EQ(meshes[0]->index_count(), 36u);
  ASSERT_NE(meshes[0]->vertex_buffer(), nullptr);
  // Without normals in the file the mesh computes them: unit length.
  const MeshVertex& v = meshes[0]->vertices()[0];
  EXPECT_NEAR(v.nx * v.nx + v.ny * v.ny + v.nz * v.nz, 1.0f, 1e-5f);
}

TEST(XModelReader, FramesAreNumberedDepthFirstAndMeshesTakeTheirFramesNumber) {
  RecordingServices services;
  // A mesh a frame names hangs in that frame (only there); one outside
  // every frame hangs from the root, after frames too.
  XModel model = ReadText(
      Cube("wheel") +
          "Frame body {\n"
          " FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 5,6,7,1;; }\n"
          " Frame arm { Frame hand { } }\n" +
          Cube("body_mesh") + "}\n"
                              "Frame leg { { wheel } }\n" +
          Cube("loose"),
      services);
  ASSERT_NE(model.root, nullptr);
  EXPECT_EQ(model.frame_count, 5);
  std::vector<std::pair<std::string, int32_t>> seen;
  for (SceneNode* n : PreOrder(model.root.get())) seen.push_back({n->name(), n->number()});
  const std::vector<std::pair<std::string, int32_t>> expected = {
      {"root", 0}, {"body", 1}, {"arm", 2}, {"hand", 3}, {"body_mesh", 1}, {"leg", 4}, {"wheel", 4}, {"loose", 0}};
  EXPECT_EQ(seen, expected);
  Matrix4 body;
  model.root->GetFrameMatrix(1, &body);
  EXPECT_EQ(body.m[3][1], 6.0f);
}

TEST(XModelReader, AMeshWithSeveralMaterialsSplitsIntoOneNodePerMaterial) {
  RecordingServices services;
  XModel model = ReadText(Cube("box",
                               " MeshMaterialList { 3; 6; 0,1,0,1,0,1;;\n" + Material(1, 0, 0) +
                                   Material(0, 1, 0) + Material(1, 1, 1) + " }\n"),
                          services);
  ASSERT_NE(model.root, nullptr);
  auto meshes = Meshes(model.root.get());
  ASSERT_EQ(meshes.size(), 3u);
  EXPECT_EQ(meshes[0]->name(), "box_0");
  EXPECT_EQ(meshes[1]->name(), "box_1");
  EXPECT_EQ(meshes[2]->name(), "box_2");
  EXPECT_EQ(meshes[0]->index_count(), 18u);
  EXPECT_EQ(meshes[2]->index_count(), 0u);  // a material no face uses
  for (MeshNode* m : meshes) EXPECT_EQ(m->vertex_count(), 8u);
  // Red and green get colour textures; white does not.
  EXPECT_EQ(services.colours, (std::vector<uint32_t>{0xFF0000, 0x00FF00}));
  EXPECT_EQ(meshes[0]->second_name(), "16711680");
  EXPECT_EQ(meshes[0]->texture(), services.Number("16711680"));
  EXPECT_EQ(meshes[2]->texture(), 0);
  EXPECT_EQ(meshes[1]->material().diffuse.g, 1.0f);
  // The group nodes share the whole mesh's computed normals.
  EXPECT_EQ(meshes[0]->vertices()[0].nx, meshes[1]->vertices()[0].nx);
  model.root.reset();
  EXPECT_EQ(services.HeldReferences(), 0);
  // Faces past a shorter list take its last index: none is lost.
  model = ReadText(Cube("box", " MeshMaterialList { 2; 3; 0,1,0;;\n" + Material(1, 0, 0) + Material(0, 1, 0) + "}\n"),
                   services);
  ASSERT_NE(model.root, nullptr);
  meshes = Meshes(model.root.get());
  EXPECT_EQ(meshes[0]->index_count(), 30u);
  EXPECT_EQ(meshes[1]->index_count(), 6u);
}

TEST(XModelReader, TextureFilesAreAskedForAsBitmapsThenAsNamed) {
  RecordingServices services;
  services.missing_files = {{"gone.bmp", 1}, {"gone.png", 1}, {"photo.bmp", 1}};
  std::string materials = " MeshMaterialList { 4; 8; 0,0,1,1,2,2,3,3;;\n" + Material(1, 0, 0, "wall.tga") +
                          Material(1, 0, 0, ".tga") + Material(0, 0, 1, "gone.png") +
                          Material(0, 1, 0, "photo.jpg") + " }\n";
  XModel model = ReadText(Cube("box", materials), services);
  ASSERT_NE(model.root, nullptr);
  EXPECT_EQ(services.loaded_names,
            (std::vector<std::string>{"wall.bmp", ".tga", "gone.bmp", "gone.png", "photo.bmp", "photo.jpg"}));
  auto meshes = Meshes(model.root.get());
  ASSERT_EQ(meshes.size(), 4u);
  EXPECT_EQ(meshes[0]->texture(), services.Number("wall.bmp"));
  EXPECT_EQ(meshes[0]->second_name(), "wall.bmp");
  // A texture that cannot be loaded leaves the mesh untextured: no colour
  // texture stands in for it.
  EXPECT_EQ(meshes[2]->texture(), 0);
  EXPECT_TRUE(services.colours.empty());
  // Without a bitmap the picture as the model named it.
  EXPECT_EQ(meshes[3]->texture(), services.Number("photo.jpg"));
  EXPECT_EQ(meshes[3]->second_name(), "photo.jpg");
}

TEST(XModelReader, TextureNamesNeverLeaveTheModelsFolder) {
  // Absolute names, and names climbing above the folder, become file names.
  for (const char* name : {"C:\\Art\\wall.tga", "c:wall.tga", "\\\\host\\share\\wall.tga", "/home/a/wall.tga",
                           "..\\wall.tga", "maps/../../wall.tga", "a\\..\\..\\b\\wall.tga"})
    EXPECT_EQ(ModelTextureName(name), "wall.tga") << name;
  // Names that stay inside it are kept as written.
  for (const char* name : {"wall.tga", "maps\\wall.tga", "maps/../wall.tga", "./maps//wall.tga", "a\\b\\..\\..\\w.bmp"})
    EXPECT_EQ(ModelTextureName(name), name) << name;
  EXPECT_EQ(ModelTextureName(""), "");
  EXPECT_EQ(ModelTextureName("C:\\"), "");
  RecordingServices services;
  XModel model = ReadText(Cube("box", " MeshMaterialList { 1; 1; 0;;\n" + Material(1, 1, 1, "D:\\x\\skin.png") + " }\n"),
                          services);
  ASSERT_NE(model.root, nullptr);
  EXPECT_EQ(services.loaded_names, std::vector<std::string>{"skin.bmp"});
}

TEST(XModelReader, NormalsAndTextureCoordinatesComeFromTheFileWhenTheyFit) {
  RecordingServices services;
  std::string extra =
      " MeshNormals { 8; 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;;"
      " 6; 4;0,1,2,3;, 4;4,5,6,7;, 4;0,1,5,4;, 4;2,3,7,6;, 4;0,3,7,4;, 4;1,2,6,5;; }\n"
      " MeshTextureCoords { 8; 0;0;, 1;0;, 1;1;, 0;1;, 0;0;, 1;0;, 1;1;, 0.5;0.25;; }\n"
      " MeshMaterialList { 1; 1; 0;; " +
      Material(1, 1, 1, "skin.bmp") + "}\n";
  XModel model = ReadText(Cube("box", extra), services);
  ASSERT_NE(model.root, nullptr);
  auto meshes = Meshes(model.root.get());
  ASSERT_EQ(meshes.size(), 1u);
  EXPECT_EQ(meshes[0]->vertices()[7].nz, 1.0f);
  EXPECT_EQ(meshes[0]->vertices()[7].u, 0.5f);
  EXPECT_EQ(meshes[0]->vertex_buffer()->Vertices()[7].v, 0.25f);
  EXPECT_EQ(meshes[0]->texture(), services.Number("skin.bmp"));
}

constexpr const char* kAnimatedFile =
    "Frame hip { Frame knee { } }\n"
    "AnimationSet first { Animation { {hip} AnimationKey { 2; 1; 0;3;1,2,3;;; } } }\n"
    "AnimationSet walk {\n"
    " Animation a { {knee}\n"
    "  AnimationKey { 0; 2; 0;4;1,0,0,0;;, 10;4;0,1,0,0;;; }\n"
    "  AnimationKey { 1; 1; 5;3;2,2,2;;; }\n"
    "  AnimationKey { 2; 3; 0;3;0,0,0;;, 5;3;1,0,0;;, 10;3;2,0,0;;; }\n"
    "  AnimationKey { 4; 1; 0;16;1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;;; }\n"
    " }\n"
    " Animation b { {nowhere} AnimationKey { 2; 1; 0;3;9,9,9;;; } }\n"
    "}\n";

TEST(XModelReader, TheLastAnimationSetBecomesTheKeyframes) {
  RecordingServices services;
  XModel model = ReadText(kAnimatedFile, services);
  ASSERT_NE(model.root, nullptr);
  ASSERT_NE(model.keyframes, nullptr);
  const auto& tracks = model.keyframes->tracks;
  ASSERT_EQ(tracks.size(), 2u);
  EXPECT_EQ(tracks[0].frame_name, "knee");
  EXPECT_EQ(tracks[0].frame_number, 2);
  EXPECT_EQ(tracks[0].rotation_keys.count(), 2u);
  EXPECT_EQ(tracks[0].rotation_keys.values,
            (std::vector<float>{0, 1, 0, 0, 0, 10, 0, 1, 0, 0}));
  EXPECT_EQ(tracks[0].rotation_keys.LastKeyIndex(), 5u);
  EXPECT_EQ(tracks[0].scale_keys.count(), 1u);
  EXPECT_EQ(tracks[0].translation_keys.count(), 3u);
  EXPECT_EQ(tracks[0].translation_keys.LastKeyIndex(), 8u);
  // A reference to a frame that does not exist animates frame 0.
  EXPECT_EQ(tracks[1].frame_name, "nowhere");
  EXPECT_EQ(tracks[1].frame_number, 0);
}

TEST(XModelReader, DamagedFilesFailCleanly) {
  RecordingServices services;
  const std::string good = "xof 0302txt 0032\n" + Cube("box");
  for (size_t cut = 0; cut < good.size(); cut += 7) {
    XModel model = ReadXModelFromMemory(testing::Bytes(good.substr(0, cut)), services);
    if (!model.root) {
      EXPECT_FALSE(model.error.empty());
    }
  }
  XModel none = ReadXModel("/nonexistent/model.x", services);
  EXPECT_EQ(none.root, nullptr);
  // A mesh whose parts cannot be read refuses the model, naming the mesh,
  // rather than leaving it out; what was made of the model goes.
  XModel partial = ReadText(Cube("good") + Cube("bad", " MeshNormals { 1; 0;0;1;; 1; 3;0,0,5;; }\n"),
                            services);
  EXPECT_EQ(partial.root, nullptr);
  EXPECT_NE(partial.error.find("mesh \"bad\": MeshNormals object face 0 refers to normal 5 of 1"), std::string::npos)
      << partial.error;
  EXPECT_EQ(services.HeldReferences(), 0);
  // A face of a material past the 256 a mesh holds would be dropped: refused.
  std::string list = " MeshMaterialList { 300; 6;\n 0,0,0,0,0,280;; " + Material(1, 0, 0, "wood.tga") + "}\n";
  XModel many = ReadText(Cube("many", list), services);
  EXPECT_EQ(many.root, nullptr);
  EXPECT_TRUE(many.error.starts_with("line 8 (byte 226): mesh \"many\": face 5 uses material 280, more than the 256"))
      << many.error;
  EXPECT_EQ(services.HeldReferences(), 0);
}

// A face's bad index is placed on its own line, not on its mesh's first.
TEST(XModelReader, AMeshProblemNamesTheLineOfTheValueThatIsWrong) {
  RecordingServices services;
  const XModel model = ReadText("Mesh bad {\n 3;\n 0;0;0;, 1;0;0;, 0;1;0;;\n 2;\n 3;0,1,2;,\n 3;0,1,9;;\n}\n", services);
  EXPECT_EQ(model.error, "line 7 (byte 79): mesh \"bad\": face 1 refers to vertex 9 of 3");
}

TEST(XModelReader, AModelReadWithoutSomeOfItSaysWhatWasLeftOut) {
  struct Case {
    const char* what;
    std::string body;
    std::string warning;  // empty: none
  };
  const std::string coords = " MeshTextureCoords { 1; 0.5;0.5;; }\n";
  const Case cases[] = {
      {"a header alone", "", "the file holds no mesh, so the model shows nothing"},
      {"frames without a mesh", "Frame hip { Frame knee { } }\n", "the file holds no mesh, so the model shows nothing"},
      {"one pair for eight vertices", Cube("box", coords),
       "line 7 (byte 207): mesh \"box\": MeshTextureCoords object holds 1 texture coordinate for 8 vertices, so "
       "they are left out"},
      {"the second mesh's pairs", Cube("good") + Cube("short", coords),
       "line 13 (byte 381): mesh \"short\": MeshTextureCoords object holds 1 texture coordinate"},
      {"a whole model", Cube("box", " MeshTextureCoords { 8; 0;0;, 1;0;, 1;1;, 0;1;, 0;0;, 1;0;, 1;1;, 0;1;; }\n"),
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingServices services;
    XModel model = ReadText(c.body, services);
    ASSERT_NE(model.root, nullptr) << model.error;
    if (c.warning.empty())
      EXPECT_EQ(model.warning, "");
    else
      EXPECT_TRUE(model.warning.starts_with(c.warning)) << model.warning;
  }
  // The mesh is read without the pairs: its vertices keep (0, 0).
  RecordingServices services;
  XModel model = ReadText(Cube("box", coords), services);
  ASSERT_EQ(Meshes(model.root.get()).size(), 1u);
  EXPECT_EQ(Meshes(model.root.get())[0]->vertices()[0].u, 0.0f);
}

// The X files of Debian's assimp-testmodels package, where it is installed.
const std::string kModels = "/usr/share/assimp/models/X/";

struct ModelCounts {
  const char* file;
  int32_t frame_count;
  size_t mesh_nodes;
  uint64_t vertices, triangles;
  size_t tracks;
  uint64_t rotation_keys, scale_keys, translation_keys;
};

TEST(XModelReader, ReadsTheAssimpTestModels) {
  if (!std::filesystem::exists(kModels + "test.x"))
    GTEST_SKIP() << "assimp-testmodels is not installed";
  // Frames count the root; tracks and keys are those of each file's last
  // AnimationSet.
  const ModelCounts expected[] = {
#include "tests/models/assimp_model_counts.inc"
  };
  for (const ModelCounts& e : expected) {
    SCOPED_TRACE(e.file);
    RecordingServices services;
    XModel model = ReadXModel(kModels + e.file, services);
    ASSERT_NE(model.root, nullptr) << model.error;
    EXPECT_EQ(model.frame_count, e.frame_count);
    auto meshes = Meshes(model.root.get());
    uint64_t vertices = 0, triangles = 0;
    for (MeshNode* m : meshes) vertices += m->vertex_count(), triangles += m->index_count() / 3;
    EXPECT_EQ(meshes.size(), e.mesh_nodes);
    EXPECT_EQ(vertices, e.vertices);
    EXPECT_EQ(triangles, e.triangles);
    size_t tracks = model.keyframes ? model.keyframes->tracks.size() : 0;
    EXPECT_EQ(tracks, e.tracks);
    uint64_t r = 0, s = 0, t = 0;
    if (model.keyframes)
      for (const auto& track : model.keyframes->tracks)
        r += track.rotation_keys.count(), s += track.scale_keys.count(), t += track.translation_keys.count();
    EXPECT_EQ(r, e.rotation_keys);
    EXPECT_EQ(s, e.scale_keys);
    EXPECT_EQ(t, e.translation_keys);
  }
}

}  // namespace
}  // namespace zv::models
