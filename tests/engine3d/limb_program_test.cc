#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/engine3d/engine_run.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kBackdrop = 0x00007B;  // 128 blue on the 5-6-5 screen

// Screen pixels per unit at 40 units before the camera: the projection's
// x scale (cot(fov / 2) x 0.75 = 1.2490) over half the screen.
constexpr double kPixelsPerUnitX = 1.2490 * 320.0 / 40.0;
constexpr double kPixelsPerUnitY = 1.6653 * 240.0 / 40.0;

int ScreenX(double x) { return static_cast<int>(320 + x * kPixelsPerUnitX); }
int ScreenY(double y) { return static_cast<int>(240 - y * kPixelsPerUnitY); }

// The numbers a program printed, one a line.
std::vector<double> Numbers(const std::string& printed) {
  std::vector<double> values;
  std::istringstream lines(printed);
  for (std::string line; std::getline(lines, line);) values.push_back(std::stod(line));
  return values;
}

struct ErrorCase {
  const char* program;
  const char* text;
};

class LimbPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_engine3d_limbs_" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Mesh 1 is a cube of 4; object 1 a cube of 10 at the origin, seen from
  // 40 units in front; then the program's own lines, shown in both buffers.
  EngineRun Run(const std::string& body) {
    return RunEngineProgram(
        "sync on\nhide mouse\ndisable auto camera\n"
        "make object cube 9, 4 : make mesh from object 1, 9 : delete object 9\n"
        "make object cube 1, 10\nposition camera 0, 0, -40\n" +
            body + "sync\nsync\nend\n",
        folder_.string());
  }
  EngineRun RunClean(const std::string& body) {
    EngineRun run = Run(body);
    EXPECT_EQ(run.errors, "");
    return run;
  }

  fs::path folder_;
};

TEST_F(LimbPrograms, AnAddedLimbIsDrawnAtItsOffsetAndTurnsWithTheObject) {
  // Without an offset the limb lies inside the cube.
  EXPECT_EQ(RunClean("add limb 1, 1, 1\n").At(ScreenX(15), 240), kBackdrop);
  EngineRun right = RunClean("add limb 1, 1, 1\noffset limb 1, 1, 15, 0, 0\n");
  EXPECT_NE(right.At(ScreenX(15), 240), kBackdrop);
  EXPECT_EQ(right.At(ScreenX(-15), 240), kBackdrop);
  // Turned about z by 90 degrees, the object carries the limb above it.
  EngineRun turned = RunClean("add limb 1, 1, 1\noffset limb 1, 1, 15, 0, 0\nz rotate object 1, 90\n");
  EXPECT_EQ(turned.At(ScreenX(15), 240), kBackdrop);
  EXPECT_NE(turned.At(320, ScreenY(15)), kBackdrop);
  // A limb linked under another follows it.
  EngineRun linked = RunClean(
      "add limb 1, 1, 1\nadd limb 1, 2, 1\noffset limb 1, 1, 0, 12, 0\noffset limb 1, 2, 0, 0, 0\n"
      "link limb 1, 2, 1\noffset limb 1, 2, 12, 0, 0\n");
  EXPECT_NE(linked.At(ScreenX(12), ScreenY(12)), kBackdrop);
  EXPECT_EQ(linked.At(ScreenX(12), 240), kBackdrop);
}

