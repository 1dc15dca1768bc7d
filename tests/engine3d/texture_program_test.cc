#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/engine3d/engine_run.h"
#include "tests/engine3d/texture_pictures.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;
using codecs::ImageFileType;

// The backdrop's first colour, 128 blue, on the 5-6-5 screen.
constexpr uint32_t kBackdrop = 0x00007B;

class TexturePrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_engine3d_textures_" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  EngineRun Run(const std::string& source) { return RunEngineProgram(source, folder_.string()); }
  void Write(const std::string& name, const std::string& text) { std::ofstream(folder_ / name) << text; }
  void Picture(const std::string& name, ImageFileType type, int32_t side = 64) {
    Picture(name, type, side, [side](int32_t x, int32_t y) { return Quarters(x, y, side, side); });
  }
  void Picture(const std::string& name, ImageFileType type, int32_t side, const PictureColours& colours) {
    ASSERT_TRUE(WritePicture((folder_ / name).string(), type, side, side, colours));
  }

  fs::path folder_;
};

// The program's scene shown in both buffers of the flip chain, then the end.
std::string Framed(const std::string& body) { return "sync on\nhide mouse\n" + body + "sync\nsync\nend\n"; }

int Red(uint32_t p) { return static_cast<int>((p >> 16) & 0xFF); }
int Green(uint32_t p) { return static_cast<int>((p >> 8) & 0xFF); }
int Blue(uint32_t p) { return static_cast<int>(p & 0xFF); }
bool Near(uint32_t got, uint32_t want, int tolerance) {
  return std::abs(Red(got) - Red(want)) <= tolerance && std::abs(Green(got) - Green(want)) <= tolerance &&
         std::abs(Blue(got) - Blue(want)) <= tolerance;
}

// The backdrop's cells each show the whole texture: the quarters of the
// top-left cell (213 x 240 pixels) at their centres.
struct Probe {
  int32_t x, y;
};
constexpr Probe kCellRed{53, 60}, kCellGreen{160, 60}, kCellBlue{53, 180}, kCellWhite{160, 180};

// A square of 10 x 10 made from image 1 through a mesh, unlit and point
// filtered, filling (220, 140) - (420, 340) before the camera.
constexpr char kImageSquare[] =
    "disable auto camera\n"
    "make object plain 1, 10, 10\n"
    "make mesh from object 1, 1\n"
    "delete object 1\n"
    "make object 2, 1, 1\n"
    "set object render flags 2, 1, 1, 1, 0, 0\n"
    "position camera 0, 0, -20 : point camera 0, 0, 0\n";
constexpr Probe kSquareRed{270, 190}, kSquareGreen{370, 190}, kSquareBlue{270, 290}, kSquareWhite{370, 290};

// A cube of 10, unlit and point filtered, 20 units before the camera: its
// near face (z = -5) fills (187, 107) - (453, 373) and shows its texture
// turned half round, the way the cube's -z side lays its coordinates.
constexpr char kTexturedCube[] =
    "disable auto camera\n"
    "make object cube 1, 10\n"
    "texture object 1, 1\n"
    "set object render flags 1, 1, 1, 1, 0, 0\n"
    "position camera 0, 0, -20 : point camera 0, 0, 0\n";
constexpr Probe kCubeWhite{254, 174}, kCubeBlue{386, 174}, kCubeGreen{254, 306}, kCubeRed{386, 306};

