// BASIC programs that play, loop, stop and set the frames of objects loaded
// with keyframe animation: the clock read back through the queries, and
// the poses seen in the frames drawn.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <sstream>

#include "tests/engine3d/engine_run.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

// A bar 30 long and 4 thick lying along +x from the origin in frame "arm",
// turned a quarter about z (x towards y) from frame 0 to frame 10.
constexpr char kSwingingArm[] =
    "xof 0302txt 0032\n"
    "Frame arm {\n"
    " FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }\n"
    " Mesh bar {\n"
    "  8;\n"
    "  0;-2;-2;, 30;-2;-2;, 30;2;-2;, 0;2;-2;, 0;-2;2;, 30;-2;2;, 30;2;2;, 0;2;2;;\n"
    "  12;\n"
    "  3;0,2,1;, 3;0,3,2;, 3;4,5,6;, 3;4,6,7;, 3;0,1,5;, 3;0,5,4;,\n"
    "  3;3,7,6;, 3;3,6,2;, 3;0,4,7;, 3;0,7,3;, 3;1,2,6;, 3;1,6,5;;\n"
    " }\n"
    "}\n"
    "AnimationSet swing {\n"
    " Animation { {arm}\n"
    "  AnimationKey { 0; 2; 0;4;1,0,0,0;;, 10;4;0.70710678,0,0,-0.70710678;;; }\n"
    " }\n"
    "}\n";

// A cube 10 wide in frame "body", sliding along x from -20 (frame 0) to 20
// (frame 10), doubling its height on the way.
constexpr char kSlidingCube[] =
    "xof 0302txt 0032\n"
    "Frame body {\n"
    " Mesh cube {\n"
    "  8;\n"
    "  -5;-5;-5;, 5;-5;-5;, 5;5;-5;, -5;5;-5;, -5;-5;5;, 5;-5;5;, 5;5;5;, -5;5;5;;\n"
    "  12;\n"
    "  3;0,2,1;, 3;0,3,2;, 3;4,5,6;, 3;4,6,7;, 3;0,1,5;, 3;0,5,4;,\n"
    "  3;3,7,6;, 3;3,6,2;, 3;0,4,7;, 3;0,7,3;, 3;1,2,6;, 3;1,6,5;;\n"
    " }\n"
    "}\n"
    "AnimationSet slide {\n"
    " Animation { {body}\n"
    "  AnimationKey { 2; 2; 0;3;-20,0,0;;, 10;3;20,0,0;;; }\n"
    "  AnimationKey { 1; 2; 0;3;1,1,1;;, 10;3;1,3,1;;; }\n"
    " }\n"
    "}\n";

// The camera 100 units before the origin, looking along +z.
constexpr char kCamera[] = "disable auto camera\nposition camera 0, 0, -100\npoint camera 0, 0, 0\n";

// Screen pixels per unit at 100 units: cot(fov / 2) over 100, times half
// the screen's height (the x scale is the same once the aspect is applied).
constexpr double kPixelsPerUnit = 1.6653 * 240.0 / 100.0;
int ScreenX(double x) { return static_cast<int>(320 + x * kPixelsPerUnit); }
int ScreenY(double y) { return static_cast<int>(240 - y * kPixelsPerUnit); }

class AnimationPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_engine3d_animation_" + std::to_string(getpid()));
    fs::create_directories(folder_);
    Write("arm.x", kSwingingArm);
    Write("slide.x", kSlidingCube);
  }
  void TearDown() override { fs::remove_all(folder_); }

  EngineRun Run(const std::string& source) { return RunEngineProgram(source, folder_.string()); }
  void Write(const std::string& name, const std::string& text) { std::ofstream(folder_ / name) << text; }
  // Shown in both buffers of the flip chain, then the end.
  EngineRun RunFramed(const std::string& body) { return Run("sync on\nhide mouse\n" + body + "sync\nsync\nend\n"); }

  fs::path folder_;
};

