#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/engine3d/engine_run.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kBackdrop = 0x00007B;  // 128 blue on the 5-6-5 screen

class CameraAndLightPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_engine3d_camera_" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  EngineRun Run(const std::string& body) {
    EngineRun run = RunEngineProgram("sync on\nhide mouse\n" + body + "sync\nsync\nend\n", folder_.string());
    EXPECT_EQ(run.errors, "");
    return run;
  }

  fs::path folder_;
};

int Brightness(uint32_t p) { return static_cast<int>(((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF)); }

// A white cube straight ahead of a camera that the program places itself.
constexpr char kCube[] =
    "disable auto camera\n"
    "make object cube 1, 10\n"
    "position camera 0, 0, -40\n";

TEST_F(CameraAndLightPrograms, TheCameraPositionMovesTheViewWithIt) {
  EngineRun ahead = Run(std::string(kCube));
  EXPECT_NE(ahead.At(320, 240), kBackdrop);
  // Moved to the right in look-at mode: the view keeps its direction, so the
  // cube slides to the left.
  EngineRun moved = Run(std::string(kCube) + "position camera 12, 0, -40\n");
  EXPECT_EQ(moved.At(320, 240), kBackdrop);
  EXPECT_NE(moved.At(160, 240), kBackdrop);
}

TEST_F(CameraAndLightPrograms, PointingAndRotatingTheCameraTurnsTheView) {
  EngineRun pointed = Run(std::string(kCube) + "position camera 40, 0, -40\npoint camera 0, 0, 0\n");
  EXPECT_NE(pointed.At(320, 240), kBackdrop);
  // Turned away by 90 degrees about y: nothing in view.
  EngineRun turned = Run(std::string(kCube) + "rotate camera 0, 90, 0\n");
  EXPECT_EQ(turned.CountOtherThan(kBackdrop), 0u);
  // Turned back: the angles query reports the turn.
  EngineRun back = Run(std::string(kCube) + "rotate camera 0, 90, 0\nrotate camera 0, 0, 0\nprint camera angle y()\n");
  EXPECT_NE(back.At(320, 240), kBackdrop);
}

TEST_F(CameraAndLightPrograms, TheCameraQueriesReportPositionAndAngles) {
  EngineRun run = Run(
      "position camera 1.5, 2, -3\n"
      "print camera position x()\nprint camera position y()\nprint camera position z()\n"
      "rotate camera 10, 20, 30\n"
      "print int(camera angle x() + 0.5)\nprint int(camera angle y() + 0.5)\nprint int(camera angle z() + 0.5)\n");
  EXPECT_EQ(run.printed, "1.5\n2\n-3\n10\n20\n30\n");
}

TEST_F(CameraAndLightPrograms, RangeAndFieldOfViewShapeTheProjection) {
  EngineRun near_enough = Run(std::string(kCube));
  // Beyond the far range the cube is culled.
  EngineRun beyond = Run(std::string(kCube) + "set camera range 1, 30\n");
  EXPECT_EQ(beyond.CountOtherThan(kBackdrop), 0u);
  // A narrower field of view makes it larger.
  EngineRun narrow = Run(std::string(kCube) + "set camera fov 0.5\n");
  EXPECT_GT(narrow.CountOtherThan(kBackdrop), 2 * near_enough.CountOtherThan(kBackdrop));
}

TEST_F(CameraAndLightPrograms, TheCameraViewRectangleLimitsTheDrawing) {
  EngineRun run = Run(std::string(kCube) + "backdrop off\nset camera view 0, 0, 320, 480\n");
  // The cube is drawn into the left half only.
  EXPECT_NE(run.At(160, 240), 0u);
  // (The pointer that the first frame drew stays on the uncleared screen
  // just right of the middle.)
  for (int x = 352; x < 640; x += 16) EXPECT_EQ(run.At(x, 240), 0u);
}

TEST_F(CameraAndLightPrograms, AmbientLightAndTheDefaultLightLightTheScene) {
  // The front face is lit mostly by the ambient half of the scene material.
  const uint32_t lit = Run(std::string(kCube)).At(320, 240);
  // No ambient light and the default light hidden: the cube is black.
  EXPECT_EQ(Run(std::string(kCube) + "set ambient light 0\nhide light 0\n").At(320, 240), 0u);
  // More ambient light, brighter.
  const uint32_t bright = Run(std::string(kCube) + "set ambient light 100\n").At(320, 240);
  EXPECT_GT(Brightness(bright), Brightness(lit));
  // A red ambient colour leaves only red.
  const uint32_t red = Run(std::string(kCube) + "set ambient light colour rgb(255, 0, 0)\nhide light 0\n").At(320, 240);
  EXPECT_GT(red >> 16, 0u);
  EXPECT_EQ(red & 0xFFFF, 0u);
}

TEST_F(CameraAndLightPrograms, PointSpotAndDirectionalLightsShineOnTheCube) {
  const std::string dark = std::string(kCube) + "set ambient light 0\nhide light 0\nmake light 1\n";
  // A point light before the cube lights its front face.
  EXPECT_GT(Brightness(Run(dark + "set point light 1, 0, 0, -20\n").At(320, 240)), 60);
  // Behind it, not.
  EXPECT_EQ(Run(dark + "set point light 1, 0, 0, 20\n").At(320, 240), 0u);
  // A directional light shining along +z lights the front face.
  EXPECT_GT(Brightness(Run(dark + "set directional light 1, 0, 0, 1\n").At(320, 240)), 100);
  // Coloured green, the light leaves only green.
  const uint32_t green = Run(dark + "set directional light 1, 0, 0, 1\ncolor light 1, rgb(0, 255, 0)\n").At(320, 240);
  EXPECT_GT((green >> 8) & 0xFF, 0u);
  EXPECT_EQ(green & 0xFF00FF, 0u);
  // A spot light aimed at the cube lights it; aimed away, not.
  const std::string spot = dark + "set point light 1, 0, 0, -20\nset spot light 1, 30, 60\n";
  EXPECT_GT(Brightness(Run(spot + "point light 1, 0, 0, 0\n").At(320, 240)), 60);
  EXPECT_EQ(Run(spot + "point light 1, 0, 0, -40\n").At(320, 240), 0u);
  // Hidden, the light goes dark; deleted, too.
  EXPECT_EQ(Run(dark + "set directional light 1, 0, 0, 1\nhide light 1\n").At(320, 240), 0u);
  EXPECT_EQ(Run(dark + "set directional light 1, 0, 0, 1\ndelete light 1\n").At(320, 240), 0u);
}

TEST_F(CameraAndLightPrograms, TheCameraTurnsByItsOrderAndTakesObjectOrientations) {
  // Red to the right (+x), green below (-y), yellow ahead (+z) of a camera
  // at the origin: the colour in the middle tells where the camera looks.
  auto looks_at = [&](const std::string& body) {
    return Run("disable auto camera\nset ambient light 100\n"
               "make object cube 1, 10\ncolour object 1, rgb(255, 0, 0)\nposition object 1, 40, 0, 0\n"
               "make object cube 2, 10\ncolour object 2, rgb(0, 255, 0)\nposition object 2, 0, -40, 0\n"
               "make object cube 3, 10\ncolour object 3, rgb(255, 255, 0)\nposition object 3, 0, 0, 40\n"
               "position camera 0, 0, 0\n" +
               body)
        .At(320, 240);
  };
  constexpr uint32_t kRight = 0xFF0000, kBelow = 0x00FF00, kAhead = 0xFFFF00;
  EXPECT_EQ(looks_at(""), kAhead);
  // Angles 90, 90, 0 turn about x first by default: down; about y first
  // in the other order: to the right.
  EXPECT_EQ(looks_at("rotate camera 90, 90, 0\n"), kBelow);
  EXPECT_EQ(looks_at("set camera rotation zyx\nrotate camera 90, 90, 0\n"), kRight);
  EXPECT_EQ(looks_at("set camera rotation zyx\nrotate camera 90, 90, 0\nset camera rotation xyz\n"), kBelow);
  EXPECT_EQ(looks_at("set camera angle y 90\n"), kRight);
  EXPECT_EQ(looks_at("set camera angle x 90\n"), kBelow);
  EXPECT_EQ(looks_at("set camera angle z 90\n"), kAhead);
  EXPECT_EQ(looks_at("turn camera right 90\n"), kRight);
  EXPECT_EQ(looks_at("turn camera left 270\n"), kRight);
  EXPECT_EQ(looks_at("pitch camera down 90\n"), kBelow);
  EXPECT_EQ(looks_at("pitch camera up 90\n"), kBackdrop);
  EXPECT_EQ(looks_at("roll camera left 90\nroll camera right 90\n"), kAhead);
  EXPECT_EQ(looks_at("y rotate object 3, 90\nset camera to object orientation 3\n"), kRight);
  EXPECT_EQ(looks_at("turn object right 3, 90\nset camera to object orientation 3\n"), kRight);
}

TEST_F(CameraAndLightPrograms, NormalsColouredLightsAndLightsPlacedByObjects) {
  const std::string dark = std::string(kCube) + "set ambient light 0\n";
  const uint32_t lit = Run(dark).At(320, 240);
  // Normals scaled by half light half as much until the device normalises
  // them again.
  const uint32_t halved = Run(dark + "scale object normals 1, 50\n").At(320, 240);
  EXPECT_LT(Brightness(halved), Brightness(lit));
  EXPECT_EQ(Run(dark + "scale object normals 1, 50\nenable normalization\n").At(320, 240), lit);
  EXPECT_EQ(Run(dark + "scale object normals 1, 50\nenable normalization\ndisable normalization\n").At(320, 240),
            halved);
  EXPECT_EQ(Run(dark + "hide light 0\nshow light 0\n").At(320, 240), lit);

  const std::string own = dark + "hide light 0\nmake light 1\n";
  const std::string ahead = own + "set directional light 1, 0, 0, 1\n";
  EXPECT_EQ(Run(ahead + "color light rgb 1, 255, 0, 0\n").At(320, 240), 0xFF0000u);
  EXPECT_EQ(Run(ahead + "color light rgb 1, 128, 64, 0\n").At(320, 240), 0x844100u);
  // A point light placed before or behind the cube, near or out of range.
  EXPECT_GT(Brightness(Run(own + "position light 1, 0, 0, -20\n").At(320, 240)), 300);
  EXPECT_EQ(Run(own + "position light 1, 0, 0, 20\n").At(320, 240), 0u);
  EXPECT_EQ(Run(own + "position light 1, 0, 0, -20\nset light range 1, 5\n").At(320, 240), 0u);
  // Placed at a small ball before or behind the cube.
  const std::string ball = own + "make object sphere 2, 1\n";
  EXPECT_GT(Brightness(Run(ball + "position object 2, 3, 3, -20\nposition light at object 1, 2\n").At(320, 240)), 300);
  EXPECT_EQ(Run(ball + "position object 2, 3, 3, 20\nposition light at object 1, 2\n").At(320, 240), 0u);
  // A spot before the cube, turned by angles or by an object towards it or
  // away.
  const std::string spot = own + "set point light 1, 0, 0, -20\nset spot light 1, 30, 60\n";
  EXPECT_GT(Brightness(Run(spot + "rotate light 1, 0, 0, 0\n").At(320, 240)), 60);
  EXPECT_EQ(Run(spot + "rotate light 1, 0, 180, 0\n").At(320, 240), 0u);
  const std::string pointer = spot + "make object sphere 2, 1\nposition object 2, 8, 8, -30\n";
  EXPECT_GT(Brightness(Run(pointer + "set light to object orientation 1, 2\n").At(320, 240)), 60);
  EXPECT_EQ(Run(pointer + "y rotate object 2, 180\nset light to object orientation 1, 2\n").At(320, 240), 0u);
  EXPECT_EQ(Run(pointer + "turn object left 2, 180\nset light to object orientation 1, 2\n").At(320, 240), 0u);
  // Where an object is seen: locked 20 before the camera, so before the
  // cube; glued, turned with its holder; locked, turned with the camera
  // (which looks at the cube from the side, past the spot).
  const std::string locked = ball + "lock object 2 : position object 2, 3, 3, 20\n";
  EXPECT_GT(Brightness(Run(locked + "position light at object 1, 2\n").At(320, 240)), 300);
  EXPECT_GT(Brightness(Run(locked + "make object sphere 3, 1 : glue object to limb 3, 2, 0\n"
                                    "position light at object 1, 3\n").At(320, 240)), 300);
  EXPECT_GT(Brightness(Run(pointer + "make object sphere 3, 1 : rotate object 3, 0, 180, 0\n"
                           "glue object to limb 2, 3, 0 : y rotate object 2, 180\n"
                           "set light to object orientation 1, 2\n").At(320, 240)), 60);
  EXPECT_GT(Brightness(Run(own + "set point light 1, 20, 0, 0\nset spot light 1, 30, 60\n"
                           "position camera 40, 0, 0 : rotate camera 0, 270, 0\n"
                           "make object sphere 2, 1 : lock object 2\nset light to object orientation 1, 2\n")
                           .At(320, 240)), 60);
}

TEST_F(CameraAndLightPrograms, ASceneOfLitObjectsMatchesItsGolden) {
  EngineRun run = Run(
      "disable auto camera\n"
      "make object sphere 1, 12 : position object 1, -12, 0, 0\n"
      "make object cube 2, 10 : position object 2, 12, 0, 0 : rotate object 2, 20, 30, 0\n"
      "make object plain 3, 60, 40 : position object 3, 0, -8, 0 : x rotate object 3, 90\n"
      "colour object 3, rgb(90, 90, 90)\n"
      "set ambient light 20\n"
      "make light 1 : set point light 1, 0, 10, -15 : color light 1, rgb(255, 200, 120)\n"
      "make light 2 : set directional light 2, -1, -1, 1 : color light 2, rgb(80, 80, 255)\n"
      "position camera 0, 12, -40 : point camera 0, 0, 0\n");
  EXPECT_EQ(CompareWithGolden(run, "lit_scene"), "");
}

}  // namespace
}  // namespace zv::test