TEST_F(TexturePrograms, EveryImageFileFormatTexturesACubeAndTheBackdrop) {
  const struct {
    const char* name;
    ImageFileType type;
    int tolerance;
  } files[] = {{"q.bmp", ImageFileType::kBmp, 0},
               {"q.png", ImageFileType::kPng, 0},
               {"q.tga", ImageFileType::kTga, 0},
               {"q.dds", ImageFileType::kDds, 0},
               {"q.jpg", ImageFileType::kJpeg, 24}};
  for (const auto& file : files) {
    SCOPED_TRACE(file.name);
    Picture(file.name, file.type);
    // Loaded with a texture mode (the file's own texture) and without.
    for (const char* mode : {", 1", ""}) {
      SCOPED_TRACE(mode);
      EngineRun run = Run(Framed("load image \"" + std::string(file.name) + "\", 1" + mode + "\n" + kTexturedCube +
                                 "texture backdrop 1\n"));
      EXPECT_EQ(run.errors, "");
      ASSERT_EQ(run.width, 640);
      EXPECT_PRED3(Near, run.At(kCubeRed.x, kCubeRed.y), kRed, file.tolerance);
      EXPECT_PRED3(Near, run.At(kCubeGreen.x, kCubeGreen.y), kGreen, file.tolerance);
      EXPECT_PRED3(Near, run.At(kCubeBlue.x, kCubeBlue.y), kBlue, file.tolerance);
      EXPECT_PRED3(Near, run.At(kCubeWhite.x, kCubeWhite.y), kWhite, file.tolerance);
      // Each of the backdrop's 3 x 2 cells shows the whole picture.
      EXPECT_PRED3(Near, run.At(kCellRed.x, kCellRed.y), kRed, file.tolerance);
      EXPECT_PRED3(Near, run.At(kCellWhite.x + 213, kCellWhite.y + 240), kWhite, file.tolerance);
    }
  }
}

// A plain of 10 x 10 facing the camera from 20 units: (220, 140) - (420,
// 340), its texture upright.
constexpr char kTexturedPlain[] =
    "disable auto camera\n"
    "make object plain 1, 10, 10\n"
    "texture object 1, 1\n"
    "set object render flags 1, 1, 1, 0, 0, 0\n"
    "position camera 0, 0, -20 : point camera 0, 0, 0\n";

uint32_t Checker(int32_t x, int32_t y) { return ((x / 16 + y / 16) % 2) ? kWhite : kRed; }

TEST_F(TexturePrograms, APlainTexturedWithACheckerShowsEachCellInItsPlace) {
  Picture("checker.bmp", ImageFileType::kBmp, 64, Checker);
  EngineRun run = Run(Framed(std::string("load image \"checker.bmp\", 1\n") + kTexturedPlain));
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(run.width, 640);
  // 4 x 4 cells of 50 pixels.
  for (int32_t cy = 0; cy < 4; ++cy)
    for (int32_t cx = 0; cx < 4; ++cx) {
      SCOPED_TRACE(testing::Message() << "cell " << cx << ", " << cy);
      EXPECT_EQ(run.At(245 + 50 * cx, 165 + 50 * cy), Checker(16 * cx, 16 * cy));
    }
  EXPECT_EQ(run.At(200, 240), kBackdrop);
}

TEST_F(TexturePrograms, ScrollingAndScalingATextureMoveItsPatternFromFrameToFrame) {
  Picture("checker.bmp", ImageFileType::kBmp, 64, Checker);
  // Places read frame after frame: as made, scrolled by a quarter (one
  // cell), scrolled back through limb 0, scaled to half, scaled back.
  EngineRun run = Run(Framed(std::string("load image \"checker.bmp\", 1\n") + kTexturedPlain +
                             "sync\nprint point(245, 165)\n"
                             "scroll object texture 1, 0.25, 0\nsync\nprint point(245, 165)\n"
                             "scroll limb texture 1, 0, -0.25, 0\nsync\nprint point(245, 165)\n"
                             "scale object texture 1, 0.5, 0.5\nsync\nprint point(245, 165)\n"
                             "print point(345, 165)\n"
                             "scale limb texture 1, 0, 2, 2\nsync\nprint point(345, 165)\n"));
  EXPECT_EQ(run.errors, "");
  // Red, then the white cell beside it, red again; at half scale a cell
  // covers 100 pixels, so 245 stays red and 345 lies in the second cell;
  // scaled back, 345 lies in the third cell.
  const std::string red = std::to_string(kRed) + "\n", white = std::to_string(kWhite) + "\n";
  EXPECT_EQ(run.printed, red + white + red + red + white + red);
}

