// Programs that switch how the whole scene is drawn: fog, the frame
// defaults the static scene uses, the depth-sorted pass, clearing, when the
// scene and the 2D drawing are rendered, and what the device can do.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/engine3d/engine_run.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kBackdrop = 0x00007B;  // 128 blue on the 5-6-5 screen
constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00;

class SceneSettingsPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_engine3d_scene_" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  // A cube of 10 at the origin seen from 40 units in front of it, the
  // program's own lines, then its ending (by default two frames and the end).
  EngineRun Run(const std::string& body, const std::string& ending = "sync\nsync\nend\n", uint32_t frames = 400) {
    EngineRun run = RunEngineProgram(
        "sync on\nhide mouse\ndisable auto camera\nmake object cube 1, 10\nposition camera 0, 0, -40\n" + body + ending,
        folder_.string(), frames);
    EXPECT_EQ(run.errors, "");
    return run;
  }

  fs::path folder_;
};

TEST_F(SceneSettingsPrograms, TheDeviceReportsWhatItCanDo) {
  EXPECT_EQ(Run("print can blend transparency(); can filter textures(); can fog(); display initialised()\n").printed,
            "1111\n");
}

TEST_F(SceneSettingsPrograms, FogTintsWhatLiesBeyondItsDistance) {
  const uint32_t clear = Run("").At(320, 240);
  // The cube lies beyond a fog that ends at 30: it takes the fog's colour.
  const std::string fog = "fog on\nset fog distance 30\nset fog colour rgb(255, 0, 0)\n";
  EXPECT_EQ(Run(fog).At(320, 240), kRed);
  // A far fog end only tints it.
  const uint32_t far = Run("fog on\nset fog distance 3000\nset fog colour rgb(255, 0, 0)\n").At(320, 240);
  EXPECT_NE(far, clear);
  EXPECT_NE(far, kRed);
  EXPECT_EQ(Run(fog + "fog off\n").At(320, 240), clear);
}

TEST_F(SceneSettingsPrograms, AnObjectWithoutFogIsClearFromTheFirstFrame) {
  // Without the backdrop the cube is the first thing drawn in the frame.
  const std::string unfogged = "backdrop off\nset object render flags 1, 1, 1, 1, 1, 1, 0\n";
  const std::string fog = "fog on\nset fog distance 30\nset fog colour rgb(255, 0, 0)\n";
  const uint32_t clear = Run(unfogged, "sync\nend\n").At(320, 240);
  ASSERT_NE(clear, kRed);
  EXPECT_EQ(Run(unfogged + fog, "sync\nend\n").At(320, 240), clear);
  // A fogged cube drawn first does not change it.
  const std::string fogged_first = "make object cube 2, 4\nposition object 2, -12, 0, 0\n";
  EngineRun both = Run("backdrop off\n" + fogged_first + "set object render flags 1, 1, 1, 1, 1, 1, 0\n" + fog,
                       "sync\nend\n");
  EXPECT_EQ(both.At(320, 240), clear);
  EXPECT_EQ(both.At(320 - 12 * 240 / 40 * 2, 240), kRed);
}

TEST_F(SceneSettingsPrograms, FogStaysThroughAChangeOfDisplayMode) {
  const std::string fog = "fog on\nset fog distance 30\nset fog colour rgb(255, 0, 0)\n";
  EngineRun run = Run(fog + "sync\nset display mode 800, 600, 16\n");
  ASSERT_EQ(run.width, 800);
  EXPECT_EQ(run.At(400, 300), kRed);
}

TEST_F(SceneSettingsPrograms, ADepthSortedObjectIsDrawnOverTheOthers) {
  // A red cube before a larger green one.
  const std::string two =
      "set ambient light 100\ncolour object 1, rgb(255, 0, 0)\nmake object cube 2, 30\n"
      "colour object 2, rgb(0, 255, 0)\nposition object 2, 0, 0, 20\n";
  EXPECT_EQ(Run(two).At(320, 240), kRed);
  EXPECT_EQ(Run(two + "enable object depth sort 2\n").At(320, 240), kGreen);
  EXPECT_EQ(Run(two + "enable object depth sort 2\ndisable object depth sort 2\n").At(320, 240), kRed);
}

