// BASIC programs that shape, shift, texture and query matrix terrain, run
// headless through the display and the software 3D device: values printed,
// frames probed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "tests/engine3d/engine_run.h"
#include "tests/engine3d/texture_pictures.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kBackdrop = 0x00007B;

class MatrixPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_engine3d_matrix_" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  EngineRun Run(const std::string& body) {
    return RunEngineProgram("sync on\nhide mouse\n" + body + "sync\nsync\nend\n", folder_.string());
  }
  std::vector<double> Values(const std::string& body) {
    EngineRun run = Run(body);
    EXPECT_EQ(run.errors, "");
    return run.PrintedNumbers();
  }

  fs::path folder_;
};

TEST_F(MatrixPrograms, TheGroundHeightIsInterpolatedOverTheTriangleOfItsCell) {
  // Cells of 50 x 50; the first cell's corners A (0, 0), B (50, 0), C (50,
  // 50) and D (0, 50) at 0, 10, 20 and 30. Above the diagonal the plane
  // through A, D and C is h = -0.2 x + 0.6 z; below it, through A, C and B,
  // h = 0.2 x + 0.2 z. The query reads the heights before any update.
  const std::vector<double> v = Values(
      "make matrix 1, 100, 100, 2, 2\n"
      "set matrix height 1, 1, 0, 10 : set matrix height 1, 1, 1, 20 : set matrix height 1, 0, 1, 30\n"
      "set matrix height 1, 2, 2, 8\n"
      "print matrix ground height(1, 10, 30)\nprint matrix ground height(1, 40, 10)\n"
      "print matrix ground height(1, 25, 25)\nprint matrix ground height(1, 0, 50)\n"
      "print matrix ground height(1, 100, 100)\nprint matrix ground height(1, 75, 75)\n"
      "print matrix ground height(1, -0.5, 10)\nprint matrix ground height(1, 10, 100.5)\n"
      "make matrix 2, 10, 10, 1, 1\nset matrix height 2, 1, 1, 4\n"
      "print matrix ground height(2, 10, 10)\nprint matrix ground height(2, 10, 0)\n"
      "print matrix ground height(2, 11, 5)\n");
  ASSERT_EQ(v.size(), 11u);
  const double expected[] = {16, 10, 10, 30, 8, 14, 0, 0, 4, 0, 0};
  for (size_t i = 0; i < v.size(); ++i) EXPECT_NEAR(v[i], expected[i], 1e-4) << i;
}

TEST_F(MatrixPrograms, ShiftsTurnTheHeightsByOneLineAndKeepTheFarOne) {
  // Heights 10 x + z on a 4 x 3 grid; rows and columns printed after each
  // shift, the deferred forms (flag 0) shifting the same.
  const std::string row = "for x = 0 to 4 : print matrix tile height(1, x, 1) : next x\n";
  const std::string column = "for z = 0 to 3 : print matrix tile height(1, 2, z) : next z\n";
  const std::vector<double> v = Values(
      "make matrix 1, 40, 30, 4, 3\n"
      "for x = 0 to 4 : for z = 0 to 3 : set matrix height 1, x, z, x * 10 + z : next z : next x\n"
      "shift matrix minus x 1\n" + row + "shift matrix plus x 1, 0\n" + row +
      "shift matrix plus z 1\n" + column + "shift matrix minus z 1, 0\n" + column +
      "for i = 1 to 4 : shift matrix minus x 1, 0 : next i\n" + row +
      // A single tile turns onto itself.
      "make matrix 2, 10, 10, 1, 1\nset matrix height 2, 0, 0, 5 : set matrix height 2, 1, 0, 6\n"
      "shift matrix minus x 2 : shift matrix plus x 2 : shift matrix minus z 2 : shift matrix plus z 2, 1\n"
      "print matrix tile height(2, 0, 0)\nprint matrix tile height(2, 1, 0)\n"
      "randomize matrix 2, 3\n"
      "for x = 0 to 1 : for z = 0 to 1 : h = matrix tile height(2, x, z)\n"
      "if h < 0 or h >= 3 then print -1\nnext z : next x\n");
  const std::vector<double> expected = {
      11, 21, 31, 1,  41,  // toward -x: column 3 takes the old column 0
      1,  11, 21, 31, 41,  // and back
      22, 20, 21, 23,      // toward +z: row 0 takes the old row 2; row 3 stays
      20, 21, 22, 23,      // and back
      1,  11, 21, 31, 41,  // four more toward -x: round again
      5,  6};
  EXPECT_EQ(v, expected);
}

struct ErrorCase {
  const char* program;
  const char* text;
};