TEST_F(TexturePrograms, OnePixelAndUnevenImagesCoverTheWholeFace) {
  Picture("dot.bmp", ImageFileType::kBmp, 1, [](int32_t, int32_t) { return kGreen; });
  EngineRun dot = Run(Framed(std::string("load image \"dot.bmp\", 1\n") + kTexturedPlain));
  EXPECT_EQ(dot.errors, "");
  ASSERT_EQ(dot.width, 640);
  for (const Probe at : {Probe{225, 145}, Probe{320, 240}, Probe{415, 335}}) EXPECT_EQ(dot.At(at.x, at.y), kGreen);
  // 6 x 2 (stretched to 8 x 2): the left half red, the right half blue.
  ASSERT_TRUE(WritePicture((folder_ / "wide.bmp").string(), ImageFileType::kBmp, 6, 2,
                           [](int32_t x, int32_t) { return x < 3 ? kRed : kBlue; }));
  EngineRun wide = Run(Framed(std::string("load image \"wide.bmp\", 1\n") + kTexturedPlain));
  EXPECT_EQ(wide.errors, "");
  ASSERT_EQ(wide.width, 640);
  EXPECT_EQ(wide.At(230, 150), kRed);
  EXPECT_EQ(wide.At(310, 330), kRed);
  EXPECT_EQ(wide.At(330, 150), kBlue);
  EXPECT_EQ(wide.At(410, 330), kBlue);
}