TEST_F(LimbPrograms, HiddenScaledAndRemeshedLimbs) {
  const std::string limb = "add limb 1, 1, 1\noffset limb 1, 1, 15, 0, 0\n";
  EXPECT_EQ(RunClean(limb + "hide limb 1, 1\n").At(ScreenX(15), 240), kBackdrop);
  EXPECT_NE(RunClean(limb + "hide limb 1, 1\nshow limb 1, 1\n").At(ScreenX(15), 240), kBackdrop);
  // Scaled to 300 percent the cube of 4 reaches 6 units from its centre.
  EXPECT_EQ(RunClean(limb).At(ScreenX(15 - 4), 240), kBackdrop);
  EXPECT_NE(RunClean(limb + "scale limb 1, 1, 300, 300, 300\n").At(ScreenX(15 - 4), 240), kBackdrop);
  // The cube of 10 given to the limb as its mesh.
  EXPECT_NE(RunClean(limb + "make mesh from object 2, 1\nchange limb mesh 1, 1, 2\n").At(ScreenX(15 - 4), 240),
            kBackdrop);
  // A mesh made from the object is what it shows: the hidden limb stays out.
  EXPECT_EQ(RunClean(limb + "hide limb 1, 1\nmake mesh from object 2, 1\nhide object 1\nmake object 2, 2, 0\n")
                .At(ScreenX(15), 240),
            kBackdrop);
  // An instance shares the turned, hidden limb: it stays so, and says so.
  EngineRun shared = RunClean(limb + "rotate limb 1, 1, 0, 45, 0\nhide limb 1, 1\ninstance object 1, 2\n"
                              "print limb angle y(1, 1); \" \"; limb visible(1, 1); \" \"; limb visible(2, 1)\n");
  EXPECT_EQ(shared.printed, "45 0 0\n");
  EXPECT_EQ(shared.At(ScreenX(15), 240), kBackdrop);
}

TEST_F(LimbPrograms, ColouredLimbsAndObjectsShowTheirColour) {
  EngineRun run = RunClean(
      "set ambient light 100\nadd limb 1, 1, 1\noffset limb 1, 1, 15, 0, 0\n"
      "colour object 1, rgb(0, 0, 255)\ncolour limb 1, 1, rgb(255, 0, 0)\n");
  const uint32_t limb = run.At(ScreenX(15), 240), body = run.At(320, 240);
  EXPECT_GT(limb >> 16, 0x80u);
  EXPECT_EQ(limb & 0xFFFF, 0u);
  EXPECT_GT(body & 0xFF, 0x80u);
  EXPECT_EQ(body >> 8, 0u);
}

