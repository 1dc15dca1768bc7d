#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/engine3d/engine_run.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

// The backdrop's first colour, 128 blue, on the 5-6-5 screen.
constexpr uint32_t kBackdrop = 0x00007B;

// The program's scene shown in both buffers of the flip chain, then the end.
std::string Framed(const std::string& body) { return "sync on\nhide mouse\n" + body + "sync\nsync\nend\n"; }

class ObjectPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_engine3d_objects_" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  EngineRun Run(const std::string& source) { return RunEngineProgram(source, folder_.string()); }
  // Each program ends on its runtime error, whose text holds `text`.
  template <class Cases>
  void ExpectEachEndsOnItsError(const Cases& cases) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.program);
      EngineRun run = Run(Framed(c.program));
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.errors.find(c.text), std::string::npos) << run.errors;
    }
  }
  void Write(const std::string& name, const std::string& text) { std::ofstream(folder_ / name) << text; }

  fs::path folder_;
};

// Red, green and blue channels of a frame pixel.
int Red(uint32_t p) { return static_cast<int>((p >> 16) & 0xFF); }
int Green(uint32_t p) { return static_cast<int>((p >> 8) & 0xFF); }
int Blue(uint32_t p) { return static_cast<int>(p & 0xFF); }

TEST_F(ObjectPrograms, ACubeMadeAloneIsPlacedBeforeTheCamera) {
  // The automatic camera looks at the first object from in front of it.
  EngineRun run = Run(Framed("make object cube 1, 10\n"));
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.status, 0);
  ASSERT_EQ(run.width, 640);
  EXPECT_EQ(run.At(5, 5), kBackdrop);
  EXPECT_NE(run.At(320, 240), kBackdrop);
  EXPECT_EQ(CompareWithGolden(run, "cube"), "");
}

// Every primitive in its own colour, placed, turned and scaled.
constexpr char kPrimitives[] =
    "disable auto camera\n"
    "make object cube 1, 10 : position object 1, -30, 12, 0 : colour object 1, rgb(255, 0, 0)\n"
    "rotate object 1, 30, 45, 0\n"
    "make object sphere 2, 12 : position object 2, -10, 12, 0 : colour object 2, rgb(0, 255, 0)\n"
    "make object cylinder 3, 10 : position object 3, 10, 12, 0 : colour object 3, rgb(0, 0, 255)\n"
    "x rotate object 3, 20\n"
    "make object cone 4, 10 : position object 4, 30, 12, 0 : colour object 4, rgb(255, 255, 0)\n"
    "make object box 5, 16, 6, 6 : position object 5, -25, -10, 0 : y rotate object 5, 30\n"
    "make object plain 6, 10, 10 : position object 6, 0, -10, 0 : colour object 6, rgb(255, 0, 255)\n"
    "make object triangle 7, 0, 0, 0, 0, 10, 0, 10, 0, 0 : position object 7, 18, -15, 0\n"
    "make object sphere 8, 10 : position object 8, 32, -10, 0 : scale object 8, 50, 150, 100\n"
    "position camera 0, 0, -70 : point camera 0, 0, 0\n";

TEST_F(ObjectPrograms, EveryPrimitiveInItsPlace) {
  EngineRun run = Run(Framed(kPrimitives));
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(run.width, 640);
  // Each object covers the projection of its centre, in its colour's hue.
  auto project = [&](float x, float y) {
    // 70 units away, field of view pi / 2.905: 1.666 / 70 of the half screen per unit.
    const float w = 1.6655f / 70.0f;
    return std::pair<int, int>(static_cast<int>(320 + x * w * 0.75f * 320), static_cast<int>(240 - y * w * 240));
  };
  auto [cube_x, cube_y] = project(-30, 12);
  EXPECT_GT(Red(run.At(cube_x, cube_y)), 0x40);
  EXPECT_EQ(Green(run.At(cube_x, cube_y)), 0);
  auto [sphere_x, sphere_y] = project(-10, 12);
  EXPECT_GT(Green(run.At(sphere_x, sphere_y)), 0x40);
  EXPECT_EQ(Red(run.At(sphere_x, sphere_y)), 0);
  auto [cylinder_x, cylinder_y] = project(10, 12);
  EXPECT_GT(Blue(run.At(cylinder_x, cylinder_y)), 0x40);
  EXPECT_EQ(Red(run.At(cylinder_x, cylinder_y)), 0);
  auto [cone_x, cone_y] = project(30, 10);
  EXPECT_GT(Red(run.At(cone_x, cone_y)), 0x40);
  EXPECT_GT(Green(run.At(cone_x, cone_y)), 0x40);
  auto [plain_x, plain_y] = project(0, -10);
  EXPECT_GT(Red(run.At(plain_x, plain_y)), 0x40);
  EXPECT_GT(Blue(run.At(plain_x, plain_y)), 0x40);
  auto [box_x, box_y] = project(-25, -10);
  EXPECT_NE(run.At(box_x, box_y), kBackdrop);
  auto [triangle_x, triangle_y] = project(20, -13);
  EXPECT_NE(run.At(triangle_x, triangle_y), kBackdrop);
  EXPECT_EQ(run.At(320, 240), kBackdrop);
  EXPECT_EQ(CompareWithGolden(run, "primitives"), "");
}

