// BASIC programs that ask whether objects hit: through the collision
// library's shapes (spheres, cylinders, cones, triangles, fitted spheres,
// boxes and polygons) and through the objects' own boxes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/engine3d/engine_run.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

// Two triangles making a 10 x 10 square in the x-y plane about the origin.
constexpr char kSquare[] =
    "xof 0302txt 0032\n"
    "Frame plate {\n"
    " Mesh square {\n"
    "  4;\n"
    "  -5;-5;0;, 5;-5;0;, 5;5;0;, -5;5;0;;\n"
    "  2;\n"
    "  3;0,1,2;, 3;0,2,3;;\n"
    " }\n"
    "}\n";

class CollisionPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_engine3d_collision_" + std::to_string(getpid()));
    fs::create_directories(folder_);
    std::ofstream(folder_ / "square.x") << kSquare;
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Runs the body without drawing anything worth looking at.
  EngineRun Run(const std::string& body) {
    return RunEngineProgram("sync on\ndisable auto camera\n" + body + "end\n", folder_.string());
  }

  fs::path folder_;
};

TEST_F(CollisionPrograms, SpheresHitWhenTheyMeetAndTheQueriesNameTheOther) {
  EngineRun run = Run(
      "make object sphere 1, 10\n"
      "make object sphere 2, 10 : position object 2, 20, 0, 0\n"
      "print object collision(1, 2); object collision(1, 0); object collision(2, 0)\n"
      "position object 2, 9, 0, 0\n"
      "print object collision(1, 2); object collision(1, 0); object collision(2, 0)\n"
      "make object sphere 3, 10 : position object 3, 100, 0, 0\n"
      // Asked about another partner without a move in between.
      "print object collision(1, 3); object collision(1, 2); object collision(3, 0)\n"
      // A number without an object, or out of range, is no hit.
      "print object collision(1, 9); object collision(1, 70000)\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "000\n121\n010\n00\n");
}

TEST_F(CollisionPrograms, ObjectHitReportsALastingContactOnce) {
  EngineRun run = Run(
      "make object sphere 1, 10\n"
      "make object sphere 2, 10 : position object 2, 5, 0, 0\n"
      "print object hit(1, 2); object hit(1, 2); object hit(1, 0)\n"
      "position object 2, 50, 0, 0\n"
      "print object hit(1, 2)\n"
      "position object 2, 5, 0, 0\n"
      "print object hit(1, 0); object hit(1, 0)\n"
      // Collision off everywhere: no hits, and the contact starts anew.
      "disable collisions\n"
      "print object hit(1, 2); object collision(1, 2)\n"
      "enable collisions\n"
      "print object hit(1, 2)\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "100\n0\n20\n00\n1\n");
}

TEST_F(CollisionPrograms, CylindersConesTrianglesAndLoadedShapesCollide) {
  EngineRun run = Run(
      "make object cylinder 1, 10\n"
      "make object cone 2, 10 : position object 2, 9, 0, 0\n"
      "make object triangle 3, -5, -5, 0, 5, -5, 0, 0, 5, 0 : position object 3, 0, 30, 0\n"
      "make object sphere 4, 4 : position object 4, 0, 30, 1.5\n"
      "print object collision(1, 2); object collision(3, 4)\n"
      "position object 4, 0, 30, 2.5\n"
      "print object collision(3, 4)\n"
      // A loaded model tests by its own box until told to use the library.
      "load object \"square.x\", 5 : position object 5, 0, -30, 0\n"
      "make object sphere 6, 4 : position object 6, 4, -30, 1.5\n"
      "set object collision to polygons 5\n"
      "print object collision(5, 6); object collision(6, 5)\n"
      // Off the square's plane, but inside the sphere fitted around it and
      // beside the flat box fitted to it.
      "position object 6, 4, -26, 3.5\n"
      "print object collision(5, 6)\n"
      "set object collision to spheres 5\n"
      "print object collision(5, 6)\n"
      "set object collision to boxes 5\n"
      "print object collision(5, 6)\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "11\n0\n11\n0\n1\n0\n");
}

TEST_F(CollisionPrograms, DeletedLockedAndSwitchedOffObjectsAreNeverHit) {
  EngineRun run = Run(
      "make object sphere 1, 10\n"
      "make object sphere 2, 10 : position object 2, 5, 0, 0\n"
      "make object sphere 3, 10 : position object 3, -5, 0, 0\n"
      "print object collision(1, 2); object collision(1, 3)\n"
      "delete object 2\n"
      "print object collision(1, 2); object collision(3, 0)\n"
      "lock object 3\n"
      "print object collision(1, 3); object collision(1, 0); object collision(3, 0)\n"
      "unlock object 3 : disable object collision 3\n"
      "print object collision(1, 3); object collision(1, 0)\n"
      "enable object collision 3\n"
      "print object collision(1, 3)\n"
      // A new object in the deleted one's record starts afresh.
      "make object sphere 2, 10 : position object 2, 200, 0, 0\n"
      "print object collision(1, 2)\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "11\n01\n000\n00\n1\n0\n");
}

TEST_F(CollisionPrograms, OwnBoxesMeetTurnedAndAxisAlignedBoxesGiveACorrection) {
  EngineRun run = Run(
      // Cubes test by their own boxes, turned with the objects.
      "make object cube 1, 10\n"
      "make object cube 2, 10 : position object 2, 12, 0, 0\n"
      "print object collision(1, 2); object collision(1, 0)\n"
      "rotate object 2, 0, 45, 0\n"
      "print object collision(1, 2); object collision(1, 0)\n"
      // Boxes given by the program, the second asking for a correction.
      "make object collision box 1, -5, -5, -5, 5, 5, 5, 0\n"
      "make object collision box 2, -5, -5, -5, 5, 5, 5, 0\n"
      "rotate object 2, 0, 0, 0 : position object 2, 0, 0, 0\n"
      "position object 1, -20, 0, 0\n"
      "sync\n"
      "position object 1, -8, 0, 0\n"
      "print object collision(1, 2); object collision result x(); object collision result y()\n"
      // Touching faces do not meet; a miss clears the correction.
      "position object 1, -10, 0, 0\n"
      "print object collision(1, 2); object collision result x()\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "00\n12\n120\n00\n");
}

TEST_F(CollisionPrograms, TheQueriesCheckTheirFirstObject) {
  EXPECT_NE(Run("print object collision(0, 0)\n").errors.find("Object number out of range"), std::string::npos);
  EXPECT_NE(Run("print object hit(4, 0)\n").errors.find("Object does not exist"), std::string::npos);
}

}  // namespace
}  // namespace zv::test