// An 8 x 8 24-bit BMP file of one colour (0xRRGGBB).
void WriteBmp(const fs::path& path, uint32_t colour) {
  std::string file = "BM";
  auto put = [&file](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  put(54 + 8 * 8 * 3, 4);
  put(0, 4);
  put(54, 4);
  put(40, 4);
  put(8, 4);
  put(8, 4);
  put(1, 2);
  put(24, 2);
  for (int i = 0; i < 6; ++i) put(0, 4);
  for (int i = 0; i < 8 * 8; ++i) put(colour, 3);  // stored blue, green, red
  std::ofstream(path, std::ios::binary) << file;
}

TEST_F(LimbPrograms, LimbsAndObjectsTakeTheTextureOfAnImage) {
  WriteBmp(folder_ / "green.bmp", 0x00FF00);
  const std::string scene =
      "load image \"green.bmp\", 1\nset ambient light 100\nadd limb 1, 1, 1\noffset limb 1, 1, 15, 0, 0\n";
  EngineRun limb = RunClean(scene + "texture limb 1, 1, 1\nprint limb texture(1, 1)\nprint limb texture(1, 0)\n");
  EXPECT_EQ(limb.printed, "1\n0\n");
  EXPECT_EQ(limb.At(ScreenX(15), 240), 0x00FF00u);
  EXPECT_EQ(limb.At(320, 240), 0xFFFFFFu);
  EngineRun whole = RunClean(scene + "texture object 1, 1\n");
  EXPECT_EQ(whole.At(ScreenX(15), 240), 0x00FF00u);
  EXPECT_EQ(whole.At(320, 240), 0x00FF00u);
  // Image 0 takes the texture away again.
  EXPECT_EQ(RunClean(scene + "texture object 1, 1\ntexture limb 1, 0, 0\n").At(320, 240), 0xFFFFFFu);
}

TEST_F(LimbPrograms, LimbQueriesReportWhatWasSetAndWhereTheLimbIs) {
  EngineRun run = RunClean(
      "add limb 1, 1, 1\noffset limb 1, 1, 5, 0, 0\nrotate limb 1, 1, 30, 360, 0\n"
      "print limb exist(1, 1)\nprint limb exist(1, 2)\nprint limb visible(1, 1)\nhide limb 1, 1\n"
      "print limb visible(1, 1)\nprint limb extra value(1, 1)\nprint limb texture(1, 1)\n"
      "print limb offset x(1, 1)\nprint limb angle x(1, 1)\nprint limb angle y(1, 1)\n"
      "position object 1, 10, 0, 0\ny rotate object 1, 90\n"
      "print limb position x(1, 1)\nprint limb position y(1, 1)\nprint limb position z(1, 1)\n"
      "print limb direction x(1, 1)\nprint limb direction y(1, 1)\nprint limb direction z(1, 1)\n"
      "print limb position x(1, 0)\n");
  const std::vector<double> v = Numbers(run.printed);
  ASSERT_EQ(v.size(), 16u) << run.printed;
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[1], 0);
  EXPECT_EQ(v[2], 1);
  EXPECT_EQ(v[3], 0);
  EXPECT_EQ(v[4], 0);
  EXPECT_EQ(v[5], 0);
  EXPECT_EQ(v[6], 5);
  EXPECT_EQ(v[7], 30);
  EXPECT_EQ(v[8], 360);  // kept as given
  // The offset (5, 0, 0) turned with the object 90 degrees about y, from
  // (10, 0, 0): +x turns to -z.
  EXPECT_NEAR(v[9], 10, 1e-4);
  EXPECT_NEAR(v[10], 0, 1e-4);
  EXPECT_NEAR(v[11], -5, 1e-4);
  // The limb faces its own turn (30 about x) and the object's (90 about y):
  // radians reported in degrees with the factor 57.29578.
  EXPECT_NEAR(v[12], 30, 1e-3);
  EXPECT_NEAR(v[13], 90, 1e-3);
  EXPECT_EQ(v[14], 0);
  EXPECT_NEAR(v[15], 10, 1e-4);  // the root frame
}

TEST_F(LimbPrograms, TheNameOfALimbIsItsFrames) {
  std::ofstream(folder_ / "arm.x") << "xof 0302txt 0032\n"
                                      "Frame arm { Mesh upper { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n"
                                      " Frame hand { Mesh palm { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } } }\n";
  EngineRun run = RunClean("add limb 1, 1, 1\nload object \"arm.x\", 2\n"
                           "print limb name$(1, 1); \" \"; limb name$(2, 0); \" \"; limb name$(2, 1); \" \";"
                           " limb name$(2, 2)\n");
  EXPECT_EQ(run.printed, "userframe root arm hand\n");
}

TEST_F(LimbPrograms, AGluedObjectFollowsTheLimbAndStaysWhereUnglued) {
  const std::string glued =
      "add limb 1, 1, 1\noffset limb 1, 1, 15, 0, 0\nhide limb 1, 1\n"
      "make object sphere 2, 6 : position object 2, -15, 0, 0\n"
      "glue object to limb 2, 1, 1\n";
  EngineRun run = RunClean(glued + "print object position x(2)\n");
  EXPECT_EQ(run.printed, "0\n");
  // The limbs are where they are now, drawn since or not.
  EXPECT_EQ(RunClean(glued + "print limb position x(2, 0)\nposition object 1, 30, 0, 0\nprint limb position x(2, 0)\n")
                .printed,
            "15\n45\n");
  EXPECT_NE(run.At(ScreenX(15), 240), kBackdrop);
  EXPECT_EQ(run.At(ScreenX(-15), 240), kBackdrop);
  // Ungluing keeps the place the limb gave it, its offset from the limb
  // included; the limb moving on later leaves it there.
  EngineRun unglued = RunClean(glued + "position object 2, 0, 5, 0\nunglue object 2\noffset limb 1, 1, 0, 0, 0\n"
                                       "print object position x(2)\nprint object position y(2)\n");
  EXPECT_NEAR(Numbers(unglued.printed).at(0), 15, 1e-4);
  EXPECT_NEAR(Numbers(unglued.printed).at(1), 5, 1e-4);
  EXPECT_NE(unglued.At(ScreenX(15), ScreenY(5)), kBackdrop);
  // Deleting the object it is glued to sets it free where it hung.
  EXPECT_EQ(RunClean(glued + "delete object 1\nprint object position x(2)\n").printed, "15\n");
}