TEST_F(TexturePrograms, MissingAndDamagedPicturesGiveTheirErrorsAndNeverFault) {
  Write("bad.png", "\x89PNG\r\n\x1a\n not a picture");
  Picture("whole.dds", ImageFileType::kDds);
  const std::string dds = [&] {
    std::ifstream in(folder_ / "whole.dds", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  Write("cut.dds", dds.substr(0, 140));
  const struct {
    const char* program;
    const char* text;
  } cases[] = {{"load image \"gone.bmp\", 1, 1\n", "File does not exist"},
               {"load image \"bad.png\", 1, 1\n", "Could not load the image file"},
               {"load image \"cut.dds\", 1, 1\n", "Could not load the image file"},
               {"load image \"bad.png\", 1\n", "Could not load the image file"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    EngineRun run = Run(Framed(c.program));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find(c.text), std::string::npos) << run.errors;
  }
}

TEST_F(TexturePrograms, ScrollingTheBackdropShiftsItsTextureByHundredths) {
  Picture("q.bmp", ImageFileType::kBmp);
  const std::string scene = "load image \"q.bmp\", 1\nbackdrop on\ntexture backdrop 1\n";
  EngineRun across = Run(Framed(scene + "scroll backdrop 50, 0\n"));
  EXPECT_EQ(across.errors, "");
  EXPECT_EQ(across.At(kCellRed.x, kCellRed.y), kGreen);
  EXPECT_EQ(across.At(kCellGreen.x, kCellGreen.y), kRed);
  EngineRun down = Run(Framed(scene + "scroll backdrop 0, 50\n"));
  EXPECT_EQ(down.At(kCellRed.x, kCellRed.y), kBlue);
  EXPECT_EQ(down.At(kCellWhite.x, kCellWhite.y), kGreen);
  // A whole texture's width brings the picture back.
  EngineRun whole = Run(Framed(scene + "scroll backdrop 100, 0\n"));
  EXPECT_EQ(whole.At(kCellRed.x, kCellRed.y), kRed);
}

TEST_F(TexturePrograms, TheBackdropColourReplacesItsTextureAndBack) {
  Picture("q.bmp", ImageFileType::kBmp);
  EngineRun run = Run(Framed(
      "load image \"q.bmp\", 1\nbackdrop on\ntexture backdrop 1\ncolour backdrop rgb(0, 255, 0)\n"
      "texture backdrop 1\ncolour backdrop rgb(255, 0, 0)\n"));
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.CountOtherThan(kRed), 0u);
}

TEST_F(TexturePrograms, ObjectsMadeWithAnImageShowItsPicture) {
  Picture("q.bmp", ImageFileType::kBmp);
  EngineRun run = Run(Framed(std::string("load image \"q.bmp\", 1\n") + kImageSquare));
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(run.width, 640);
  EXPECT_EQ(run.At(kSquareRed.x, kSquareRed.y), kRed);
  EXPECT_EQ(run.At(kSquareGreen.x, kSquareGreen.y), kGreen);
  EXPECT_EQ(run.At(kSquareBlue.x, kSquareBlue.y), kBlue);
  EXPECT_EQ(run.At(kSquareWhite.x, kSquareWhite.y), kWhite);
  EXPECT_EQ(run.At(200, 240), kBackdrop);
}

TEST_F(TexturePrograms, ImagesGrabbedWithATextureModeTextureObjects) {
  EngineRun run = Run(Framed(
      "ink rgb(255, 0, 0), 0 : box 0, 0, 32, 32\n"
      "ink rgb(0, 255, 0), 0 : box 32, 0, 64, 32\n"
      "ink rgb(0, 0, 255), 0 : box 0, 32, 32, 64\n"
      "ink rgb(255, 255, 255), 0 : box 32, 32, 64, 64\n"
      "get image 1, 0, 0, 64, 64, 1\n"
      "sync\n" +
      std::string(kImageSquare)));
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(run.width, 640);
  EXPECT_EQ(run.At(kSquareRed.x, kSquareRed.y), kRed);
  EXPECT_EQ(run.At(kSquareGreen.x, kSquareGreen.y), kGreen);
  EXPECT_EQ(run.At(kSquareBlue.x, kSquareBlue.y), kBlue);
  EXPECT_EQ(run.At(kSquareWhite.x, kSquareWhite.y), kWhite);
}

TEST_F(TexturePrograms, ColourKeyedObjectsShowWhatLiesBehindTheirBlack) {
  Picture("k.bmp", ImageFileType::kBmp, 64, [](int32_t x, int32_t y) {
    const uint32_t c = Quarters(x, y, 64, 64);
    return c == kWhite ? kBlack : c;
  });
  const std::string scene = std::string("load image \"k.bmp\", 1\n") + kImageSquare;
  EngineRun solid = Run(Framed(scene));
  EXPECT_EQ(solid.At(kSquareWhite.x, kSquareWhite.y), kBlack);
  EngineRun keyed = Run(Framed(scene + "set object render flags 2, 1, 0, 1, 0, 0\n"));
  EXPECT_EQ(keyed.errors, "");
  EXPECT_EQ(keyed.At(kSquareWhite.x, kSquareWhite.y), kBackdrop);
  EXPECT_EQ(keyed.At(kSquareRed.x, kSquareRed.y), kRed);
}

// An X model of one square (10 x 10, facing the camera) whose material
// names a texture and whose texture coordinates run from 0 to `repeat`.
std::string TexturedSquare(const std::string& texture, const std::string& repeat) {
  return "xof 0302txt 0032\n"
         "Frame Square {\n"
         "  FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;; }\n"
         "  Mesh {\n"
         "    4; -5.0;-5.0;0.0;, 5.0;-5.0;0.0;, -5.0;5.0;0.0;, 5.0;5.0;0.0;;\n"
         "    2; 3;0,2,1;, 3;1,2,3;;\n"
         "    MeshNormals { 1; 0.0;0.0;-1.0;; 2; 3;0,0,0;, 3;0,0,0;; }\n"
         "    MeshTextureCoords { 4; 0.0;" + repeat + ";, " + repeat + ";" + repeat + ";, 0.0;0.0;, " + repeat +
         ";0.0;; }\n"
         "    MeshMaterialList { 1; 2; 0, 0;;\n"
         "      Material { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;;\n"
         "        TextureFilename { \"" + texture + "\"; } } }\n"
         "  }\n"
         "}\n";
}

// The loaded square, unlit and point filtered, before the camera.
constexpr char kModelSquare[] =
    "disable auto camera\n"
    "load object \"square.x\", 1\n"
    "set object render flags 1, 1, 1, 1, 0, 0\n"
    "position camera 0, 0, -20 : point camera 0, 0, 0\n";

TEST_F(TexturePrograms, TexturesNamedInModelFilesAreLoadedBesideThem) {
  fs::create_directories(folder_ / "models");
  Picture("models/skin.bmp", ImageFileType::kBmp);
  Write("models/square.x", TexturedSquare("skin.png", "1.0"));
  EngineRun run = Run(Framed(
      "disable auto camera\n"
      "load object \"models\\square.x\", 1\n"
      "set object render flags 1, 1, 1, 1, 0, 0\n"
      "position camera 0, 0, -20 : point camera 0, 0, 0\n"));
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(run.width, 640);
  EXPECT_EQ(run.At(kSquareRed.x, kSquareRed.y), kRed);
  EXPECT_EQ(run.At(kSquareWhite.x, kSquareWhite.y), kWhite);
}

TEST_F(TexturePrograms, ModelTextureNamesAreLookedUpInsideTheModelsFolder) {
  fs::create_directories(folder_ / "models" / "maps");
  Picture("models/skin.bmp", ImageFileType::kBmp);
  Picture("models/maps/tiles.bmp", ImageFileType::kBmp);
  Picture("models/photo.png", ImageFileType::kPng);
  // Pictures outside the model's folder that escaping names would reach.
  Picture("skin.bmp", ImageFileType::kBmp, 8, [](int32_t, int32_t) { return kBlue; });
  Picture("photo.bmp", ImageFileType::kBmp, 8, [](int32_t, int32_t) { return kBlue; });
  const std::string load =
      "disable auto camera\n"
      "load object \"models\\square.x\", 1\n"
      "set object render flags 1, 1, 1, 1, 0, 0\n"
      "position camera 0, 0, -20 : point camera 0, 0, 0\n";
  for (const char* named : {"C:\\Art\\Textures\\skin.tga", "\\\\server\\art\\skin.bmp", "/home/artist/skin.png",
                            "..\\skin.bmp", "maps/../../skin.bmp", "maps\\TILES.JPG", "photo.png", "./maps/./tiles.bmp"}) {
    SCOPED_TRACE(named);
    Write("models/square.x", TexturedSquare(named, "1.0"));
    EngineRun run = Run(Framed(load));
    EXPECT_EQ(run.errors, "");
    ASSERT_EQ(run.width, 640);
    EXPECT_EQ(run.At(kSquareRed.x, kSquareRed.y), kRed);
    EXPECT_EQ(run.At(kSquareWhite.x, kSquareWhite.y), kWhite);
  }
}

TEST_F(TexturePrograms, AModelWhoseTextureIsMissingOrDamagedDrawsUntextured) {
  Write("broken.bmp", "BM this is not a bitmap");
  Write("empty.dds", "");
  for (const char* named : {"absent.bmp", "broken.bmp", "empty.dds", "", "..", "C:\\"}) {
    SCOPED_TRACE(named);
    Write("square.x", TexturedSquare(named, "1.0"));
    EngineRun run = Run(Framed(kModelSquare));
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.width, 640);
    EXPECT_EQ(run.At(kSquareRed.x, kSquareRed.y), kWhite);
  }
}