// Whether the point is covered: not the colour of the empty top left corner.
bool Drawn(const EngineRun& run, double x, double y) { return run.At(ScreenX(x), ScreenY(y)) != run.At(5, 5); }

TEST_F(AnimationPrograms, TheClockPlaysLoopsAndStopsAsTheQueriesTell) {
  EngineRun run = Run(
      "sync on\n"
      "load object \"arm.x\", 1\n"
      "print total object frames(1); \" \"; object playing(1); \" \"; object speed(1); \" \"; "
      "object interpolation(1)\n"
      "set object speed 1, 25\n"
      "play object 1\n"
      "sync : sync : sync\n"
      "print object frame(1); \" \"; object playing(1)\n"
      "for i = 1 to 8 : sync : next i\n"
      "print object frame(1); \" \"; object playing(1); \" \"; object looping(1)\n"
      "loop object 1\n"
      "sync\n"
      "print object frame(1); \" \"; object looping(1)\n"
      "set object speed 1, -50\n"
      "sync\n"
      "print object frame(1); \" \"; object speed(1)\n"
      "stop object 1\n"
      "sync\n"
      "print object frame(1); \" \"; object playing(1); \" \"; object looping(1)\n"
      "set object speed 1, 25\n"
      "play object 1, 3\n"
      "sync\n"
      "print object frame(1)\n"
      "play object range 1, 2, 4\n"
      "sync : sync : sync\n"
      "print object frame(1); \" \"; object playing(1)\n"
      // From frame 4 the loop over 6 to 8 enters at 6: 7, 8, 6, 7, 8.
      "loop object range 1, 6, 8\n"
      "for i = 1 to 5 : sync : next i\n"
      "print object frame(1)\n"
      "set object speed 1, 0\n"
      "for i = 1 to 3 : sync : next i\n"
      "print object frame(1); \" \"; object playing(1)\n"
      // Played once backwards, it ends: all of it from frame 10, and a door
      // closing from frame 10 after ten frames.
      "set object speed 1, -25\n"
      "play object 1\n"
      "n = 0 : while object playing(1) = 1 and n < 30 : sync : n = n + 1 : endwhile\n"
      "print object frame(1); \" \"; n\n"
      "play object range 1, 10, 0\n"
      "n = 0 : while object playing(1) = 1 and n < 30 : sync : n = n + 1 : endwhile\n"
      "print object frame(1); \" \"; n\n"
      "end\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed,
            "10 0 5 100\n"
            "3 1\n"
            "10 0 0\n"
            "0 1\n"
            "10 -50\n"
            "10 0 0\n"
            "4\n"
            "4 0\n"
            "8\n"
            "8 1\n"
            "0 11\n"
            "0 11\n");
}

