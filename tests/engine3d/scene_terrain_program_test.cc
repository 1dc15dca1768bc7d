// BASIC programs with a static scene, matrix terrain and 3DS models, run
// headless through the display and the software 3D device; frames probed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <filesystem>
#include <fstream>

#include "models/files/three_ds_to_x.h"
#include "tests/engine3d/engine_run.h"
#include "tests/engine3d/texture_pictures.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

// The backdrop's first colour, 128 blue, on the 5-6-5 screen.
constexpr uint32_t kBackdrop = 0x00007B;

int Red(uint32_t p) { return static_cast<int>((p >> 16) & 0xFF); }
int Green(uint32_t p) { return static_cast<int>((p >> 8) & 0xFF); }
int Blue(uint32_t p) { return static_cast<int>(p & 0xFF); }

class SceneTerrainPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_engine3d_scene_" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  EngineRun Run(const std::string& source) { return RunEngineProgram(source, folder_.string()); }
  void WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(folder_ / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::string Read(const std::string& name) {
    std::ifstream in(folder_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Files of the folder whose names start with `prefix`.
  std::vector<std::string> FilesStarting(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(folder_))
      if (entry.path().filename().string().starts_with(prefix)) out.push_back(entry.path().filename().string());
    return out;
  }

  fs::path folder_;
};

// The program's scene shown in both buffers of the flip chain, then the end.
std::string Framed(const std::string& body) { return "sync on\nhide mouse\n" + body + "sync\nsync\nend\n"; }

constexpr char kCamera[] = "position camera 0, 0, -40 : point camera 0, 0, 0\n";

// ---- Static scene -------------------------------------------------------------------------

// A red cube copied into the static scene; the object itself is deleted.
constexpr char kCopiedCube[] =
    "disable auto camera\n"
    "make object cube 1, 10 : colour object 1, rgb(255, 0, 0)\n"
    "copy object to static scene 1\n"
    "delete object 1\n";

TEST_F(SceneTerrainPrograms, GeometryCopiedIntoTheStaticSceneIsDrawnAfterItsObjectIsGone) {
  EngineRun run = Run(Framed(std::string(kCopiedCube) + kCamera));
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(run.width, 640);
  EXPECT_GT(Red(run.At(320, 240)), 0x40);
  EXPECT_EQ(Green(run.At(320, 240)), 0);
  EXPECT_EQ(run.At(20, 20), kBackdrop);
  // Deleting the static objects empties the scene.
  EngineRun deleted = Run(Framed(std::string(kCopiedCube) + "delete static objects\n" + kCamera));
  EXPECT_EQ(deleted.At(320, 240), kBackdrop);
  // A hidden limb is no part of the copy.
  EngineRun limb = Run(Framed("disable auto camera\nmake object cube 1, 10 : make mesh from object 1, 1\n"
                              "add limb 1, 1, 1 : offset limb 1, 1, -100, 0, 0 : hide limb 1, 1\n"
                              "position object 1, 100, 0, 0 : copy object to static scene 1 : delete object 1\n" +
                              std::string(kCamera)));
  EXPECT_EQ(limb.At(320, 240), kBackdrop);
  // A glued object goes in where it hangs: from a holder 100 to the left,
  // turned about, 100 along its x. Moved in, likewise.
  const std::string glued = "disable auto camera\nmake object cube 2, 4 : position object 2, -100, 0, 0\n"
                            "rotate object 2, 0, 180, 0 : make object cube 1, 10 : colour object 1, rgb(255, 0, 0)\n"
                            "glue object to limb 1, 2, 0 : position object 1, -100, 0, 0\n";
  EngineRun copied =
      Run(Framed(glued + "copy object to static scene 1 : delete object 1 : delete object 2\n" + kCamera));
  EXPECT_GT(Red(copied.At(320, 240)), 0x40);
  EngineRun moved = Run(Framed(glued + "move object to static scene 1 : hide object 2\n" + kCamera));
  EXPECT_GT(Red(moved.At(320, 240)), 0x40);
}

TEST_F(SceneTerrainPrograms, ASavedSceneLoadsBackWithItsTexture) {
  EngineRun save = Run(Framed(
      "disable auto camera\n"
      "make object cube 1, 10 : colour object 1, rgb(0, 255, 0)\n"
      "copy object to static scene 1\n"
      "make static collision box -5, -5, -5, 5, 5, 5\n"
      "save static objects \"level.dat\"\n"));
  EXPECT_EQ(save.errors, "");
  ASSERT_TRUE(fs::exists(folder_ / "level.dat"));
  const std::vector<std::string> textures = FilesStarting("level.dat_");
  ASSERT_EQ(textures.size(), 1u);
  EXPECT_TRUE(textures[0].ends_with(".dds"));
  // The file ends with the collision box and the end bytes.
  const std::string bytes = Read("level.dat");
  ASSERT_GT(bytes.size(), 27u);
  EXPECT_EQ(bytes[bytes.size() - 26], 1);
  EXPECT_EQ(bytes.back(), 0);

  // Loaded into a run without the cube: drawn in the DDS file's green.
  EngineRun load = Run(Framed(std::string("disable auto camera\nload static objects \"level.dat\"\n") + kCamera));
  EXPECT_EQ(load.errors, "");
  EXPECT_GT(Green(load.At(320, 240)), 0x40);
  EXPECT_EQ(Red(load.At(320, 240)), 0);
  EXPECT_EQ(Blue(load.At(320, 240)), 0);
  // Without its texture file the scene is drawn untextured: grey, not green.
  fs::remove(folder_ / textures[0]);
  EngineRun bare = Run(Framed(std::string("disable auto camera\nload static objects \"level.dat\"\n") + kCamera));
  EXPECT_GT(Red(bare.At(320, 240)), 0x40);
  EXPECT_NEAR(Red(bare.At(320, 240)), Green(bare.At(320, 240)), 8);  // green keeps one bit more
  // An object moved into the scene a load replaces is an object again.
  EngineRun reload = Run(Framed("disable auto camera\nmake object cube 3, 4 : colour object 3, rgb(255, 0, 0)\n"
                                "position object 3, 0, 0, -20 : move object to static scene 3\n"
                                "load static objects \"level.dat\"\n" + std::string(kCamera)));
  EXPECT_GT(Red(reload.At(320, 240)), 0x40);
  EXPECT_EQ(Green(reload.At(320, 240)), 0);
  // A damaged file changes nothing and stops nothing.
  std::ofstream(folder_ / "bad.dat") << "\x01\x02";
  EngineRun bad = Run(Framed(std::string(kCopiedCube) + "load static objects \"bad.dat\"\n" + kCamera));
  EXPECT_EQ(bad.errors, "");
  EXPECT_GT(Red(bad.At(320, 240)), 0x40);
}

// A blue plain far behind, copied into the scene, holds what is moved in
// before it.
constexpr char kContainer[] =
    "make object plain 2, 200, 200 : colour object 2, rgb(0, 0, 255) : position object 2, 0, 0, 60\n"
    "copy object to static scene 2\n"
    "delete object 2\n";
constexpr char kMovedCube[] =
    "make object cube 1, 10 : colour object 1, rgb(255, 0, 0)\n"
    "move object to static scene 1\n";

TEST_F(SceneTerrainPrograms, AnObjectMovedIntoTheSceneShowsWithItsContainerOrAlone) {
  EngineRun contained = Run(Framed(std::string("disable auto camera\n") + kContainer + kMovedCube + kCamera));
  EXPECT_EQ(contained.errors, "");
  EXPECT_EQ(CompareWithGolden(contained, "static_scene_container"), "");
  EXPECT_GT(Blue(contained.At(20, 20)), Blue(kBackdrop));  // the container, lit
  EXPECT_GT(Red(contained.At(320, 240)), 0x40);
  EXPECT_EQ(Blue(contained.At(320, 240)), 0);
  // Alone, it is hidden as an object and drawn from the scene all the same.
  EngineRun alone = Run(Framed(std::string("disable auto camera\n") + kMovedCube + kCamera));
  EXPECT_EQ(alone.At(320, 240), contained.At(320, 240));
  // Taken back, it is an object again.
  EngineRun back = Run(Framed(std::string("disable auto camera\n") + kMovedCube + "remove object from static scene 1\n" +
                              kCamera));
  EXPECT_GT(Red(back.At(320, 240)), 0x40);
  // Moving twice adds it once: taking it back then leaves nothing behind.
  EngineRun twice = Run(Framed(std::string("disable auto camera\n") + kContainer + kMovedCube +
                               "move object to static scene 1\nremove object from static scene 1\nhide object 1\n" +
                               kCamera));
  EXPECT_NE(Red(twice.At(320, 240)), Red(contained.At(320, 240)));
  // Deleted, it takes its geometry with it: the container shows through.
  EngineRun left = Run(Framed(std::string("disable auto camera\n") + kContainer + kMovedCube + "delete object 1\n" +
                              kCamera));
  EXPECT_EQ(left.errors, "");
  EXPECT_EQ(Red(left.At(320, 240)), 0);
  EXPECT_GT(Blue(left.At(320, 240)), Blue(kBackdrop));
}

TEST_F(SceneTerrainPrograms, AnOccluderHidesWhatLiesBehindItUntilOcclusionIsSwitchedOff) {
  const std::string scene =
      "disable auto camera\n"
      "make object cube 1, 10 : colour object 1, rgb(255, 0, 0) : position object 1, 0, 0, 40\n"
      "copy object to static scene 1 : delete object 1\n"
      "make object plain 2, 100, 100\n"
      "copy object to static scene 2, 3 : delete object 2\n";
  EngineRun occluded = Run(Framed(scene + kCamera));
  EXPECT_EQ(occluded.errors, "");
  EXPECT_EQ(occluded.At(320, 240), kBackdrop);
  EngineRun seen = Run(Framed(scene + "clear static scene switch\n" + kCamera));
  EXPECT_GT(Red(seen.At(320, 240)), 0x40);
  EngineRun again = Run(Framed(scene + "clear static scene switch\nset static scene switch\n" + kCamera));
  EXPECT_EQ(again.At(320, 240), kBackdrop);
}

// Turned, scaled, coloured primitives and a loaded model, seen from one
// camera.
constexpr char kPlate[] =
    "xof 0302txt 0032\n"
    "Frame plate {\n"
    " Mesh square {\n"
    "  4;\n"
    "  -5;-5;0;, 5;-5;0;, 5;5;0;, -5;5;0;;\n"
    "  2;\n"
    "  3;0,2,1;, 3;0,3,2;;\n"
    "  MeshNormals {\n"
    "   1;\n"
    "   0;0;-1;;\n"
    "   2;\n"
    "   3;0,0,0;, 3;0,0,0;;\n"
    "  }\n"
    " }\n"
    "}\n";
constexpr char kObjects[] =
    "disable auto camera\n"
    "make object cube 1, 10 : colour object 1, rgb(255, 0, 0) : position object 1, -15, 0, 0\n"
    "rotate object 1, 30, 40, 0\n"
    "make object sphere 2, 12 : colour object 2, rgb(0, 255, 0) : position object 2, 15, 0, 10\n"
    "make object cone 3, 10 : colour object 3, rgb(0, 0, 255) : position object 3, 0, 12, 5\n"
    "rotate object 3, 0, 0, 20\n"
    "load object \"plate.x\", 4 : colour object 4, rgb(255, 255, 0) : position object 4, 0, -10, 20\n"
    "rotate object 4, 300, 0, 0 : scale object 4, 200, 150, 100\n";
constexpr char kSceneCamera[] = "position camera 0, 5, -50 : point camera 0, 0, 0\n";

TEST_F(SceneTerrainPrograms, AStaticCopyDrawsItsObjectsPictureAndSurvivesSaveThenLoad) {
  std::ofstream(folder_ / "plate.x") << kPlate;
  EngineRun objects = Run(Framed(std::string(kObjects) + kSceneCamera));
  EXPECT_EQ(objects.errors, "");
  ASSERT_EQ(objects.width, 640);
  EXPECT_GT(objects.CountOtherThan(kBackdrop), 10000u);

  EngineRun copied = Run(Framed(std::string(kObjects) +
                                "for i = 1 to 4 : copy object to static scene i : delete object i : next i\n" +
                                kSceneCamera + "save static objects \"level.dat\"\n"));
  EXPECT_EQ(copied.errors, "");
  EXPECT_TRUE(copied.frame == objects.frame) << "the static copy draws another picture";

  // A new run with only a hidden object, for the backdrop.
  EngineRun loaded = Run(Framed(std::string("disable auto camera\nmake object cube 9, 1 : hide object 9\n"
                                            "load static objects \"level.dat\"\n") +
                                kSceneCamera));
  EXPECT_EQ(loaded.errors, "");
  EXPECT_TRUE(loaded.frame == objects.frame) << "the loaded scene draws another picture";
}

TEST_F(SceneTerrainPrograms, CollisionBoxesAloneAreSavedAndAnEmptySceneLoadsBackEmpty) {
  EngineRun run = Run(
      "save static objects \"empty.dat\"\n"
      "make static collision box 20, -10, -10, 30, 10, 10\n"
      "save static objects \"boxes.dat\"\n"
      "delete static objects\n"
      "print static line collision(0, 0, 0, 100, 0, 0, 1, 1)\n"
      "load static objects \"boxes.dat\"\n"
      "print static line collision(0, 0, 0, 100, 0, 0, 1, 1); \" \"; static line result x()\n"
      "load static objects \"empty.dat\"\n"
      "print static line collision(0, 0, 0, 100, 0, 0, 1, 1)\n"
      "end\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "0\n1 18\n0\n");
  // Both lists end at once.
  std::ifstream empty(folder_ / "empty.dat", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(empty), {}), std::string(2, '\0'));
}

// ---- Matrix terrain ------------------------------------------------------------------------

constexpr char kMatrixCamera[] = "position camera 50, 30, -30 : point camera 50, 0, 50\n";

TEST_F(SceneTerrainPrograms, AMatrixIsAWireframeGridUntilItIsTextured) {
  ASSERT_TRUE(WritePicture((folder_ / "grass.bmp").string(), codecs::ImageFileType::kBmp, 32, 32,
                           [](int32_t, int32_t) { return kGreen; }));
  const std::string grid = "make matrix 1, 100, 100, 10, 10\n" + std::string(kMatrixCamera);
  EngineRun wire = Run(Framed(grid));
  EXPECT_EQ(wire.errors, "");
  ASSERT_EQ(wire.width, 640);
  const size_t lines = wire.CountOtherThan(kBackdrop);
  EXPECT_GT(lines, 1000u);
  EXPECT_LT(lines, 640u * 480u / 4);
  EngineRun textured = Run(Framed("load image \"grass.bmp\", 1\n" + grid + "prepare matrix texture 1, 1, 1, 1\n"));
  EXPECT_EQ(textured.errors, "");
  // The ground below the middle of the screen is solid green.
  EXPECT_GT(Green(textured.At(320, 400)), 0x40);
  EXPECT_EQ(Red(textured.At(320, 400)), 0);
  EXPECT_GT(textured.CountOtherThan(kBackdrop), 640u * 480u / 3);
  // A camera inside a large matrix, far from its corner and facing away
  // from it, still sees the ground (and with hills raised and updated).
  const std::string far = "load image \"grass.bmp\", 1\nmake matrix 1, 2000, 2000, 40, 40\n"
                          "prepare matrix texture 1, 1, 1, 1\n";
  const std::string away = "position camera 1300, 90, 1400 : rotate camera 0, 55, 0\n";
  EXPECT_EQ(Green(Run(Framed(far + away)).At(320, 400)), Green(textured.At(320, 400)));
  EngineRun hills = Run(Framed(far + "randomize matrix 1, 60\nupdate matrix 1\n" + away));
  EXPECT_EQ(hills.errors, "");
  EXPECT_GT(hills.CountOtherThan(kBackdrop), 640u * 480u / 3);
  // A texture of no tiles changes nothing and reports nothing.
  EngineRun none = Run(Framed("load image \"grass.bmp\", 1\n" + grid + "prepare matrix texture 1, 1, 0, 1\n"));
  EXPECT_EQ(none.errors, "");
  EXPECT_EQ(none.CountOtherThan(kBackdrop), lines);
}

TEST_F(SceneTerrainPrograms, HeightsShowOnlyOnceTheMatrixIsUpdated) {
  const std::string grid =
      "make matrix 1, 100, 100, 10, 10\n"
      "for x = 3 to 7 : for z = 3 to 7 : set matrix height 1, x, z, 40 : next z : next x\n" +
      std::string(kMatrixCamera);
  EngineRun flat = Run(Framed(grid));
  EngineRun raised = Run(Framed(grid + "update matrix 1\n"));
  EXPECT_EQ(raised.errors, "");
  EXPECT_EQ(CompareWithGolden(raised, "matrix_hill"), "");
  EXPECT_GT(raised.CountOtherThan(kBackdrop), flat.CountOtherThan(kBackdrop) + 500);
  // Shifting the hill out of the middle by a deferred shift and an update.
  EngineRun shifted = Run(Framed(grid + "for i = 1 to 5 : shift matrix minus x 1, 0 : next i\nupdate matrix 1\n"));
  EXPECT_NE(shifted.frame, raised.frame);
  EngineRun deleted = Run(Framed(grid + "update matrix 1\ndelete matrix 1\n"));
  EXPECT_EQ(deleted.CountOtherThan(kBackdrop), 0u);
}

TEST_F(SceneTerrainPrograms, MatrixErrorsEndTheProgram) {
  EngineRun run = Run(Framed("make matrix 1, 100, 100, 101, 50\n"));
  EXPECT_NE(run.errors.find("Matrix has too many tiles"), std::string::npos) << run.errors;
  EngineRun missing = Run(Framed("fill matrix 3, 0, 1\n"));
  EXPECT_NE(missing.errors.find("Matrix does not exist"), std::string::npos) << missing.errors;
}

// ---- 3DS models ------------------------------------------------------------------------------

// A 3DS file: a red material and a cube of 10 around the origin. With a
// map file the material is textured and each vertex takes u, v from its x
// and z (our y), so the face toward -z shows the whole picture upright.
std::vector<uint8_t> Cube3ds(std::string_view map_file = {}) {
  std::vector<uint8_t> out;
  auto u8 = [](std::vector<uint8_t>& b, uint8_t v) { b.push_back(v); };
  auto u16 = [&](std::vector<uint8_t>& b, uint16_t v) { u8(b, v & 0xFF), u8(b, v >> 8); };
  auto u32 = [&](std::vector<uint8_t>& b, uint32_t v) { u16(b, v & 0xFFFF), u16(b, v >> 16); };
  auto f32 = [&](std::vector<uint8_t>& b, float v) { u32(b, std::bit_cast<uint32_t>(v)); };
  auto str = [&](std::vector<uint8_t>& b, std::string_view s) {
    b.insert(b.end(), s.begin(), s.end());
    u8(b, 0);
  };
  auto chunk = [&](uint16_t id, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> c;
    u16(c, id);
    u32(c, static_cast<uint32_t>(body.size() + 6));
    c.insert(c.end(), body.begin(), body.end());
    return c;
  };
  auto cat = [](std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> c;
    for (const auto& p : parts) c.insert(c.end(), p.begin(), p.end());
    return c;
  };
  std::vector<uint8_t> name, colour, vertices, faces, group, object_name, uv, strength, map;
  str(name, "Red");
  u8(colour, 255), u8(colour, 0), u8(colour, 0);
  u16(vertices, 8);
  u16(uv, 8);
  for (int k = 0; k < 8; ++k) {
    for (float v : {k & 1 ? 5.0f : -5.0f, k & 2 ? 5.0f : -5.0f, k & 4 ? 5.0f : -5.0f}) f32(vertices, v);
    f32(uv, k & 1 ? 1.0f : 0.0f);
    f32(uv, k & 4 ? 1.0f : 0.0f);  // the file's z is our y
  }
  const uint16_t quads[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
  u16(faces, 12);
  for (const auto& q : quads) {
    u16(faces, q[0]), u16(faces, q[1]), u16(faces, q[2]), u16(faces, 0);
    u16(faces, q[0]), u16(faces, q[2]), u16(faces, q[3]), u16(faces, 0);
  }
  str(group, "Red");
  u16(group, 0);
  str(object_name, "Box");
  std::vector<uint8_t> material_body = cat({chunk(0xA000, name), chunk(0xA020, chunk(0x0011, colour))});
  std::vector<uint8_t> mesh_body = cat({chunk(0x4110, vertices), chunk(0x4120, cat({faces, chunk(0x4130, group)}))});
  if (!map_file.empty()) {
    u16(strength, 100);
    str(map, map_file);
    material_body = cat({material_body, chunk(0xA200, cat({chunk(0x0030, strength), chunk(0xA300, map)}))});
    mesh_body = cat({mesh_body, chunk(0x4140, uv)});
  }
  const auto object = chunk(0x4000, cat({object_name, chunk(0x4100, mesh_body)}));
  return chunk(0x4D4D, chunk(0x3D3D, cat({chunk(0xAFFF, material_body), object})));
}

TEST_F(SceneTerrainPrograms, A3dsFileLoadsAsAnObject) {
  WriteBytes("box.3ds", Cube3ds());
  EngineRun run = Run(Framed("load object \"box.3ds\", 1\n"));
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(run.width, 640);
  EXPECT_GT(Red(run.At(320, 240)), 0x40);
  EXPECT_EQ(Green(run.At(320, 240)), 0);
  EXPECT_EQ(run.At(5, 5), kBackdrop);
  // A missing 3DS file is a missing file; a file that is no whole 3DS file
  // cannot be converted.
  EngineRun missing = Run(Framed("load object \"none.3ds\", 1\n"));
  EXPECT_NE(missing.errors.find("File does not exist"), std::string::npos) << missing.errors;
  std::vector<uint8_t> cut = Cube3ds();
  cut.resize(cut.size() / 2);
  WriteBytes("cut.3ds", cut);
  WriteBytes("empty.3ds", {});
  for (const char* name : {"cut.3ds", "empty.3ds"}) {
    EngineRun damaged = Run(Framed("load object \"" + std::string(name) + "\", 1\nprint object exist(1)\n"));
    EXPECT_NE(damaged.errors.find("Warning : Could not convert the 3DS model"), std::string::npos) << damaged.errors;
    EXPECT_EQ(damaged.printed, "");
  }
}

TEST_F(SceneTerrainPrograms, The3dsConversionCommandWritesTheXTextAndChecksItsNames) {
  WriteBytes("box.3ds", Cube3ds());
  EngineRun run = Run(Framed("convert 3ds to x \"BOX.3DS\", \"box.X\"\nload object \"box.X\", 1\n"));
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(Read("box.X"), models::ConvertThreeDsToXText(Cube3ds()));
  EXPECT_GT(Red(run.At(320, 240)), 0x40);
  // The target exists now: 106. A target that is not .x: 7932; a missing
  // source: 105.
  EngineRun exists = Run(Framed("convert 3ds to x \"box.3ds\", \"box.x\"\n"));
  EXPECT_NE(exists.errors.find("File already exists"), std::string::npos) << exists.errors;
  EngineRun wrong = Run(Framed("convert 3ds to x \"box.3ds\", \"other.xx\"\n"));
  EXPECT_NE(wrong.errors.find("Target file must be an X file"), std::string::npos) << wrong.errors;
  EngineRun gone = Run(Framed("convert 3ds to x \"gone.3ds\", \"gone.x\"\n"));
  EXPECT_NE(gone.errors.find("File does not exist"), std::string::npos) << gone.errors;
  EXPECT_FALSE(fs::exists(folder_ / "other.xx"));
  // A target that cannot be written says why.
  EngineRun nowhere = Run(Framed("convert 3ds to x \"box.3ds\", \"nowhere/box.x\"\n"));
  EXPECT_NE(nowhere.errors.find("Could not write to the file \"nowhere/box.x\": no such file or directory"),
            std::string::npos)
      << nowhere.errors;
  // A file that is no 3DS file converts into nothing, and says so.
  WriteBytes("text.3ds", {'t', 'e', 'x', 't'});
  EngineRun text = Run(Framed("convert 3ds to x \"text.3ds\", \"text.x\"\n"));
  EXPECT_NE(text.errors.find("Could not convert the 3DS model"), std::string::npos) << text.errors;
  EXPECT_FALSE(fs::exists(folder_ / "text.x"));
}

TEST_F(SceneTerrainPrograms, ATextured3dsCubeShowsItsPicture) {
  // Red, green, blue and white quarters; the cube's front face shows them
  // upright, lit.
  // The picture is found beside the model, in the model's folder.
  fs::create_directories(folder_ / "models");
  ASSERT_TRUE(WritePicture((folder_ / "models" / "four.bmp").string(), codecs::ImageFileType::kBmp, 64, 64,
                           [](int32_t x, int32_t y) { return Quarters(x, y, 64, 64); }));
  WriteBytes("models/box.3ds", Cube3ds("four.bmp"));
  EngineRun run =
      Run(Framed("disable auto camera\nload object \"models\\box.3ds\", 1\n" + std::string(kCamera)));
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(run.width, 640);
  auto strongest = [](uint32_t p) {
    const int r = Red(p), g = Green(p), b = Blue(p);
    return r > g + 40 && r > b + 40 ? 'r' : g > r + 40 && g > b + 40 ? 'g' : b > r + 40 && b > g + 40 ? 'b' : 'w';
  };
  EXPECT_EQ(strongest(run.At(300, 220)), 'r');
  EXPECT_EQ(strongest(run.At(340, 220)), 'g');
  EXPECT_EQ(strongest(run.At(300, 260)), 'b');
  EXPECT_EQ(strongest(run.At(340, 260)), 'w');
  EXPECT_GT(Red(run.At(340, 260)), 0x40);
}

// Every 3DS file of Debian's assimp-testmodels package, where it is
// installed, loads as an object and draws the triangles that `assimp info
// -r` counts in it (the camera is placed to see the whole object).
TEST_F(SceneTerrainPrograms, TheSample3dsFilesLoadAndDrawAllTheirTriangles) {
  const std::string folder = "/usr/share/assimp/models/3DS/";
  if (!fs::exists(folder + "fels.3ds")) GTEST_SKIP() << "assimp-testmodels is not installed";
  const std::pair<const char*, int> samples[] = {
      {"CameraRollAnim.3ds", 12},    {"CameraRollAnimWithChildObject.3ds", 24},
      {"RotatingCube.3DS", 12},      {"TargetCameraAnim.3ds", 12},
      {"cube_with_diffuse_texture.3DS", 12}, {"cube_with_specular_texture.3DS", 12},
      {"cubes_with_alpha.3DS", 60},  {"fels.3ds", 768},
      {"test1.3ds", 108},             {"testFormatDetection", 1368},
  };
  for (const auto& [name, triangles] : samples) {
    SCOPED_TRACE(name);
    fs::copy_file(folder + name, folder_ / "sample.3ds", fs::copy_options::overwrite_existing);
    EngineRun run = Run("sync on\nhide mouse\nload object \"sample.3ds\", 1\nsync\nsync\n"
                        "print statistic(1)\nend\n");
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(run.printed, std::to_string(triangles) + "\n");
  }
}

}  // namespace
}  // namespace zv::test