TEST_F(ObjectPrograms, HiddenObjectsAreNotDrawnUntilShownAgain) {
  const std::string scene = "make object sphere 1, 10\n";
  EngineRun hidden = Run(Framed(scene + "hide object 1\n"));
  EXPECT_EQ(hidden.CountOtherThan(kBackdrop), 0u);
  EngineRun shown = Run(Framed(scene + "hide object 1\nshow object 1\n"));
  EXPECT_GT(shown.CountOtherThan(kBackdrop), 1000u);
}

TEST_F(ObjectPrograms, DeletedObjectsLeaveTheSceneAndTheirNumberFree) {
  EngineRun run = Run(Framed(
      "make object cube 1, 10\n"
      "delete object 1\n"
      "make object sphere 1, 10\n"
      "delete object 1\n"));
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.CountOtherThan(kBackdrop), 0u);
}

TEST_F(ObjectPrograms, InstancesShareTheModelButNotThePlacement) {
  EngineRun run = Run(Framed(
      "disable auto camera\n"
      "make object cube 1, 10 : position object 1, -15, 0, 0\n"
      "instance object 1, 2 : position object 2, 15, 0, 0\n"
      "position camera 0, 0, -60 : point camera 0, 0, 0\n"));
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(run.width, 640);
  EXPECT_NE(run.At(320 - 100, 240), kBackdrop);
  EXPECT_NE(run.At(320 + 100, 240), kBackdrop);
  EXPECT_EQ(run.At(320, 240), kBackdrop);
}

TEST_F(ObjectPrograms, TheBackdropCanBeSwitchedOffOrColoured) {
  EngineRun off = Run(Framed("backdrop off\ncls\nmake object cube 1, 10\n"));
  EXPECT_EQ(off.At(5, 5), 0u);
  EngineRun coloured = Run(Framed("make object cube 1, 10\ncolour backdrop rgb(255, 0, 0)\n"));
  EXPECT_EQ(coloured.At(5, 5), 0xFF0000u);
  // Coloured before it comes up with the first object, it comes up so.
  EngineRun early = Run(Framed("colour backdrop rgb(255, 0, 0)\nmake object cube 1, 10\n"));
  EXPECT_EQ(early.At(5, 5), 0xFF0000u);
}

TEST_F(ObjectPrograms, AnXModelLoadsWithItsFramesAndMaterials) {
  Write("square.x",
        "xof 0302txt 0032\n"
        "Frame Square {\n"
        "  FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;; }\n"
        "  Mesh {\n"
        "    4; -5.0;-5.0;0.0;, 5.0;-5.0;0.0;, -5.0;5.0;0.0;, 5.0;5.0;0.0;;\n"
        "    2; 3;0,2,1;, 3;1,2,3;;\n"
        "    MeshNormals { 1; 0.0;0.0;-1.0;; 2; 3;0,0,0;, 3;0,0,0;; }\n"
        "    MeshMaterialList { 1; 2; 0, 0;; Material { 1.0;0.0;0.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } }\n"
        "  }\n"
        "}\n");
  EngineRun run = Run(Framed(
      "load object \"SQUARE.X\", 1\n"
      "checklist object limbs 1\n"));
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(run.width, 640);
  const uint32_t centre = run.At(320, 240);
  EXPECT_GT(Red(centre), 0x40);
  EXPECT_EQ(Green(centre), 0);
  EXPECT_EQ(Blue(centre), 0);
  EXPECT_EQ(CompareWithGolden(run, "x_model"), "");
}