TEST_F(LimbPrograms, GlueChainsCarryUpToTenObjectsAndNeverLoop) {
  // Object 3 glued to object 2, glued to the limb of object 1: each follows
  // the one above it.
  EngineRun chain = RunClean(
      "add limb 1, 1, 1\noffset limb 1, 1, 15, 0, 0\nhide limb 1, 1\n"
      "make object cube 2, 2 : glue object to limb 2, 1, 1\n"
      "make object cube 3, 4 : glue object to limb 3, 2, 0 : position object 3, 0, 8, 0\n"
      "hide object 2\nposition object 1, 0, -8, 0\n");
  EXPECT_NE(chain.At(ScreenX(15), 240), kBackdrop);
  EXPECT_EQ(chain.At(ScreenX(15), ScreenY(-8)), kBackdrop);
  // Objects 2 to 10 each glued to the one before: a chain of ten objects.
  const std::string ten =
      "for i = 2 to 11 : make object cube i, 1 : next i\n"
      "for i = 2 to 10 : glue object to limb i, i - 1, 0 : next i\n";
  EXPECT_EQ(RunClean(ten + "print object position x(10)\n").printed, "0\n");
  const char* refused = "Object cannot be glued into a loop or a chain of more than 10 objects";
  const ErrorCase cases[] = {
      {"glue object to limb 1, 1, 0\n", refused},
      {"make object cube 2, 1\nglue object to limb 2, 1, 0\nglue object to limb 1, 2, 0\n", refused},
      {"make object cube 2, 1 : make object cube 3, 1\nglue object to limb 2, 1, 0\n"
       "glue object to limb 3, 2, 0\nglue object to limb 1, 3, 0\n",
       refused},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.program);
    EXPECT_NE(Run(c.program).errors.find(c.text), std::string::npos);
  }
  // An eleventh object, added below the chain or by hanging the chain under
  // another object, is refused too.
  EXPECT_NE(Run(ten + "glue object to limb 11, 10, 0\n").errors.find(refused), std::string::npos);
  EXPECT_NE(Run(ten + "glue object to limb 1, 11, 0\n").errors.find(refused), std::string::npos);
  // Re-gluing in place is no loop.
  EXPECT_EQ(Run(ten + "glue object to limb 10, 9, 0\n").errors, "");
}

TEST_F(LimbPrograms, TextureCoordinatesScrollAndScaleWithoutErrors) {
  // Limbs that do not exist are passed over by the texture-coordinate
  // commands.
  EXPECT_EQ(RunClean("scroll limb texture 1, 5, 0.5, 0.5\nscale limb texture 1, 40, 2, 2\n"
                     "scroll object texture 1, 0.25, 0\nscale object texture 1, 2, 2\ntexture object 1, 0\n"
                     "texture limb 1, 0, 0\n")
                .errors,
            "");
}

