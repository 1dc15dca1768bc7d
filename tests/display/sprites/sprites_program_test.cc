// Sprites and images in compiled BASIC programs, run headless: the frames
// they leave and what the functions answer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "compiler/compiler.h"
#include "display/bitmap_commands.h"
#include "display/display_commands.h"
#include "display/display_factory.h"
#include "display/images.h"
#include "display/sprites_commands.h"
#include "runtime/console/console_commands.h"
#include "runtime/startup.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/program_file.h"
#include "tests/display/drawing_run.h"
#include "tests/support/test_paths.h"

namespace zv {
namespace {

namespace fs = std::filesystem;
using test::DrawingRun;

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kBlack = 0;

class SpritePrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_sprite_programs_" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  DrawingRun Run(const std::string& source) {
    DrawingRun run;
    CompileResult compiled = CompileSource(source);
    if (!compiled.ok) {
      run.errors = FormatCompileError(*compiled.error);
      return run;
    }
    const std::vector<uint8_t> bytes = EncodeProgramFile(compiled.program);
    auto frame = std::make_shared<std::vector<uint32_t>>();
    StartOptions options;
    options.executable_path = (folder_ / "game").string();
    options.headless = true;
    options.frames = 400;
    options.app_folder = folder_.string() + "/";
    StartServices services;
    services.user_state_folder = folder_.string() + "/";
    services.register_handlers = [](HandlerTable& table) {
      RegisterCoreHandlers(table);
      RegisterConsoleHandlers(table);
      RegisterDisplayHandlers(table);
      RegisterBitmapHandlers(table);
      RegisterImageHandlers(table);
      RegisterSpriteHandlers(table);
    };
    services.make_display = [&](platform::Window& window, Vm& vm) {
      return MakeDisplayServices(vm, window, std::make_unique<test::CapturePresenter>(frame, &run.width, &run.height));
    };
    services.compile = [bytes](const std::string& path, std::string*) {
      std::ofstream out(path, std::ios::binary);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      return static_cast<bool>(out);
    };
    services.echo = [&run](std::string_view piece) { run.printed += piece.empty() ? "\n" : std::string(piece); };
    services.error_out = [&run](std::string_view text) { run.errors += std::string(text); };
    const fs::path before = fs::current_path();
    fs::current_path(folder_);
    run.status = RunRuntime(options, std::move(services));
    fs::current_path(before);
    run.frame = *frame;
    return run;
  }

  fs::path folder_;
};

// Image 1: 8 x 4, red left half, green right half, with a black (keyed)
// pixel at its top-left. Image 2: 4 x 4 blue.
const char* const kImages =
    "sync on\n"
    "ink rgb(255,0,0),0\n"
    "box 0,0,4,4\n"
    "ink rgb(0,255,0),0\n"
    "box 4,0,8,4\n"
    "ink rgb(0,0,0),0\n"
    "dot 0,0\n"
    "get image 1,0,0,8,4\n"
    "ink rgb(0,0,255),0\n"
    "box 20,0,24,4\n"
    "get image 2,20,0,24,4\n"
    "cls\n"
    "sync\n";