TEST_F(ObjectPrograms, MeshesLoadFromFilesAndFromObjectsAndMakeObjects) {
  Write("tri.x",
        "xof 0302txt 0032\n"
        "Mesh { 3; -8.0;-8.0;0.0;, 0.0;8.0;0.0;, 8.0;-8.0;0.0;; 1; 3;0,1,2;; }\n");
  EngineRun run = Run(Framed(
      "disable auto camera\n"
      "load mesh \"tri.x\", 1\n"
      "make object 1, 1, 0 : position object 1, -12, 0, 0\n"
      "make object sphere 2, 8\n"
      "make mesh from object 3, 2\n"
      "delete object 2\n"
      "make object 3, 3, 0 : position object 3, 12, 0, 0\n"
      "delete mesh 1\n"
      "position camera 0, 0, -50\n"));
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(run.width, 640);
  EXPECT_NE(run.At(320 - 96, 240), kBackdrop);  // the triangle, from the file
  EXPECT_NE(run.At(320 + 96, 240), kBackdrop);  // the sphere's mesh
  EXPECT_EQ(run.At(320, 240), kBackdrop);
}

// Each program ends on its runtime error; the text names it.
struct ErrorCase {
  const char* program;
  const char* text;
};

// A model that would not load whole is refused, with what in the file
// keeps it from loading and where.
TEST_F(ObjectPrograms, AModelThatCannotLoadWholeSaysWhyAndWhere) {
  const std::string square =
      "xof 0302txt 0032\n"
      "Mesh square {\n"
      "  4; -5.0;-5.0;0.0;, 5.0;-5.0;0.0;, -5.0;5.0;0.0;, 5.0;5.0;0.0;;\n"
      "  2; 3;0,2,1;, 3;1,2,3;;\n"
      "}\n";
  // A grid one vertex past what 16-bit indices reach, its last face using it.
  std::string grid = "xof 0302txt 0032\nMesh grid {\n65537;\n";
  for (int i = 0; i < 65537; ++i) grid += std::to_string(i % 256) + ".0;" + std::to_string(i / 256) + ".0;0.0;,\n";
  grid.replace(grid.size() - 2, 2, ";\n2; 3;0,1,256;, 3;65534,65535,65536;;\n}\n");
  Write("grid.x", grid);
  Write("face.x", "xof 0302txt 0032\nMesh box {\n  3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;;\n"
                  "  1; 3;0,1,5;;\n}\n");
  Write("material.x", "xof 0302txt 0032\nMesh box {\n  3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;;\n"
                      "  1; 3;0,1,2;;\n"
                      "  MeshMaterialList { 1; 1; 2;; Material { 1.0;0.0;0.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } }\n"
                      "}\n");
  Write("truncated.x", square.substr(0, square.find("  2; 3;")));
  Write("malformed.x", "xof 0302txt 0032\nMesh square {\n  4; -5.0;oops;0.0;;\n}\n");
  const ErrorCase cases[] = {
      {"load object \"grid.x\", 1\n",
       "Could not load the object \"grid.x\": line 2 (byte 17): mesh \"grid\": 65537 vertices, more than the 65536 "
       "a mesh can hold."},
      {"load object \"face.x\", 1\n",
       "Could not load the object \"face.x\": line 4 (byte 86): mesh \"box\": face 0 refers to vertex 5 of 3."},
      {"load mesh \"face.x\", 1\n", "Could not load the mesh \"face.x\": line 4 (byte 86): mesh \"box\": face 0"},
      {"load object \"material.x\", 1\n",
       "Could not load the object \"material.x\": line 5 (byte 117): mesh \"box\": MeshMaterialList object gives face "
       "0 material 2 of 1."},
      {"load object \"truncated.x\", 1\n",
       "Could not load the object \"truncated.x\": line 4 (byte 96): the file ends where an integer should be."},
      {"load object \"malformed.x\", 1\n", "Could not load the object \"malformed.x\": line 3 (byte 41): expected a number."},
  };
  ExpectEachEndsOnItsError(cases);
}

// A 3DS chunk: its id, its length with the header, then its body.
std::string Chunk3ds(uint16_t id, const std::string& body) {
  const uint32_t length = static_cast<uint32_t>(body.size() + 6);
  std::string chunk{static_cast<char>(id & 0xFF), static_cast<char>(id >> 8)};
  for (int shift = 0; shift < 32; shift += 8) chunk.push_back(static_cast<char>((length >> shift) & 0xFF));
  return chunk + body;
}

// One triangle whose face names `c` as its third corner, at byte 84; `more`
// follows the face list in the mesh, at byte 88.
std::string Triangle3ds(char c, const std::string& more = "") {
  std::string vertices("\x03\0", 2);
  for (float v : {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f})
    vertices.append(reinterpret_cast<const char*>(&v), sizeof v);
  const std::string faces = std::string("\x01\0\0\0\x01\0", 6) + c + std::string("\0\x07\0", 3);
  const std::string mesh = Chunk3ds(0x4100, Chunk3ds(0x4110, vertices) + Chunk3ds(0x4120, faces) + more);
  return Chunk3ds(0x4D4D, Chunk3ds(0x3D3D, Chunk3ds(0x4000, std::string("Box\0", 4) + mesh)));
}