TEST_F(LimbPrograms, LimbCommandsRaiseTheirRuntimeErrors) {
  const ErrorCase cases[] = {
      {"add limb 1, 0, 1\n", "Limb number not valid for a new limb"},
      {"add limb 1, 32, 1\n", "Limb number not valid for a new limb"},
      {"add limb 1, 1, 1\nadd limb 1, 1, 1\n", "Limb already exists"},
      {"add limb 1, 2, 1\n", "Previous limb does not exist"},
      {"add limb 1, 1, 65535\n", "Mesh number out of range"},
      {"add limb 1, 1, 7\n", "Mesh does not exist"},
      {"add limb 2, 1, 1\n", "Object does not exist"},
      {"add limb 0, 1, 1\n", "Object number out of range"},
      {"offset limb 1, 32, 0, 0, 0\n", "Limb number out of range"},
      {"offset limb 1, -1, 0, 0, 0\n", "Limb number out of range"},
      {"rotate limb 1, 1, 0, 0, 0\n", "Limb does not exist"},
      {"rotate limb 1, 0, 0, 360.5, 0\n", "Angle must be between 0 and 360"},
      {"rotate limb 1, 0, -0.1, 0, 0\n", "Angle must be between 0 and 360"},
      {"scale limb 1, 3, 100, 100, 100\n", "Limb does not exist"},
      {"hide limb 1, 1\n", "Limb does not exist"},
      {"show limb 1, 40\n", "Limb number out of range"},
      {"colour limb 1, 1, 0\n", "Limb does not exist"},
      {"change limb mesh 1, 32, 1\n", "Limb number out of range"},
      {"change limb mesh 1, 0, 0\n", "Mesh number out of range"},
      {"change limb mesh 1, 0, 9\n", "Mesh does not exist"},
      {"change limb mesh 1, 1, 1\n", "Limb does not exist"},
      {"add limb 1, 1, 1\nlink limb 1, 1, 1\n", "Limb number out of range"},
      {"add limb 1, 1, 1\nlink limb 1, 1, 32\n", "Limb number out of range"},
      {"add limb 1, 1, 1\nlink limb 1, 1, 2\n", "Limb does not exist"},
      {"link limb 1, 3, 0\n", "Limb does not exist"},
      {"add limb 1, 1, 1\nadd limb 1, 2, 1\nlink limb 1, 2, 1\nlink limb 1, 2, 0\n", "Limb cannot be linked again"},
      {"add limb 1, 1, 1\nadd limb 1, 2, 1\nlink limb 1, 2, 1\nlink limb 1, 1, 2\n",
       "Cannot link a limb to one of its own child limbs"},
      {"texture limb 1, 0, 70000\n", "Image number out of range"},
      {"texture limb 1, 0, 5\n", "Image does not exist"},
      {"texture limb 1, 4, 0\n", "Limb does not exist"},
      {"texture object 1, -1\n", "Image number out of range"},
      {"glue object to limb 1, 70000, 0\n", "Object number out of range"},
      {"glue object to limb 1, 3, 0\n", "Object does not exist"},
      {"make object cube 2, 1\nglue object to limb 2, 1, 32\n", "Limb number out of range"},
      {"make object cube 2, 1\nglue object to limb 2, 1, 5\n", "Limb does not exist"},
      {"print limb exist(1, 32)\n", "Limb number out of range"},
      {"print limb texture(1, 3)\n", "Limb does not exist"},
      {"print limb position x(1, -1)\n", "Limb number out of range"},
      {"print limb name$(2, 0)\n", "Object does not exist"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.program);
    EngineRun run = Run(c.program);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find(c.text), std::string::npos) << run.errors;
  }
}

TEST_F(LimbPrograms, TheLimbSlotsGrowAsLimbsAreAdded) {
  // 32 slots at first; adding limb 29 doubles them, so limb 63 is a slot
  // (without a limb) and 64 is out of range.
  EngineRun run = RunClean(
      "for l = 1 to 29 : add limb 1, l, 0 : next l\n"
      "print limb exist(1, 29)\nprint limb exist(1, 63)\n");
  EXPECT_EQ(run.printed, "1\n0\n");
  EXPECT_NE(Run("for l = 1 to 29 : add limb 1, l, 0 : next l\nprint limb exist(1, 64)\n")
                .errors.find("Limb number out of range"),
            std::string::npos);
}

}  // namespace
}  // namespace zv::test