TEST_F(TexturePrograms, AddressingModesRepeatMirrorOrClampTheTexture) {
  Picture("tile.bmp", ImageFileType::kBmp);
  Write("square.x", TexturedSquare("tile.bmp", "2.0"));
  // Along the top row: u = 1.25 and 1.75 at x = 345 and 395.
  struct Case {
    const char* mode;
    uint32_t at_345, at_395;
  } cases[] = {{"", kRed, kGreen},
               {"set object texture mode 1, 0, 0\n", kRed, kGreen},
               {"set object texture mode 1, 1, 0\n", kGreen, kRed},
               {"set object texture mode 1, 2, 0\n", kGreen, kGreen}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    EngineRun run = Run(Framed(std::string(kModelSquare) + c.mode));
    EXPECT_EQ(run.errors, "");
    ASSERT_EQ(run.width, 640);
    EXPECT_EQ(run.At(245, 165), kRed);  // u = 0.25: the picture itself
    EXPECT_EQ(run.At(345, 165), c.at_345);
    EXPECT_EQ(run.At(395, 165), c.at_395);
  }
}

TEST_F(TexturePrograms, FilteringBlendsNeighbouringTexelsOnlyWhenAskedFor) {
  Picture("two.bmp", ImageFileType::kBmp, 2);  // one texel per quarter
  const std::string scene = std::string("load image \"two.bmp\", 1\n") + kImageSquare;
  EngineRun point = Run(Framed(scene));
  EngineRun linear = Run(Framed(scene + "set object render flags 2, 1, 1, 1, 1, 0\n"));
  EXPECT_EQ(linear.errors, "");
  // u = 0.4 lies between the red and the green texel.
  EXPECT_EQ(point.At(300, 190), kRed);
  EXPECT_GT(Red(linear.At(300, 190)), 0x80);
  EXPECT_GT(Green(linear.At(300, 190)), 0x20);
}