TEST_F(MatrixPrograms, SizesTilesPointsAndTexturesOutsideTheLimitsAreErrors) {
  const ErrorCase cases[] = {
      {"make matrix 0, 10, 10, 1, 1\n", "Matrix number out of range"},
      {"make matrix 1, 10, 10, 1, 1\nmake matrix 1, 10, 10, 1, 1\n", "Matrix already exists"},
      {"make matrix 1, 0, 10, 1, 1\n", "Matrix width and depth must be greater than zero"},
      {"make matrix 1, 10, -1, 1, 1\n", "Matrix width and depth must be greater than zero"},
      {"make matrix 1, 10, 10, 0, 4\n", "Matrix must have at least one tile across and down"},
      {"make matrix 1, 10, 10, 4, -2\n", "Matrix must have at least one tile across and down"},
      {"make matrix 1, 10, 10, 101, 50\n", "Matrix has too many tiles"},
      {"make matrix 1, 10, 10, 70000, 70000\n", "Matrix has too many tiles"},
      {"make matrix 1, 10, 10, 2, 2\nrandomize matrix 1, 0\n", "Matrix height must be greater than zero"},
      {"make matrix 1, 10, 10, 2, 2\nset matrix height 1, 3, 0, 1\n", "Matrix grid position out of range"},
      {"make matrix 1, 10, 10, 2, 2\nset matrix normal 1, 0, -1, 0, 1, 0\n", "Matrix grid position out of range"},
      {"make matrix 1, 10, 10, 2, 2\nfill matrix 1, 0, 1\n", "Matrix texture tile out of range"},
      {"make matrix 1, 10, 10, 2, 2\nprepare matrix texture 1, 0, 1, 1\n", "Image number out of range"},
      {"make matrix 1, 10, 10, 2, 2\nprepare matrix texture 1, 9, 1, 1\n", "Image does not exist"},
      // An image of 8 x 8 pixels holds at most 8 tiles across and 8 down.
      {"make matrix 1, 10, 10, 2, 2\nget image 1, 0, 0, 8, 8\nprepare matrix texture 1, 1, 100000, 100000\n",
       "Matrix texture tile out of range"},
      {"make matrix 1, 10, 10, 2, 2\nget image 1, 0, 0, 8, 8\nprepare matrix texture 1, 1, 9, 1\n",
       "Matrix texture tile out of range"},
      {"shift matrix plus z 4\n", "Matrix does not exist"},
      {"set matrix texture mode 65536, 0, 0\n", "Matrix number out of range"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.program);
    EngineRun run = Run(c.program);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find(c.text), std::string::npos) << run.errors;
  }
  // The largest grid is accepted, and as many tiles as the image has pixels.
  EXPECT_EQ(Run("make matrix 1, 10, 10, 100, 50\n").errors, "");
  EXPECT_EQ(Run("make matrix 1, 10, 10, 2, 2\nget image 1, 0, 0, 8, 8\nprepare matrix texture 1, 1, 8, 8\n"
                "print matrix texture tile count(1)\n").printed, "64\n");
}

// Pixels whose strongest channel is red, green and blue, counted apart.
struct ChannelCounts {
  size_t red = 0, green = 0, blue = 0;
};
ChannelCounts CountChannels(const EngineRun& run) {
  ChannelCounts counts;
  for (uint32_t p : run.frame) {
    if (p == kBackdrop) continue;
    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    if (r > g + 40 && r > b + 40) ++counts.red;
    if (g > r + 40 && g > b + 40) ++counts.green;
    if (b > r + 40 && b > g + 40) ++counts.blue;
  }
  return counts;
}