// Binary files are placed by byte; a model that loads without part of it
// warns what was left out.
TEST_F(ObjectPrograms, AModelThatLoadsWrongSaysWhatAndWhere) {
  const std::string whole = Triangle3ds(2);
  Write("good.3ds", whole);
  Write("bad.3ds", Triangle3ds(5));
  Write("cut.3ds", whole.substr(0, 80));
  Write("empty.x", "xof 0302txt 0032\n");
  Write("pairs.x", "xof 0302txt 0032\nMesh box {\n  3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;;\n"
                   "  1; 3;0,1,2;;\n  MeshTextureCoords { 1; 0.5;0.5;; }\n}\n");
  // One texture coordinate for the three vertices, its count at byte 94.
  Write("pairs.3ds", Triangle3ds(2, Chunk3ds(0x4140, std::string("\x01\0\0\0\0\0\0\0\0\0", 10))));
  const ErrorCase cases[] = {
      {"load object \"bad.3ds\", 1\n",
       "Runtime Error : Could not load the object \"bad.3ds\": byte 84: object \"Box\": face 0 refers to vertex 5 of "
       "3."},
      {"load object \"cut.3ds\", 1\n",
       "Runtime Warning : Could not convert the 3DS model \"cut.3ds\": byte 80: the file ends inside the face list "
       "(chunk 0x4120) begun at byte 72, which claims 16 bytes."},
      {"convert 3ds to x \"cut.3ds\", \"cut.x\"\n", "Could not convert the 3DS model \"cut.3ds\": byte 80: the file"},
      {"load object \"empty.x\", 1\n",
       "Runtime Warning : Model data is not valid \"empty.x\": the file holds no mesh, so the model shows nothing."},
      {"load mesh \"empty.x\", 1\n", "Model data is not valid \"empty.x\": the file holds no mesh"},
      {"load object \"pairs.x\", 1\n",
       "Runtime Warning : Model data is not valid \"pairs.x\": line 5 (byte 112): mesh \"box\": MeshTextureCoords "
       "object holds 1 texture coordinate for 3 vertices, so they are left out."},
      {"load object \"pairs.3ds\", 1\n",
       "Runtime Warning : Model data is not valid \"pairs.3ds\": byte 94: object \"Box\": 1 texture coordinate for 3 "
       "vertices, so the others take (0, 0)."},
  };
  ExpectEachEndsOnItsError(cases);
  EXPECT_EQ(Run(Framed("load object \"good.3ds\", 1\n")).errors, "");
}

TEST_F(ObjectPrograms, CommandsRaiseTheirRuntimeErrors) {
  const ErrorCase cases[] = {
      {"make object cube 1, 10\nmake object cube 1, 10\n", "Object already exists"},
      {"make object cube 0, 10\n", "Object number out of range"},
      {"make object cube 65536, 10\n", "Object number out of range"},
      {"position object 3, 0, 0, 0\n", "Object does not exist"},
      {"make object cube 1, 10\nrotate object 1, 0, 360.5, 0\n", "Angle must be between 0 and 360"},
      {"make object cube 1, 10\nx rotate object 1, -0.1\n", "Angle must be between 0 and 360"},
      {"rotate camera 0, 400, 0\n", "Angle must be between 0 and 360"},
      {"set camera range 1.0, 1.0\n", "Camera near range must be at least 1 and below far"},
      {"set camera range 0.5, 100\n", "Camera near range must be at least 1 and below far"},
      {"set camera view 10, 0, 10, 480\n", "Rectangle lies outside the screen"},
      {"load object \"model.txt\", 1\n", "Model file must be an X or 3DS file \"model.txt\"."},
      {"load object \"missing.x\", 1\n", "File does not exist \"missing.x\"."},
      {"load mesh \"missing.x\", 1\n", "Could not load the mesh \"missing.x\"."},
      {"delete mesh 65535\n", "Mesh number out of range"},
      {"delete mesh 5\n", "Mesh does not exist"},
      {"make object 1, 7, 0\n", "Mesh does not exist"},
      {"make light 0\n", "Light already exists"},
      {"make light 70000\n", "Light number out of range"},
      {"delete light 0\n", "Cannot delete the default light"},
      {"set point light 4, 0, 0, 0\n", "Light does not exist"},
      {"set ambient light 101\n", "Ambient light level out of range"},
  };
  ExpectEachEndsOnItsError(cases);
}

}  // namespace
}  // namespace zv::test