// The camera far from the image square: 64 texels over about 6 pixels.
constexpr char kFarCamera[] = "position camera 0, 0, -700 : point camera 0, 0, 0\n";

TEST_F(TexturePrograms, DdsMipLevelsShowFarAway) {
  ASSERT_TRUE(WriteDdsLevels((folder_ / "levels.dds").string(), 64, 64,
                             {kRed, kGreen, kBlue, kBlue, kBlue, kBlue, kBlue}));
  const std::string scene = std::string("load image \"levels.dds\", 1, 1\n") + kImageSquare + kFarCamera;
  EngineRun near = Run(Framed(std::string("load image \"levels.dds\", 1, 1\n") + kImageSquare));
  EXPECT_EQ(near.errors, "");
  EXPECT_EQ(near.At(320, 240), kRed);
  EngineRun far = Run(Framed(scene));
  EXPECT_LT(Red(far.At(320, 240)), 0x20);
  EXPECT_GT(Blue(far.At(320, 240)), 0x80);
  EngineRun unfiltered = Run(Framed(scene + "set mipmap mode 0\n"));
  EXPECT_EQ(unfiltered.At(320, 240), kRed);
}

TEST_F(TexturePrograms, TheTextureModeBuildsMipLevelsForAnImagesTexture) {
  // Columns of red and green, one texel wide: far away, the unfiltered
  // picture shows one of them, its mip levels their mixture.
  Picture("stripes.bmp", ImageFileType::kBmp, 64, [](int32_t x, int32_t) { return x % 2 ? kGreen : kRed; });
  const std::string scene = std::string("load image \"stripes.bmp\", 1\n") + kImageSquare + kFarCamera;
  EngineRun plain = Run(Framed(scene));
  const uint32_t sampled = plain.At(320, 240);
  EXPECT_TRUE(sampled == kRed || sampled == kGreen) << std::hex << sampled;
  EngineRun mipmapped = Run(Framed(scene + "set object texture mode 2, 0, 1\n"));
  EXPECT_EQ(mipmapped.errors, "");
  EXPECT_GT(Red(mipmapped.At(320, 240)), 0x40);
  EXPECT_GT(Green(mipmapped.At(320, 240)), 0x40);
}

TEST_F(TexturePrograms, ADisplayChangeKeepsTheTexturesOfObjectsAndBackdrop) {
  Picture("q.bmp", ImageFileType::kBmp);
  EngineRun run = Run(Framed(std::string("load image \"q.bmp\", 1, 1\n") + kImageSquare +
                             "texture backdrop 1\nscroll backdrop 50, 0\nsync\n"
                             "set display mode 640, 480, 32\n"));
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(run.width, 640);
  EXPECT_EQ(run.At(kSquareRed.x, kSquareRed.y), kRed);
  EXPECT_EQ(run.At(kSquareWhite.x, kSquareWhite.y), kWhite);
  EXPECT_EQ(run.At(kCellRed.x, kCellRed.y), kGreen);
}

TEST_F(TexturePrograms, ImagesLoadedAgainLetGoOfTheirOldTexture) {
  Picture("q.bmp", ImageFileType::kBmp);
  Picture("r.bmp", ImageFileType::kBmp, 8, [](int32_t, int32_t) { return kRed; });
  // The square keeps the texture it took; the image's new texture is the
  // new file's, which the backdrop shows.
  EngineRun run = Run(Framed(std::string("load image \"q.bmp\", 1, 1\n") + kImageSquare +
                             "load image \"r.bmp\", 1, 1\nload image \"q.bmp\", 1, 2\n"
                             "load image \"r.bmp\", 1, 1\ntexture backdrop 1\n"));
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(run.width, 640);
  EXPECT_EQ(run.At(kSquareWhite.x, kSquareWhite.y), kWhite);
  EXPECT_EQ(run.At(kCellGreen.x, kCellGreen.y), kRed);
}