TEST_F(SceneSettingsPrograms, TheStaticSceneIsDrawnWithTheFrameDefaults) {
  // The cube's copy in the static scene alone is drawn.
  const std::string copy = "copy object to static scene 1\nhide object 1\n";
  const size_t solid = Run(copy).CountOtherThan(kBackdrop);
  EXPECT_GT(solid, 10000u);
  EXPECT_LT(Run(copy + "enable wireframe\n").CountOtherThan(kBackdrop), solid / 10);
  EXPECT_EQ(Run(copy + "enable wireframe\ndisable wireframe\n").CountOtherThan(kBackdrop), solid);

  // A texture of a red and a green half, repeated twice across each face:
  // the address mode decides what lies beyond the texture's edge.
  const std::string textured =
      "ink rgb(255, 0, 0), 0\nbox 0, 0, 8, 8\nink rgb(0, 255, 0), 0\nbox 8, 0, 16, 8\nget image 1, 0, 0, 16, 8\n"
      "sync\ntexture object 1, 1\nscale object texture 1, 2, 2\nset ambient light 100\n" +
      copy;
  // The colours at an eighth, three eighths ... of the front face's width
  // (the face shows the texture right to left).
  auto across = [&](const std::string& mode) {
    const EngineRun run = Run(textured + mode);
    int left = -1, right = -1;
    for (int x = 0; x < 640; ++x)
      if (run.At(x, 240) != kBackdrop) {
        if (left < 0) left = x;
        right = x;
      }
    std::vector<uint32_t> colours;
    for (int k = 1; k < 8; k += 2) colours.push_back(run.At(left + (right - left) * k / 8, 240));
    return colours;
  };
  const std::vector<uint32_t> wrap{kGreen, kRed, kGreen, kRed}, mirror{kRed, kGreen, kGreen, kRed},
      clamp{kGreen, kGreen, kGreen, kRed};
  EXPECT_EQ(across(""), wrap);
  EXPECT_EQ(across("set texture address mode 0\n"), wrap);
  EXPECT_EQ(across("set texture address mode 1\n"), mirror);
  EXPECT_EQ(across("set texture address mode 2\n"), clamp);
}

TEST_F(SceneSettingsPrograms, ClearingAndRenderingAtOnceOrInTheFrameRefresh) {
  // Each frame the program clears the screen after the scene was rendered
  // before it ran; the cleared screen is what the frame shows. The program
  // ends in its tenth frame (a run stopped by the frame limit would show
  // the scene rendered for the next).
  const std::string clearing = "n = 0\ndo\nclear screen and depth\nn = n + 1\nif n = 10 then end\nsync\nloop\n";
  EngineRun cleared = Run("", clearing);
  EXPECT_EQ(cleared.At(320, 240), 0u);
  EXPECT_EQ(cleared.At(5, 5), 0u);
  // Rendered again at once, the cube is back on the cleared screen.
  EngineRun now = Run("backdrop off\n", "do\nclear screen and depth\nrender scene now\nsync\nloop\n", 10);
  EXPECT_NE(now.At(320, 240), 0u);
  EXPECT_EQ(now.At(5, 5), 0u);
  // Rendered in the frame refresh, after the program, the cube shows too.
  EngineRun later = Run("render scene in frame refresh\n", clearing);
  EXPECT_NE(later.At(320, 240), 0u);
  EXPECT_EQ(later.At(5, 5), 0u);
  EXPECT_EQ(Run("render scene in frame refresh\nrender scene in pre run\n", clearing).At(320, 240), 0u);
  // A queued clear comes after the scene: only its colour is left in the
  // frame it was drawn in (the backdrop covers it in the next).
  EngineRun queued = Run("queue screen clear rgb(0, 255, 0)\n", "sync\nend\n");
  EXPECT_EQ(queued.At(320, 240), kGreen);
  EXPECT_EQ(queued.CountOtherThan(kGreen), 0u);
}

TEST_F(SceneSettingsPrograms, TextOverTheBackdropShowsOnlyItsLatestValue) {
  // The white pixels of the text at the top left.
  auto text_pixels = [](const EngineRun& run) {
    size_t n = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 160; ++x) n += run.At(x, y) == 0xFFFFFF;
    return n;
  };
  const size_t once = text_pixels(Run("text at 10, 10, \"SCORE 40\"\n", "sync\nend\n"));
  ASSERT_GT(once, 50u);
  // A value printed every frame: the backdrop covers the earlier values,
  // which must not come back over it beside the latest.
  const std::string counting =
      "n = 0\ndo\nn = n + 1\nrotate object 1, 0, n, 0\ntext at 10, 10, \"SCORE \" + str$(n)\n"
      "if n = 40 then exit\nsync\nloop\n";
  EXPECT_EQ(text_pixels(Run(counting, "sync\nend\n")), once);
  // Outside a smaller 3D view nothing covers the text: printed once, it is
  // in both buffers that the frames show by turns.
  for (const char* ending : {"sync\nend\n", "sync\nsync\nend\n"})
    EXPECT_EQ(text_pixels(Run("set camera view 100, 100, 540, 380\ntext at 10, 10, \"SCORE 40\"\n", ending)), once)
        << ending;
}

TEST_F(SceneSettingsPrograms, TheDrawQueueCanComeAfterTheSprites) {
  // A blue sprite at (100, 100), and a yellow box drawn over its place
  // every frame.
  const std::string sprite =
      "backdrop off\nink rgb(0, 0, 255), 0\nbox 0, 0, 8, 8\nget image 2, 0, 0, 8, 8\nsync\n"
      "sprite 1, 100, 100, 2\nink rgb(255, 255, 0), 0\n";
  const std::string drawing = "do\nbox 96, 96, 106, 106\nsync\nloop\n";
  EngineRun before = Run(sprite, drawing, 20);
  EXPECT_EQ(before.At(102, 102), kBlue);
  EXPECT_EQ(before.At(97, 97), kYellow);
  EngineRun after = Run(sprite + "draw queue after sprites\n", drawing, 20);
  EXPECT_EQ(after.At(102, 102), kYellow);
}

}  // namespace
}  // namespace zv::test
