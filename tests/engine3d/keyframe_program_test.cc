#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/engine3d/engine_run.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

class KeyframePrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_engine3d_keyframes_" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Object 1, a cube of 10, has limbs 1 and 2 (cubes of 4), then the
  // program's own lines.
  EngineRun Run(const std::string& body) {
    return RunEngineProgram(
        "sync on\nhide mouse\ndisable auto camera\n"
        "make object cube 9, 4 : make mesh from object 1, 9 : delete object 9\n"
        "make object cube 1, 10\nadd limb 1, 1, 1\nadd limb 1, 2, 1\n" +
            body + "end\n",
        folder_.string());
  }
  std::string Read(const std::string& name) {
    std::ifstream in(folder_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  fs::path folder_;
};

TEST_F(KeyframePrograms, KeysRecordThePoseAtTheirFrameAndAreSaved) {
  EngineRun run = Run(
      "offset limb 1, 1, 3, 0, 0\nset object keyframe 1, 10\n"
      "offset limb 1, 1, 6, 0, 0\nset object keyframe 1, 5\nsave object animation \"a.x\", 1\n"
      "delete object keyframe 1, 5\ndelete object keyframe 1, 0\nsave object animation \"b.x\", 1\n");
  EXPECT_EQ(run.errors, "");
  // One animation per limb above the root, keys in time order: the pose
  // when the keys were made at 0 and 10, the later one at 5.
  const std::string a = Read("a.x");
  EXPECT_NE(a.find("AnimationSet xkq_animset_0"), std::string::npos);
  EXPECT_NE(a.find("Animation xkq_anim_1"), std::string::npos);
  EXPECT_EQ(a.find("Animation xkq_anim_2"), std::string::npos);
  EXPECT_NE(a.find("0;3;3.0,0.0,0.0;;,\n   5;3;6.0,0.0,0.0;;,\n   10;3;3.0,0.0,0.0;;;"), std::string::npos) << a;
  // Frame 5 deleted, frame 0 kept.
  const std::string b = Read("b.x");
  EXPECT_NE(b.find("0;3;3.0,0.0,0.0;;,\n   10;3;3.0,0.0,0.0;;;"), std::string::npos) << b;
}

TEST_F(KeyframePrograms, KeysMadeInBasicAnimateAndASavedCopyMovesTheSame) {
  // Limb 1 keyed at x = 0 (frame 0) and x = 20 (frame 10); object 2 built
  // alike takes the saved keys one frame later (its own key at frame 0).
  EngineRun run = Run(
      "set object keyframe 1, 0\noffset limb 1, 1, 20, 0, 0\nset object keyframe 1, 10\n"
      "save object animation \"walk.x\", 1\n"
      "make object cube 2, 10\nadd limb 2, 1, 1\nadd limb 2, 2, 1\nset object keyframe 2, 0\n"
      "merge object animation file \"walk.x\", 2, 1\nprint total object frames(1); \" \"; "
      "total object frames(2)\n"
      "for f = 0 to 10 step 5\n"
      "  set object frame 1, f : set object frame 2, f + 1 : sync\n"
      "  print limb position x(1, 1); \" \"; limb position x(2, 1)\n"
      "next f\n"
      "set object speed 1, 50 : play object 1 : sync : sync\nprint limb position x(1, 1)\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "10 11\n0 0\n10 10\n20 20\n8\n");
}

TEST_F(KeyframePrograms, DeletingTheAnimationLeavesNoKeysToSave) {
  EngineRun run = Run(
      "set object keyframe 1, 4\ndelete object animation 1\nsave object animation \"none.x\", 1\n"
      "delete object animation 1\ndelete object keyframe 1, 4\n"
      "set object keyframe 1, 7\nsave object animation \"again.x\", 1\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(Read("none.x").find("AnimationSet"), std::string::npos);
  const std::string again = Read("again.x");
  EXPECT_NE(again.find("   0;4;"), std::string::npos) << again;
  EXPECT_NE(again.find("   7;4;"), std::string::npos) << again;
}

TEST_F(KeyframePrograms, AppendingJoinsTwoFilesAfterTheOffset) {
  // The file's keys of one limb run from 0 to 10; joined twice (the last
  // set counts) behind the pose keys at frame 0 of an object without keys,
  // 20 frames on.
  EngineRun run = Run(
      "make object cube 3, 10\nadd limb 3, 1, 1\noffset limb 3, 1, 3, 0, 0\nset object keyframe 3, 10\n"
      "save object animation \"a.x\", 3\nmake object cube 2, 10\nadd limb 2, 1, 1\n"
      "append object animation \"a.x\", \"a.x\", 2, 20\nsave object animation \"joined.x\", 2\n"
      "set object keyframe 2, 40\nsave object animation \"longer.x\", 2\n");
  EXPECT_EQ(run.errors, "");
  const std::string joined = Read("joined.x");
  EXPECT_NE(joined.find("0;3;0.0,0.0,0.0;;,\n   20;3;3.0,0.0,0.0;;,\n   30;3;3.0,0.0,0.0;;;"), std::string::npos)
      << joined;
  // The frame count followed the keys: a key after it goes at the end.
  EXPECT_NE(Read("longer.x").find("30;3;3.0,0.0,0.0;;,\n   40;3;"), std::string::npos);
}

struct ErrorCase {
  const char* program;
  const char* text;
};

TEST_F(KeyframePrograms, KeyframeCommandsCheckTheObject) {
  const ErrorCase cases[] = {
      {"save object animation \"x.x\", 0\n", "Object number out of range"},
      {"save object animation \"x.x\", 2\n", "Object does not exist"},
      {"append object animation \"x.x\", \"y.x\", 65536, 0\n", "Object number out of range"},
      {"append object animation \"x.x\", \"y.x\", 3, 0\n", "Object does not exist"},
      {"delete object animation -1\n", "Object number out of range"},
      {"delete object animation 2\n", "Object does not exist"},
      {"delete object keyframe 0, 1\n", "Object number out of range"},
      {"delete object keyframe 2, 1\n", "Object does not exist"},
      {"set object keyframe 70000, 1\n", "Object number out of range"},
      {"set object keyframe 2, 1\n", "Object does not exist"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.program);
    EngineRun run = Run(c.program);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find(c.text), std::string::npos) << run.errors;
  }
}

}  // namespace
}  // namespace zv::test