TEST_F(TexturePrograms, TheBackdropTextureCommandChecksItsImage) {
  // Without a backdrop nothing is checked.
  EngineRun none = Run(Framed("texture backdrop 0\nscroll backdrop 10, 10\n"));
  EXPECT_EQ(none.errors, "");
  EXPECT_EQ(none.status, 0);
  for (const char* program : {"backdrop on\ntexture backdrop 0\n", "backdrop on\ntexture backdrop 70000\n",
                              "backdrop on\ntexture backdrop 5\n"}) {
    SCOPED_TRACE(program);
    EngineRun run = Run(Framed(program));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors, "");
  }
}

// A scene of every kind of texture, checked by eye: the scrolled backdrop,
// the model's mirrored tiles, an image's picture on a lit, turned cube.
TEST_F(TexturePrograms, TexturedScene) {
  Picture("q.bmp", ImageFileType::kBmp);
  Picture("tile.bmp", ImageFileType::kBmp, 16);
  Write("square.x", TexturedSquare("tile.bmp", "2.0"));
  EngineRun run = Run(Framed(
      "disable auto camera\n"
      "load image \"q.bmp\", 1, 1\n"
      "load object \"square.x\", 1\n"
      "position object 1, -8, 0, 0 : y rotate object 1, 20\n"
      "set object texture mode 1, 1, 0\n"
      "make object cube 3, 8\n"
      "make mesh from object 1, 3\n"
      "delete object 3\n"
      "make object 2, 1, 1\n"
      "position object 2, 8, 0, 0 : rotate object 2, 30, 45, 0\n"
      "texture backdrop 1\nscroll backdrop 25, 0\n"
      "position camera 0, 0, -30 : point camera 0, 0, 0\n"));
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(CompareWithGolden(run, "textured_scene"), "");
}

// Every texture reference has one owner: objects textured again and again
// (an image twice, a colour then an image, a model whose first limb is a
// frame without a mesh, a matrix twice) and then deleted with their images
// leave no more textures behind after five rounds than after one.
TEST_F(TexturePrograms, DeletedObjectsAndImagesLeaveNoTexturesBehind) {
  Picture("tile.bmp", ImageFileType::kBmp, 16);
  std::string square = TexturedSquare("tile.bmp", "1.0");
  square = square.substr(square.find("Frame Square"));
  Write("limbs.x", "xof 0302txt 0032\nFrame Outer {\n" + square + square + "}\n");
  auto live_after = [&](int rounds) {
    EngineRun run = Run(
        "sync on\n"
        "for k = 1 to " + std::to_string(rounds) + "\n"
        "  make object cube 1, 1\n"
        "  get image 1, 0, 0, 8, 8\n"
        "  texture object 1, 1 : texture object 1, 1\n"
        "  colour object 1, rgb(10, 20, 30) : texture limb 1, 0, 1 : colour limb 1, 0, rgb(1, 2, 3)\n"
        "  load object \"limbs.x\", 2\n"
        "  texture object 2, 1\n"
        "  make matrix 1, 100, 100, 4, 4\n"
        "  prepare matrix texture 1, 1, 2, 2 : prepare matrix texture 1, 1, 1, 1\n"
        "  sync\n"
        "  delete object 1 : delete object 2 : delete matrix 1 : delete image 1\n"
        "  sync\n"
        "next k\n"
        "end\n");
    EXPECT_EQ(run.errors, "");
    return run.live_textures.empty() ? -1 : run.live_textures.back();
  };
  const int32_t once = live_after(1);
  EXPECT_GT(once, 0);
  EXPECT_EQ(live_after(5), once);
}

}  // namespace
}  // namespace zv::test