TEST_F(AnimationPrograms, EveryFormOfPlayRunsBothWaysInsideTheAnimation) {
  const std::string played = "n = 0 : while object playing(1) = 1 and n < 30 : sync : n = n + 1 : endwhile\n"
                             "print object frame(1); \" \"; n; \" \";\n";
  EngineRun run = Run("sync on\nload object \"arm.x\", 1\nset object speed 1, -25\n"
                      "play object from 1, 6\n" + played + "play object 1, 6\n" + played +
                      "play object range 1, 2, 8\n" + played + "play object range 1, 8, 2\n" + played +
                      // Forwards, a range given the other way round runs from its lower frame.
                      "set object speed 1, 25\nplay object range 1, 8, 2\n" + played +
                      // So does a loop: from 8 it comes round to 2.
                      "loop object range 1, 8, 2\nsync : sync : sync\nprint object frame(1)\n"
                      // A play from past the last frame holds the last frame.
                      "play object from 1, 50\n" + played + "print\n" +
                      // Ranges reaching outside the frames run to the nearest end and stop
                      // there, whichever way they run; a loop stays inside them.
                      "play object range 1, 8, 40\n" + played + "play object range 1, -6, 3\nprint object frame(1)\n" +
                      "set object speed 1, -25\nplay object range 1, 40, 8\n" + played +
                      "play object range 1, -6, -2\n" + played + "set object speed 1, 25\nloop object range 1, -6, 3\n"
                      "for i = 1 to 5 : sync : print object frame(1); : next i\nend\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "0 7 0 7 2 7 2 7 8 7 4\n10 1 \n10 3 0\n8 3 0 1 12301");
}

TEST_F(AnimationPrograms, BoxesAndTheSizeFollowThePose) {
  // A cube asks about the arm, lying along +x at frame 0 and standing up
  // along +y at frame 10, and the arm about the cube.
  const std::string ask = "position object 2, 20, 0, 0 : print object collision(2, 1); object collision(1, 2);\n"
                          "position object 2, 0, 20, 0 : print object collision(2, 1); object collision(1, 2);\n"
                          "print \" \"; int(object size x(1) + 0.5); \" \"; int(object size y(1) + 0.5)\n";
  EngineRun run = Run("sync on\nload object \"arm.x\", 1\nmake object cube 2, 2\n" + ask +
                      "set object frame 1, 10\n" + ask +
                      "set object speed 1, -100\nplay object 1\nfor i = 1 to 4 : sync : next i\n" + ask + "end\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "1100 30 4\n0011 4 30\n1100 30 4\n");
  // By the collision library's boxes, asked again after each change of pose
  // alone.
  EngineRun library = Run("sync on\nload object \"arm.x\", 1 : set object collision to boxes 1\n"
                          "make object sphere 2, 2 : position object 2, 20, 0, 0\nprint object collision(2, 1);\n"
                          "set object frame 1, 10\nprint object collision(2, 1);\n"
                          "set object speed 1, -100\nplay object 1\nprint object collision(2, 1);\n"
                          "for i = 1 to 4 : sync : next i\nprint object collision(2, 1)\nend\n");
  EXPECT_EQ(library.errors, "");
  EXPECT_EQ(library.printed, "1001\n");
  // Asked first thing after a frame is set or played: the size, the centre
  // (x, y) and the radius of the sphere around the pose. The bar stands up;
  // the cube slid to x = 20 and grew three times as high.
  auto bounds = [](const char* n) {
    return "print int(object size x(" + std::string(n) + ") + 0.5); \" \"; int(object bound centre x(" + n +
           ") + 0.5); \" \"; int(object bound centre y(" + n + ") + 0.5); \" \"; object bound radius(" + n + ")\n";
  };
  EngineRun asked = Run("sync on\nload object \"arm.x\", 1\n" + bounds("1") + "set object frame 1, 10\n" + bounds("1") +
                        "load object \"slide.x\", 2\nset object speed 2, 100\nplay object 2\n"
                        "for i = 1 to 3 : sync : next i\n" + bounds("2") + "end\n");
  EXPECT_EQ(asked.errors, "");
  EXPECT_EQ(asked.printed, "30 15 0 16\n4 0 15 16\n10 20 0 17\n");
}

TEST_F(AnimationPrograms, SettingAFrameBlendsOverToItsPose) {
  // Frame 0: the bar lies along +x.
  EngineRun start = RunFramed(std::string(kCamera) + "load object \"arm.x\", 1\n");
  EXPECT_EQ(start.errors, "");
  EXPECT_TRUE(Drawn(start, 20, 0));
  EXPECT_FALSE(Drawn(start, 0, 20));
  // Frame 10 at once (interpolation 100): it stands up along +y.
  EngineRun up = RunFramed(std::string(kCamera) + "load object \"arm.x\", 1\nset object frame 1, 10\n");
  EXPECT_TRUE(Drawn(up, 0, 20));
  EXPECT_FALSE(Drawn(up, 20, 0));
  // Frame 5: half way round, along the diagonal.
  EngineRun half = RunFramed(std::string(kCamera) + "load object \"arm.x\", 1\nset object frame 1, 5\n");
  EXPECT_TRUE(Drawn(half, 14, 14));
  EXPECT_FALSE(Drawn(half, 20, 0));
  EXPECT_FALSE(Drawn(half, 0, 20));
  EXPECT_EQ(CompareWithGolden(half, "swing_half_way"), "");
  // With interpolation 50 the first step goes half way to frame 10, the
  // next one all the way.
  const std::string blend = "sync on\nhide mouse\n" + std::string(kCamera) +
                            "load object \"arm.x\", 1\nset object interpolation 1, 50\n"
                            "set object frame 1, 10\nsync\n";
  EngineRun blended = Run(blend + "end\n");
  EXPECT_TRUE(Drawn(blended, 14, 14));
  EXPECT_FALSE(Drawn(blended, 0, 20));
  EngineRun ended = Run(blend + "sync\nend\n");
  EXPECT_TRUE(Drawn(ended, 0, 20));
  EXPECT_FALSE(Drawn(ended, 14, 14));
}

TEST_F(AnimationPrograms, TranslationAndScaleKeysMoveAndStretchTheFrame) {
  EngineRun run = RunFramed(std::string(kCamera) + "load object \"slide.x\", 1\nset object frame 1, 5\n");
  EXPECT_EQ(run.errors, "");
  // Frame 5: at x = 0, 10 wide and 20 high.
  EXPECT_TRUE(Drawn(run, 0, 0));
  EXPECT_TRUE(Drawn(run, 0, 9));
  EXPECT_FALSE(Drawn(run, 0, 11));
  EXPECT_FALSE(Drawn(run, 7, 0));
  EXPECT_FALSE(Drawn(run, -20, 0));
  // Slid out past the sphere it was loaded in to the screen's left edge,
  // its origin beyond it, the cube is drawn all the same.
  EngineRun edge = RunFramed(std::string(kCamera) +
                             "load object \"slide.x\", 1\nposition object 1, -100, 0, 0\nset object frame 1, 10\n");
  EXPECT_TRUE(Drawn(edge, -77, 0));
  // The limb stands at the frame set (or started from) before it is drawn
  // there, for the queries and for collisions alike.
  EngineRun asked = Run(
      "sync on\nload object \"slide.x\", 1\nmake object sphere 2, 2 : position object 2, 20, 0, 0\n"
      "set object frame 1, 10\nprint limb position x(1, 1); object collision(2, 1)\n"
      "play object 1, 5\nprint limb position x(1, 1)\nend\n");
  EXPECT_EQ(asked.printed, "201\n0\n");
}

TEST_F(AnimationPrograms, ARunningAnimationMovesTheFrameEveryFrame) {
  // Playing at one frame per update from 0: after six frames the cube has
  // slid to x = 4 at the latest, and left its start.
  EngineRun run = RunFramed(std::string(kCamera) +
                            "load object \"slide.x\", 1\nset object speed 1, 25\nloop object 1\n"
                            "for i = 1 to 5 : sync : next i\n");
  EXPECT_FALSE(Drawn(run, -20, 0));
  EXPECT_TRUE(Drawn(run, 4, 0));
}

// Each ends the run with its error.
// The animated X models of Debian's assimp-testmodels package, where it is
// installed. Their meshes hang on frames of their own and follow the bones
// only through skin weights, which objects do not use; the bones are
// limbs, and a marker glued to one shows where the animation has put it.
struct AnimatedModel {
  const char* file;
  int32_t limb;
  const char* marker_size;
  const char* marker_offset;  // along the limb's x axis
  int32_t start, end;         // a stretch of the animation that moves the limb
};

TEST_F(AnimationPrograms, AnimatedXModelsMoveTheirLimbsAndComeRoundAgainAfterTheLoop) {
  const std::string models = "/usr/share/assimp/models/X/";
  if (!fs::exists(models + "anim_test.x")) GTEST_SKIP() << "assimp-testmodels is not installed";
  fs::copy_file(models + "anim_test.x", folder_ / "anim_test.x");
  fs::copy_file(models + "BCN_Epileptic.X", folder_ / "bcn.x");
  // Its last animation set is a bind pose that holds still: the walk
  // before it is kept.
  std::ifstream wuson(models + "Testwuson.X", std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(wuson)), std::istreambuf_iterator<char>());
  Write("wuson.x", all.substr(0, all.find("AnimationSet Wuson_Bind")));
  // Key times of the last two count ticks, 160 a key.
  const AnimatedModel cases[] = {
      {"anim_test.x", 3, "0.6", "3", 0, 24},
      {"bcn.x", 6, "0.08", "0", 4000, 4400},
      {"wuson.x", 33, "0.15", "0", 6800, 7600},
  };
#ifdef ZV_UNDER_SANITIZERS
  // The two large models take minutes there; the small one walks the same code.
  const size_t model_count = 1;
#else
  const size_t model_count = std::size(cases);
#endif
  for (const AnimatedModel& m : std::span(cases, model_count)) {
    SCOPED_TRACE(m.file);
    // Four ticks an update at speed 100, one at speed 25.
    const int step = m.end - m.start > 100 ? 4 : 1;
    const int loop = (m.end - m.start) / step + 1;
    const std::string n = std::to_string(m.limb), start = std::to_string(m.start), end = std::to_string(m.end);
    // A marker glued to the limb, the stretch looped from its start.
    const std::string scene = "sync on\nsync rate 0\nhide mouse\nload object \"" + std::string(m.file) +
                              "\", 1\ndisable auto camera\nmake object cube 2, " + m.marker_size +
                              "\nglue object to limb 2, 1, " + n + "\nposition object 2, " + m.marker_offset +
                              ", 0, 0\nset object speed 1, " + (step == 4 ? "100" : "25") + "\nloop object 1, " +
                              start + ", " + end + "\nset object frame 1, " + start + "\n";
    auto after = [&](int updates) {
      return Run(scene + "for i = 1 to " + std::to_string(updates) + " : sync : next i\nend\n");
    };
    const EngineRun early = after(5), later = after(5 + loop / 2), again = after(5 + loop);
    EXPECT_EQ(early.errors, "");
    EXPECT_NE(early.frame, later.frame);
    EXPECT_EQ(early.frame, again.frame);
  }
}

TEST_F(AnimationPrograms, CommandsRefuseWhatTheyCannotDo) {
  struct Case {
    const char* body;
    const char* error;
  };
  const Case cases[] = {
      {"make object cube 1, 10\nplay object 1\n", "Object has no animation"},
      {"make object cube 1, 10\nset object frame 1, 0\n", "Object has no animation"},
      {"load object \"arm.x\", 1\nset object frame 1, 10.5\n", "Animation frame out of range"},
      {"load object \"arm.x\", 1\nset object frame 1, -1\n", "Animation frame out of range"},
      {"make object cube 1, 10\nset object speed 1, -101\n", "Animation speed out of range"},
      {"make object cube 1, 10\nset object interpolation 1, 0\n", "Animation interpolation out of range"},
      {"play object 3\n", "Object does not exist"},
      {"load object \"arm.x\", 1\nmerge object animation file \"arm.x\", 1, 10\n",
       "Merged animation must start after the last frame"},
      {"load object \"arm.x\", 1\nmerge object animation file \"missing.x\", 1, 11\n",
       "Could not merge the animation"},
      {"make object cube 1, 10\nmerge object animation file \"arm.x\", 1, 11\n", "Could not merge the animation"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    EngineRun run = Run(std::string(c.body) + "end\n");
    EXPECT_NE(run.errors.find(c.error), std::string::npos) << run.errors;
  }
}

TEST_F(AnimationPrograms, InstancesShareTheKeysButPlayTheirOwnFrameAtTheirOwnSpeed) {
  // Object 2 is an instance of object 1, each with its arm at its own
  // place: 1 stays at frame 0 (along +x), 2 goes to frame 10 (along +y).
  const std::string two = std::string(kCamera) +
                          "load object \"arm.x\", 1\nposition object 1, -50, 0, 0\n"
                          "instance object 1, 2\nposition object 2, 20, 0, 0\n";
  EngineRun run = RunFramed(two + "set object frame 2, 10\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_TRUE(Drawn(run, -35, 0));
  EXPECT_FALSE(Drawn(run, -50, 20));
  EXPECT_TRUE(Drawn(run, 20, 20));
  EXPECT_FALSE(Drawn(run, 35, 0));
  // Each keeps its own clock.
  EngineRun clocks = Run("sync on\n" + two +
                         "print total object frames(2)\nset object speed 1, 25 : set object speed 2, 50\n"
                         "play object from 1, 0 : loop object from 2, 0\nsync : sync : sync\n"
                         "print object frame(1); \" \"; object frame(2); \" \"; object speed(1); \" \"; "
                         "object speed(2); \" \"; object looping(1); \" \"; object looping(2)\n"
                         "stop object 2\nsync\nprint object frame(1); \" \"; object frame(2)\nend\n");
  EXPECT_EQ(clocks.errors, "");
  EXPECT_EQ(clocks.printed, "10\n3 6 25 50 0 1\n4 6\n");
}

TEST_F(AnimationPrograms, KeysOutOfOrderOrForMissingFramesPlayWithoutHarm) {
  Write("muddled.x",
        "xof 0302txt 0032\n"
        "Frame arm { Mesh bar { 3; 0;0;0;, 30;0;0;, 0;4;0;; 1; 3;0,1,2;; } }\n"
        "AnimationSet muddled {\n"
        " Animation { {arm}\n"
        "  AnimationKey { 0; 3; 10;4;1,0,0,0;;, 0;4;0.70710678,0,0,-0.70710678;;, 5;4;0,0,0,1;;; }\n"
        "  AnimationKey { 2; 3; 20;3;1,1,1;;, 4;3;-3,0,0;;, 4;3;9,9,9;;; }\n"
        " }\n"
        " Animation { {nowhere} AnimationKey { 1; 1; 0;3;5,5,5;;; } }\n"
        " Animation { AnimationKey { 2; 2; 7;3;1,2,3;;, 1;3;4,5,6;;; } }\n"
        "}\n");
  EngineRun run = Run(
      "sync on\nload object \"muddled.x\", 1\nprint total object frames(1)\n"
      "set object speed 1, 100\nloop object 1\nfor i = 1 to 12 : sync : next i\n"
      "set object speed 1, -100\nfor i = 1 to 12 : sync : next i\nstop object 1\n"
      "set object frame 1, 3\nsync\nprint object frame(1)\nend\n");
  EXPECT_EQ(run.errors, "");
  // The frame count is the latest last key (5), not the latest key.
  EXPECT_EQ(run.printed, "5\n3\n");
}

TEST_F(AnimationPrograms, QueriesOfObjectsWithoutAnimationAnswerZero) {
  EngineRun queries = Run(
      "make object cube 1, 10\n"
      "set object speed 1, 100 : set object interpolation 1, 30\n"
      "print object frame(1); \" \"; object speed(1); \" \"; object interpolation(1); \" \"; "
      "total object frames(1)\n"
      "end\n");
  EXPECT_EQ(queries.errors, "");
  EXPECT_EQ(queries.printed, "0 0 30 0\n");
}

TEST_F(AnimationPrograms, AMergedFileCarriesTheAnimationOnAfterTheFirst) {
  EngineRun run = Run(
      "load object \"arm.x\", 1\n"
      "merge object animation file \"arm.x\", 1, 20\n"
      "print total object frames(1)\n"
      "set object frame 1, 30\n"
      "sync\n"
      "print object frame(1)\n"
      "end\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "30\n30\n");
}

}  // namespace
}  // namespace zv::test