TEST_F(SpritePrograms, SpritesAreDrawnKeyedAtTheirPlace) {
  const DrawingRun run = Run(std::string(kImages) + "sprite 1,100,50,1\nsync\nsync\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.At(100, 50), kBlack);  // the keyed pixel lets the black screen show
  EXPECT_EQ(run.At(101, 50), kRed);
  EXPECT_EQ(run.At(103, 53), kRed);
  EXPECT_EQ(run.At(104, 50), kGreen);
  EXPECT_EQ(run.At(107, 53), kGreen);
  EXPECT_EQ(run.At(108, 50), kBlack);
  EXPECT_EQ(run.At(100, 54), kBlack);
}

TEST_F(SpritePrograms, OffsetMirrorScaleAndClipping) {
  const DrawingRun run = Run(std::string(kImages) +
                             "sprite 1,100,50,1\noffset sprite 1,4,2\n"  // top-left at 96,48
                             "sprite 2,200,50,1\nmirror sprite 2\n"
                             "sprite 3,300,50,1\nscale sprite 3,200\n"
                             "sprite 4,-4,100,1\n"                        // only its green half shows
                             "sprite 5,400,50,1\nflip sprite 5\nset sprite 5,1,0\n"
                             "sync\nsync\n"
                             "print sprite width(3); \" \"; sprite height(3); \" \"; sprite scale x(3)\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.At(97, 48), kRed);
  EXPECT_EQ(run.At(100, 48), kGreen);
  // Mirrored: green on the left, red on the right, the keyed pixel top right.
  EXPECT_EQ(run.At(200, 50), kGreen);
  EXPECT_EQ(run.At(206, 51), kRed);
  EXPECT_EQ(run.At(207, 50), kBlack);
  // Scaled twice: 16 x 8, the keyed pixel now 2 x 2.
  EXPECT_EQ(run.At(301, 51), kBlack);
  EXPECT_EQ(run.At(302, 50), kRed);
  EXPECT_EQ(run.At(315, 57), kGreen);
  EXPECT_EQ(run.At(316, 57), kBlack);
  EXPECT_EQ(run.At(0, 100), kGreen);
  EXPECT_EQ(run.At(3, 103), kGreen);
  // Flipped and not keyed: the black pixel is drawn at the bottom left.
  EXPECT_EQ(run.At(400, 53), kBlack);
  EXPECT_EQ(run.At(400, 50), kRed);
  EXPECT_EQ(run.printed, "16 8 200\n");
}

TEST_F(SpritePrograms, LaterSpritesCoverEarlierOnesAndHiddenOnesVanish) {
  const DrawingRun run = Run(std::string(kImages) +
                             "sprite 1,100,50,1\nsprite 2,102,50,2\n"
                             "sprite 3,200,50,1\nsprite 4,300,50,1\n"
                             "hide all sprites\nshow all sprites\nhide sprite 3\n"
                             "sync\nsync\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.At(101, 50), kRed);
  EXPECT_EQ(run.At(102, 50), kBlue);
  EXPECT_EQ(run.At(105, 53), kBlue);
  EXPECT_EQ(run.At(106, 53), kGreen);
  EXPECT_EQ(run.At(201, 50), kBlack);
  EXPECT_EQ(run.At(301, 50), kRed);
}

TEST_F(SpritePrograms, ScaleZeroDrawsNothing) {
  const DrawingRun run = Run(std::string(kImages) + "sprite 1,100,50,1\nscale sprite 1,0\nsync\nsync\n"
                                                    "print sprite width(1)\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.At(101, 50), kBlack);
  EXPECT_EQ(run.printed, "0\n");
}

TEST_F(SpritePrograms, MovedSpritesLeaveTheBackgroundBehindInBothBuffers) {
  const DrawingRun run = Run(std::string(kImages) +
                             "ink rgb(0,0,255),0\nbox 0,0,640,480\nsync\n"
                             "sprite 1,100,50,1\nsync\nsync\nsync\n"
                             "sprite 1,200,50,1\nsync\nsync\nsync\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.At(101, 50), kBlue);
  EXPECT_EQ(run.At(105, 52), kBlue);
  EXPECT_EQ(run.At(201, 50), kRed);
  EXPECT_EQ(run.At(200, 50), kBlue);  // keyed pixel shows the background
}

TEST_F(SpritePrograms, CollisionTestsEveryColourAndReportsHitsOnce) {
  const DrawingRun run = Run(std::string(kImages) +
                             "sprite 1,100,50,1\nsprite 2,106,50,2\n"  // green over blue: no common bits
                             "sprite 3,300,50,1\nsprite 4,308,50,2\n"  // rectangles only touch
                             "print sprite collision(1,2); sprite collision(3,4); sprite collision(1,0); "
                             "sprite collision(2,0)\n"
                             "print sprite hit(1,2); sprite hit(1,2)\n"
                             "sprite 2,100,50,2\n"                      // only the keyed pixel of 1 under it? no: red too
                             "print sprite collision(1,2)\n"
                             "sprite 2,96,46,2\n"                       // overlaps only the keyed corner pixel
                             "print sprite collision(1,2)\n"
                             // 400 wide with one solid pixel, at column 300 of the bottom row:
                             // met, not met one column over, met mirrored where it shows.
                             "ink rgb(255,0,0),0 : dot 300,403 : get image 3,0,400,400,404 : cls : sync\n"
                             "sprite 5,0,100,3 : sprite 6,0,100,3 : print sprite collision(5,6);\n"
                             "sprite 6,1,100,3 : print sprite collision(5,6);\n"
                             "mirror sprite 6 : sprite 6,0,100,3 : print sprite collision(5,6);\n"
                             "sprite 6,201,100,3 : print sprite collision(5,6)\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.printed, "1021\n10\n1\n0\n1001\n");
}

TEST_F(SpritePrograms, SpriteQueriesAndDeletion) {
  const DrawingRun run = Run(std::string(kImages) +
                             "sprite 7,10,20,1\noffset sprite 7,3,4\nstretch sprite 7,50,300\nmirror sprite 7\n"
                             "print sprite x(7); sprite y(7); sprite offset x(7); sprite offset y(7); "
                             "sprite image(7); sprite mirrored(7); sprite flipped(7)\n"
                             "print sprite width(7); \" \"; sprite height(7); \" \"; sprite scale y(7)\n"
                             "size sprite 7,16,2\nprint sprite width(7); \" \"; sprite height(7)\n"
                             "delete sprite 7\nprint sprite exists(7)\nsync\nsync\nsync\nprint sprite exists(7)\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.printed, "102034110\n4 12 300\n16 2\n0\n0\n");
}

TEST_F(SpritePrograms, SpriteErrors) {
  DrawingRun run = Run("scale sprite 1,100\n");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.errors.find("Sprite does not exist"), std::string::npos) << run.errors;
  run = Run("sprite 0,1,1,1\n");
  EXPECT_NE(run.errors.find("Sprite number out of range"), std::string::npos) << run.errors;
  run = Run("sprite 1,1,1,1\nscale sprite 1,250001\n");
  EXPECT_NE(run.errors.find("Sprite scale out of range"), std::string::npos) << run.errors;
  run = Run("sprite 1,1,1,1\nscale sprite 1,250000\nset sprite 1,2,0\n");
  EXPECT_NE(run.errors.find("Sprite backsave flag"), std::string::npos) << run.errors;
}

TEST_F(SpritePrograms, ImagesLoadSaveAndDelete) {
  fs::copy_file(zv::test::SourcePath("tests/display/codecs/fixtures/rgb24.bmp"), folder_ / "pic.bmp");
  const DrawingRun run = Run(
      "sync on\n"
      "load image \"pic.bmp\",3\n"
      "print image exists(3); image exists(4)\n"
      "sprite 1,0,0,3\nset sprite 1,0,0\nprint sprite width(1); \" \"; sprite height(1)\n"
      "save image \"copy.png\",3\nsync\n"
      "delete image 3\nprint image exists(3)\n"
      "sync\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.printed, "10\n37 23\n0\n");
  EXPECT_TRUE(fs::exists(folder_ / "copy.png"));
  EXPECT_EQ(run.At(0, 0), kRed);    // the picture's red patch (top left)
  EXPECT_EQ(run.At(0, 3), 0xFFFFFFu);
}

// A picture that is missing or unreadable is named, as the program spelled it.
TEST_F(SpritePrograms, ImageErrors) {
  DrawingRun run = Run("load image \"missing.bmp\",1\n");
  EXPECT_NE(run.errors.find("File does not exist \"missing.bmp\""), std::string::npos) << run.errors;
  run = Run("load bitmap \"pictures/missing.png\",1\n");
  EXPECT_NE(run.errors.find("File does not exist \"pictures/missing.png\""), std::string::npos) << run.errors;
  std::ofstream(folder_ / "words.png") << "not a picture";
  run = Run("load image \"words.png\",1\n");
  EXPECT_NE(run.errors.find("\"words.png\""), std::string::npos) << run.errors;
  run = Run("load bitmap \"words.png\",2\n");
  EXPECT_NE(run.errors.find("\"words.png\""), std::string::npos) << run.errors;
  run = Run("save image \"x.bmp\",1\n");
  EXPECT_NE(run.errors.find("Image does not exist"), std::string::npos) << run.errors;
  run = Run("delete image 70000\n");
  EXPECT_NE(run.errors.find("Image number out of range"), std::string::npos) << run.errors;
  std::ofstream(folder_ / "taken.bmp") << "x";
  run = Run(std::string(kImages) + "save image \"taken.bmp\",1\n");
  EXPECT_NE(run.errors.find("File already exists \"taken.bmp\""), std::string::npos) << run.errors;
}

}  // namespace
}  // namespace zv