TEST_F(MatrixPrograms, ARandomizedMatrixShowsItsTextureTiles) {
  // A texture of red, green, blue and white quarters cut into 2 x 2 tiles;
  // the cells take tiles 1 to 3 in diagonal stripes over random hills.
  ASSERT_TRUE(WritePicture((folder_ / "tiles.bmp").string(), codecs::ImageFileType::kBmp, 64, 64,
                           [](int32_t x, int32_t y) { return Quarters(x, y, 64, 64); }));
  const std::string terrain =
      "load image \"tiles.bmp\", 1\n"
      "make matrix 1, 100, 100, 10, 10\n"
      "prepare matrix texture 1, 1, 2, 2\n"
      "randomize 7\nrandomize matrix 1, 15\n"
      "for x = 0 to 9 : for z = 0 to 9\n"
      "  t = x + z : t = t - t / 3 * 3 + 1\n"
      "  set matrix tile 1, x, z, t\n"
      "next z : next x\n"
      "update matrix 1\n"
      "position camera 50, 40, -30 : point camera 50, 0, 50\n";
  EngineRun run = Run(terrain);
  ASSERT_EQ(run.errors, "");
  ASSERT_EQ(run.width, 640);
  const ChannelCounts tiles = CountChannels(run);
  EXPECT_GT(tiles.red, 5000u);
  EXPECT_GT(tiles.green, 5000u);
  EXPECT_GT(tiles.blue, 5000u);
  EXPECT_GT(run.CountOtherThan(kBackdrop), 640u * 480u / 3);
  // The hills change the picture: the same tiles on a flat grid differ.
  EngineRun flat = Run(terrain + "fill matrix 1, 0, 1\nfor x = 0 to 9 : for z = 0 to 9\n"
                                 "  t = x + z : t = t - t / 3 * 3 + 1 : set matrix tile 1, x, z, t\n"
                                 "next z : next x\nupdate matrix 1\n");
  ASSERT_EQ(flat.errors, "");
  EXPECT_NE(flat.frame, run.frame);
  // Filled with tile 4 (white) the ground has no strong colour left.
  EngineRun white = Run(terrain + "fill matrix 1, 0, 4\n");
  const ChannelCounts none = CountChannels(white);
  EXPECT_EQ(none.red + none.green + none.blue, 0u);
  // An inset tile takes a smaller part of its quarter: still that colour.
  EngineRun inset = Run(terrain + "fill matrix 1, 0, 4\nfor x = 0 to 9 : for z = 0 to 9\n"
                                  "  set matrix tile 1, x, z, 3, 8, 8\nnext z : next x\nupdate matrix 1\n");
  const ChannelCounts blue = CountChannels(inset);
  EXPECT_GT(blue.blue, 640u * 480u / 4);
  EXPECT_EQ(blue.red + blue.green, 0u);
}

TEST_F(MatrixPrograms, DrawingSettingsReadBackAndChangeTheFrame) {
  ASSERT_TRUE(WritePicture((folder_ / "grass.bmp").string(), codecs::ImageFileType::kBmp, 32, 32,
                           [](int32_t, int32_t) { return kGreen; }));
  const std::string grid =
      "load image \"grass.bmp\", 1\n"
      "make matrix 1, 100, 100, 10, 10\nprepare matrix texture 1, 1, 1, 1\n"
      "position camera 50, 30, -30 : point camera 50, 0, 50\n";
  // Wireframe by command and by the render flags (f1 = 1 draws solid).
  EXPECT_EQ(Values(grid + "print matrix wireframe(1)\nenable matrix wireframe 1\nprint matrix wireframe(1)\n"
                          "set matrix render flags 1, 1, 1, 0, 1, 1, 0, 0\nprint matrix wireframe(1)\n"
                          "set matrix render flags 1, 0, 1, 0, 1, 1, 0, 0\nprint matrix wireframe(1)\n"
                          "print matrix textured(1)\nprint matrix texture tile count(1)\n"),
            (std::vector<double>{0, 1, 0, 1, 1, 1}));
  EngineRun solid = Run(grid);
  EngineRun wire = Run(grid + "enable matrix wireframe 1\n");
  EXPECT_LT(wire.CountOtherThan(kBackdrop), solid.CountOtherThan(kBackdrop) / 2);
  // Ghosted, the backdrop shows through; switched off again, it does not.
  EngineRun ghost = Run(grid + "enable matrix ghost 1\n");
  EXPECT_EQ(ghost.errors, "");
  EXPECT_NE(ghost.At(320, 400), solid.At(320, 400));
  EngineRun unghosted = Run(grid + "enable matrix ghost 1\ndisable matrix ghost 1\n");
  EXPECT_EQ(unghosted.frame, solid.frame);
  // Unlit (f5 = 0) the grass is full green; normals pointing away darken
  // the lit grid; the address modes keep the single tile's look.
  EngineRun unlit = Run(grid + "set matrix render flags 1, 1, 1, 0, 1, 0, 0, 0\n");
  EXPECT_GE(((unlit.At(320, 400) >> 8) & 0xFF), ((solid.At(320, 400) >> 8) & 0xFF));
  EngineRun away = Run(grid +
                       "for x = 0 to 10 : for z = 0 to 10 : set matrix normal 1, x, z, 0, -1, 0 : next z : next x\n"
                       "update matrix 1\n");
  EXPECT_LT(((away.At(320, 400) >> 8) & 0xFF), ((solid.At(320, 400) >> 8) & 0xFF));
  EngineRun modes = Run(grid + "set matrix texture mode 1, 0, 1\nset matrix texture mode 1, 2, 0\n");
  EXPECT_EQ(modes.errors, "");
  EXPECT_EQ(modes.At(320, 400), solid.At(320, 400));
}

}  // namespace
}  // namespace zv::test
