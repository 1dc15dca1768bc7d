// BASIC programs that ask whether objects hit: through the collision
// library's shapes (spheres, cylinders, cones, triangles, fitted spheres,
// boxes and polygons) and through the objects' own boxes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "tests/engine3d/engine_run.h"
#include "tests/support/test_paths.h"

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

TEST_F(CollisionPrograms, ALimbShownAgainOrGivenANewMeshCollidesAsItIsDrawn) {
  EngineRun run = Run(
      "make object cube 9, 2 : make mesh from object 1, 9 : delete object 9\n"
      "make object box 9, 20, 4, 4 : make mesh from object 2, 9 : delete object 9\n"
      "make object sphere 1, 10 : add limb 1, 1, 1 : offset limb 1, 1, 20, 0, 0\n"
      "instance object 1, 2 : position object 2, 0, 50, 0\n"
      "make object sphere 4, 10 : position object 4, 0, -50, 0\n"
      "make object sphere 3, 2\n"
      // Hidden and shown, a ball keeps its size, and an instance its limb.
      "hide limb 4, 0 : show limb 4, 0 : hide limb 1, 1 : show limb 1, 1\n"
      "position object 3, 4.5, -50, 0 : print object collision(3, 4);\n"
      "position object 3, 20, 50, 0 : print object collision(3, 2)\n"
      "change limb mesh 1, 1, 2\n"
      "position object 3, 29, 0, 0 : print object collision(3, 1);\n"
      // A hidden limb stays out of collisions whatever shapes are chosen.
      "hide limb 1, 1 : set object collision to spheres 1 : print object collision(3, 1)\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "11\n10\n");
}

TEST_F(CollisionPrograms, AnAddedLimbIsInTheObjectsBoxAndKeepsTheShapesChosen) {
  EngineRun run = Run(
      "make object cube 9, 4 : make mesh from object 1, 9 : delete object 9\n"
      "make object cube 9, 40 : make mesh from object 2, 9 : delete object 9\n"
      // A cube's own box and size take in the arm added beside it...
      "make object cube 1, 10 : add limb 1, 1, 1 : offset limb 1, 1, 20, 0, 0\n"
      "make object cube 2, 4 : position object 2, 20, 0, 0\n"
      "print int(object size x(1)); object collision(2, 1); object collision(1, 2)\n"
      // ...and the larger mesh it is given.
      "change limb mesh 1, 1, 2 : position object 2, 35, 0, 0\n"
      "print int(object size x(1)); object collision(2, 1)\n"
      // A ball tested by its polygons still is once it has a limb.
      "make object sphere 3, 10 : position object 3, 100, 0, 0\n"
      "set object collision to polygons 3 : add limb 3, 1, 1\n"
      "make object sphere 4, 1 : position object 4, 104.2, 4.2, 0\n"
      "print object collision(4, 3)\n"
      // A box given by the program still stands for it alone.
      "make object collision box 3, -5, -5, -5, 5, 5, 5, 1 : add limb 3, 2, 1 : offset limb 3, 2, 20, 0, 0\n"
      "position object 4, 122, 0, 0 : print object collision(4, 3)\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "2611\n451\n0\n0\n");
}

TEST_F(CollisionPrograms, BoxesStandAroundEachLimbWhereItIsDrawn) {
  // A door: a lintel with two posts as limbs.
  const std::string door =
      "make object box 9, 10, 40, 4 : make mesh from object 1, 9 : delete object 9\n"
      "make object box 1, 60, 4, 4 : add limb 1, 1, 1 : offset limb 1, 1, -25, -30, 0\n"
      "add limb 1, 2, 1 : offset limb 1, 2, 25, -30, 0\n";
  // A cube, a ball and a box of its own walk between the posts, then stand
  // in one; each answer both ways round.
  EngineRun walk = Run(door +
                       "make object cube 2, 8 : make object sphere 3, 8\n"
                       "make object cube 4, 2 : make object collision box 4, -4, -4, -4, 4, 4, 4, 0\n"
                       "for p = 2 to 4\n"
                       "  hits = 0\n"
                       "  for z = -30 to 30\n"
                       "    position object p, 0, -30, z\n"
                       "    if object collision(p, 1) + object collision(1, p) > 0 then hits = hits + 1\n"
                       "  next z\n"
                       "  position object p, 25, -30, 0\n"
                       "  print hits; object collision(p, 1); object collision(1, p); \" \";\n"
                       "  position object p, 1000, 0, 0\n"
                       "next p\n");
  EXPECT_EQ(walk.errors, "");
  EXPECT_EQ(walk.printed, "011 011 011 ");
  // A post hidden is out of the way until it is shown again.
  EXPECT_EQ(Run(door + "make object cube 2, 4 : position object 2, 25, -30, 0\n"
                       "hide limb 1, 2 : print object collision(2, 1); : show limb 1, 2 : print object collision(2, 1)\n")
                .printed,
            "01\n");
  // Placed, turned a quarter, scaled, or instanced elsewhere, the posts are
  // met where they are drawn.
  EngineRun placed = Run(door + "position object 1, 100, 30, 100\n"
                         "make object cube 2, 2 : instance object 1, 5 : position object 5, -100, 30, 100\n"
                         "rotate object 1, 0, 90, 0\n"
                         "position object 2, 100, 0, 75 : print object collision(2, 1);\n"
                         "position object 2, 125, 0, 100 : print object collision(2, 1);\n"
                         "rotate object 1, 0, 0, 0 : scale object 1, 200, 100, 100\n"
                         "position object 2, 150, 0, 100 : print object collision(2, 1);\n"
                         "position object 2, 125, 0, 100 : print object collision(2, 1);\n"
                         "position object 2, -75, 0, 100 : print object collision(2, 5);\n"
                         "position object 2, -100, 0, 100 : print object collision(2, 5)\n");
  EXPECT_EQ(placed.printed, "101010\n");
  // Turned about two axes, a rod is met where it is drawn, as its fitted
  // box in the collision library meets it.
  const std::string rod =
      "make object box 1, 40, 2, 2 : rotate object 1, 30, 45, 0 : make object cube 2, 2\n"
      "position object 2, 14.1, 7.07, -12.2 : print object collision(2, 1); object collision(1, 2);\n"
      "position object 2, 14.1, 0, -14.1 : print object collision(2, 1); object collision(1, 2)\n";
  EXPECT_EQ(Run(rod).printed, "1100\n");
  EXPECT_EQ(Run(rod + "set object collision to boxes 1\n" + rod.substr(rod.find("position"))).printed, "1100\n1100\n");
}

TEST_F(CollisionPrograms, AGluedObjectsBoxesTurnWithItsHolder) {
  // A blade 20 long hangs from a hand 10 out along its holder's x, the
  // holder turned a quarter: the blade runs along -z, from z -10 to -30.
  const std::string blade =
      "make object cube 9, 2 : make mesh from object 1, 9 : delete object 9\n"
      "make object box 1, 2, 2, 2 : add limb 1, 1, 1 : offset limb 1, 1, 10, 0, 0 : rotate object 1, 0, 90, 0\n"
      "make object box 2, 20, 1, 1 : glue object to limb 2, 1, 1 : position object 2, 10, 0, 0\n"
      "make object cube 3, 2\n";
  const std::string probe =
      "position object 3, 0, 0, -25 : print object collision(3, 2); object collision(2, 3);\n"
      "position object 3, 8, 0, -20 : print object collision(3, 2); object collision(2, 3)\n";
  EXPECT_EQ(Run(blade + probe).printed, "1100\n");
  // A box the program gave it, turning with it, turns with the holder too.
  EXPECT_EQ(Run(blade + "make object collision box 2, -10, -1, -1, 10, 1, 1, 1\n" + probe).printed, "1100\n");
  // The holder moved alone between two queries carries it along.
  EXPECT_EQ(Run("make object sphere 1, 2\nmake object sphere 2, 2 : glue object to limb 2, 1, 0\n"
                "position object 2, 10, 0, 0\nmake object sphere 3, 2 : position object 3, 30, 0, 0\n"
                "print object collision(3, 0);\nposition object 1, 20, 0, 0\n"
                "print object collision(3, 0); object collision(2, 3)\n")
                .printed,
            "021\n");
}

// Every `from` in the text replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Every command that places an object, by each name the command table
// gives it: the next collision query finds the object where the command put
// it, after a query that found it where it was. A bar 20 long along z stands
// at the origin among balls it misses: 2 at (0, 8, 0), 3 at (0, 0, 18) and
// 5 at (8, 0, 0) (which a bar along x meets).
TEST_F(CollisionPrograms, EveryPlacementCommandIsSeenByTheNextQuery) {
  struct Row {
    std::string setup, command;
    std::string answers;  // before and after
  };
  const std::string along_x = "delete object 1 : make object box 1, 20, 1, 1 : set object collision to boxes 1\n";
  const std::map<std::string, Row> rows = {
      {"position object", {"", "position object 1, 0, 0, 8", "03"}},
      {"rotate object", {"", "rotate object 1, 90, 0, 0", "02"}},
      {"x rotate object", {"", "x rotate object 1, 90", "02"}},
      {"y rotate object", {"", "y rotate object 1, 90", "05"}},
      {"z rotate object", {along_x, "z rotate object 1, 90", "52"}},
      {"scale object", {"", "scale object 1, 100, 100, 200", "03"}},
      {"set object rotation zyx", {"rotate object 1, 90, 90, 0\n", "set object rotation zyx 1", "52"}},
      {"set object rotation xyz",
       {"set object rotation zyx 1 : rotate object 1, 90, 90, 0\n", "set object rotation xyz 1", "25"}},
      {"turn object left", {"", "turn object left 1, 90", "05"}},
      {"turn object right", {"", "turn object right 1, 90", "05"}},
      {"pitch object up", {"", "pitch object up 1, 90", "02"}},
      {"pitch object down", {"", "pitch object down 1, 90", "02"}},
      {"roll object left", {along_x, "roll object left 1, 90", "52"}},
      {"roll object right", {along_x, "roll object right 1, 90", "52"}},
      {"set object to object orientation",
       {"make object cube 4, 1 : position object 4, 0, -50, 0 : x rotate object 4, 90\n",
        "set object to object orientation 1, 4", "02"}},
      {"set object to camera orientation", {"rotate camera 90, 0, 0\n", "set object to camera orientation 1", "02"}},
      {"point object", {"", "point object 1, 0, 100, 0", "02"}},
      {"move object", {"", "move object 1, 8", "03"}},
  };
  // Fixing the pivot keeps the object where it stands.
  const std::set<std::string> moving_nothing = {"fix object pivot"};
  std::ifstream table(SourcePath("compiler/commands.txt"));
  int checked = 0;
  for (std::string line; std::getline(table, line);) {
    const size_t mark = line.find('%');
    if (line.empty() || line[0] == ';' || mark == std::string::npos) continue;
    const int opcode = std::atoi(line.c_str() + mark + 1);
    const bool places = opcode == 7021 || opcode == 7022 || (opcode >= 7028 && opcode <= 7031) || opcode == 7036 ||
                        opcode == 7037 || (opcode >= 7251 && opcode <= 7258) || (opcode >= 7616 && opcode <= 7618);
    const std::string name = line.substr(0, mark);
    if (!places || moving_nothing.contains(name)) continue;
    SCOPED_TRACE(name);
    const auto row = rows.find(name);
    ASSERT_NE(row, rows.end()) << "a command that places an object has no row";
    const std::string program = "make object box 1, 1, 1, 20 : set object collision to boxes 1\n"
                                "make object sphere 2, 2 : position object 2, 0, 8, 0\n"
                                "make object sphere 3, 2 : position object 3, 0, 0, 18\n"
                                "make object sphere 5, 2 : position object 5, 8, 0, 0\n" +
                                row->second.setup + "print object collision(1, 0);\n" + row->second.command +
                                "\nprint object collision(1, 0)\n";
    EngineRun run = Run(program);
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(run.printed, row->second.answers + "\n");
    // By their own boxes: the bar as made, cubes for the balls.
    EXPECT_EQ(Run(Replaced(Replaced(program, " : set object collision to boxes 1", ""), "sphere", "cube")).printed,
              row->second.answers + "\n");
    ++checked;
  }
  EXPECT_EQ(checked, static_cast<int>(rows.size()));
}

// Objects of every kind that collides by boxes, moved, turned, scaled and
// posed one at a time, each asked about after its move: the answers, the
// corrections and what another asks about it are those given when
// everything was placed anew before the question (a switch of collision
// forces that).
TEST_F(CollisionPrograms, BoxQueriesAfterMovesAloneAnswerAsAfterEveryObjectIsPlacedAnew) {
  // A block with an arm 8 long beside it that swings up a quarter and
  // slides to the block's top from frame 0 to frame 10.
  auto cuboid = [](int x0, int y0, int z0, int x1, int y1, int z1) {
    std::string mesh = " Mesh { 8;";
    for (int corner = 0; corner < 8; ++corner)
      mesh += " " + std::to_string(corner & 1 ? x1 : x0) + ";" + std::to_string(corner & 2 ? y1 : y0) + ";" +
              std::to_string(corner & 4 ? z1 : z0) + (corner < 7 ? ";," : ";;");
    return mesh + "\n 12; 3;0,2,1;, 3;1,2,3;, 3;4,5,6;, 3;5,7,6;, 3;0,1,4;, 3;1,5,4;,\n"
                  " 3;2,6,3;, 3;3,6,7;, 3;0,4,2;, 3;2,4,6;, 3;1,3,5;, 3;3,7,5;; }\n";
  };
  const std::string arm = "Frame arm {\n FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 3,0,0,1;; }\n" +
                          cuboid(0, -1, -1, 8, 1, 1) + "}\n";
  std::ofstream(folder_ / "arm.x") << "xof 0302txt 0032\nFrame block {\n" + cuboid(-2, -2, -2, 2, 2, 2) + arm +
                                          "}\nAnimationSet swing { Animation { {arm}\n"
                                          " AnimationKey { 0; 2; 0;4;1,0,0,0;;, 10;4;0.70710678,0,0,-0.70710678;;; }\n"
                                          " AnimationKey { 2; 2; 0;3;3,0,0;;, 10;3;0,3,0;;; } } }\n";
  struct Row {
    const char* kind;
    const char* setup;  // objects 1 to 8
    bool animated;
  };
  const Row rows[] = {
      {"cubes", "for i = 1 to 8 : make object cube i, 6 : next i\n", false},
      {"boxes", "for i = 1 to 8 : make object box i, 12, 3, 5 : next i\n", false},
      {"balls, cones and cylinders given boxes, axis-aligned and turned",
       "for i = 1 to 8 step 3 : make object sphere i, 6 : make object cone i + 1, 6 : next i\n"
       "make object cylinder 3, 6 : make object cylinder 6, 6\n"
       "for i = 1 to 8 : make object collision box i, -3, -2, -5, 3, 2, 5, i - (i / 2) * 2 : next i\n",
       false},
      {"loaded models with limbs", "for i = 1 to 8 : load object \"arm.x\", i : next i\n", true},
      {"limbs added", "make object cube 9, 3 : make mesh from object 1, 9 : delete object 9\n"
       "for i = 1 to 8 : make object box i, 4, 4, 4 : add limb i, 1, 1 : offset limb i, 1, 6, 0, 0 : next i\n",
       false},
      {"glued", "for i = 1 to 8 : make object cube i, 5 : next i\n"
       "for i = 2 to 8 step 2 : glue object to limb i, i - 1, 0 : position object i, 6, 0, 0 : next i\n",
       false},
      {"instanced, the instances given boxes",
       "for i = 1 to 4 : load object \"arm.x\", i : instance object i, i + 4 : next i\n"
       "for i = 5 to 8 : make object collision box i, -3, -2, -5, 3, 2, 5, 1 : next i\n",
       true},
      {"moved to the static scene",
       "for i = 1 to 8 : make object cube i, 6 : next i\n"
       "move object to static scene 2 : move object to static scene 5\n",
       false},
  };
  uint32_t seed = 11;
  auto next = [&](uint32_t n) { return ((seed = seed * 1664525u + 1013904223u) >> 8 & 0xFFFF) % n; };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    std::string moves;
    for (int step = 0; step < 60; ++step) {
      const std::string n = std::to_string(1 + next(8)), other = std::to_string(1 + next(8));
      const uint32_t kind = next(row.animated ? 10 : 9);
      if (kind < 5)
        moves += "position object " + n + ", " + std::to_string(next(25)) + ", " + std::to_string(next(9)) + ", " +
                 std::to_string(next(5)) + "\n";
      else if (kind < 7)
        moves += "rotate object " + n + ", " + std::to_string(15 * next(24)) + ", " + std::to_string(15 * next(24)) +
                 ", 0\n";
      else if (kind < 9)
        moves += "scale object " + n + ", " + std::to_string(50 + next(100)) + ", 100, 100\n";
      else
        moves += "set object frame " + n + ", " + std::to_string(next(11)) + "\n";
      if (step % 10 == 9) moves += "sync\n";
      const std::string ask = "print object collision(" + n + ", 0); \" \"; object collision result x(); \" \";"
                              " object collision result z(); \" \"; object collision(" + other + ", " + n + ")\n";
      moves += ask;
    }
    const std::string setup = std::string(row.setup) + "make object cube 99, 1 : position object 99, 900, 0, 0\n";
    const EngineRun alone = Run(setup + moves);
    const EngineRun anew =
        Run(setup + Replaced(moves, "print object collision(", "enable object collision 99\nprint object collision("));
    EXPECT_EQ(alone.errors, "");
    EXPECT_EQ(alone.printed, anew.printed);
    int hits = 0;
    std::istringstream lines(alone.printed);
    for (std::string line; std::getline(lines, line);) hits += line.substr(0, 2) != "0 ";
    EXPECT_GT(hits, 10);
  }
}

TEST_F(CollisionPrograms, DeletedLockedAndSwitchedOffObjectsAreNeverHit) {
  EngineRun run = Run(
      "make object sphere 1, 10\n"
      "make object sphere 2, 10 : position object 2, 5, 0, 0\n"
      "make object sphere 3, 10 : position object 3, -5, 0, 0\n"
      "print object collision(1, 2); object collision(1, 3); object hit(2, 1)\n"
      "delete object 2\n"
      "print object collision(1, 2); object collision(3, 0)\n"
      "lock object 3\n"
      "print object collision(1, 3); object collision(1, 0); object collision(3, 0)\n"
      // What hangs from a locked object stands out with it.
      "make object sphere 4, 10 : glue object to limb 4, 3, 0\n"
      "print object collision(1, 4); object collision(4, 0); object collision(1, 0)\n"
      "delete object 4\n"
      "unlock object 3 : disable object collision 3\n"
      "print object collision(1, 3); object collision(1, 0)\n"
      "enable object collision 3\n"
      "print object collision(1, 3)\n"
      // A new object in the deleted one's record starts afresh.
      "make object sphere 2, 10 : position object 2, 200, 0, 0\n"
      "print object collision(1, 2)\n"
      // Its first contact is news, whatever the deleted object had seen.
      "position object 2, 5, 0, 0\n"
      "print object hit(2, 1); object hit(2, 1)\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "111\n01\n000\n000\n00\n1\n0\n10\n");
}

TEST_F(CollisionPrograms, OwnBoxesMeetTurnedAndAxisAlignedBoxesGiveACorrection) {
  EngineRun run = Run(
      // Cubes test by their own boxes, turned with the objects.
      "make object cube 1, 10\n"
      "make object cube 2, 10 : position object 2, 12, 0, 0\n"
      "print object collision(1, 2); object collision(1, 0)\n"
      "rotate object 2, 0, 45, 0\n"
      "print object collision(1, 2); object collision(1, 0)\n"
      // A cube's box grows with the cube.
      "rotate object 2, 0, 0, 0 : scale object 1, 300, 300, 300\n"
      "print object collision(1, 2)\n"
      "scale object 1, 100, 100, 100\n"
      // Boxes given by the program, the second asking for a correction.
      "make object collision box 1, -5, -5, -5, 5, 5, 5, 0\n"
      "make object collision box 2, -5, -5, -5, 5, 5, 5, 0\n"
      "rotate object 2, 0, 0, 0 : position object 2, 0, 0, 0\n"
      "position object 1, -20, 0, 0\n"
      "sync\n"
      "position object 1, -8, 0, 0\n"
      "print object collision(1, 2); object collision result x(); object collision result y();"
      " object collision result z()\n"
      // Touching faces do not meet; a miss clears the correction.
      "position object 1, -10, 0, 0\n"
      "print object collision(1, 2); object collision result x()\n"
      // Without its own box, a sphere is tested by its shape again.
      "make object sphere 3, 10 : position object 3, 0, 30, 0\n"
      "make object sphere 4, 10 : position object 4, 7, 30, 0\n"
      "make object collision box 3, -1, -1, -1, 1, 1, 1, 0\n"
      "print object collision(3, 4); object collision(4, 0)\n"
      "delete object collision box 3\n"
      "print object collision(3, 4); object collision(4, 0)\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "00\n12\n1\n1200\n00\n00\n13\n");
}

TEST_F(CollisionPrograms, ABoxAndABallAnswerAlikeAboutEachOther) {
  EngineRun run = Run(
      // The cube tests by its box, the ball and the cone by their shapes.
      "make object cube 1, 10\n"
      "make object sphere 2, 10 : position object 2, 0, 0, 8\n"
      "make object cone 3, 10 : position object 3, 30, 0, 0\n"
      "print object collision(1, 2); object collision(2, 1); object collision(1, 0); object hit(1, 2)\n"
      "position object 2, 0, 0, 50 : position object 3, 8, 0, 0\n"
      "print object collision(1, 2); object collision(1, 3); object collision(3, 1); object collision(1, 0)\n"
      // Switched off and on again, the cube is met by the cone once more.
      "disable object collision 1 : enable object collision 1\n"
      "print object collision(1, 3); object collision(3, 1)\n"
      // A box made for the cube takes the place of its shapes: the cone
      // meets it, and a ball inside it but clear of the cube does.
      "make object collision box 1, -20, -5, -5, 5, 5, 5, 0\n"
      "disable object collision 1 : enable object collision 1\n"
      "make object sphere 4, 2 : position object 4, -15, 0, 0\n"
      "print object collision(1, 3); object collision(3, 1); object collision(4, 1); object collision(1, 4);"
      " object collision(4, 0)\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "1121\n0113\n11\n11111\n");
}

// Object 1 crosses object 2 along x, one step a frame; prints each change
// of both "any object" answers, then how often object hit reported.
std::string CrossingProgram(const std::string& setup, const std::string& move) {
  return "sync rate 0\n" + setup +
         "last$ = \"\" : hits = 0\n"
         "for x = -40 to 40 step 2\n" +
         move +
         "  sync\n"
         "  now$ = str$(object collision(1, 0)) + \",\" + str$(object collision(2, 0))\n"
         "  if now$ <> last$ then print now$; \" \"; : last$ = now$\n"
         "  if object hit(1, 0) > 0 then hits = hits + 1\n"
         "next x\n"
         "print \"/\"; hits\n";
}

TEST_F(CollisionPrograms, MovingObjectsMeetAndPartInEveryMode) {
  // Two spheres moving towards each other and on past.
  EngineRun spheres = Run(CrossingProgram("make object sphere 1, 10 : make object sphere 2, 10\n",
                                          "  position object 1, x, 0, 0 : position object 2, 0 - x, 0, 0\n"));
  EXPECT_EQ(spheres.errors, "");
  EXPECT_EQ(spheres.printed, "0,0 2,1 0,0 /1\n");
  // A sphere passing a turned box, by fitted spheres, fitted boxes and the
  // box's own triangles.
  const std::string pass = "  position object 1, x, 0, 0\n";
  for (const char* mode : {"spheres", "boxes", "polygons"}) {
    EngineRun run = Run(CrossingProgram("make object sphere 1, 10\n"
                                        "make object box 2, 20, 10, 10 : rotate object 2, 0, 45, 0\n"
                                        "set object collision to " + std::string(mode) + " 1\n"
                                        "set object collision to " + std::string(mode) + " 2\n",
                                        pass));
    EXPECT_EQ(run.errors, "") << mode;
    EXPECT_EQ(run.printed, "0,0 2,1 0,0 /1\n") << mode;
  }
  // Turned, the box's corner reaches a sphere that its face would not.
  const std::string at_edge = "make object sphere 1, 10 : position object 1, -15.3, 0, 3.54\n"
                              "make object box 2, 20, 10, 10 : set object collision to polygons 2\n";
  EXPECT_EQ(Run(at_edge + "print object collision(1, 2)\n").printed, "0\n");
  EXPECT_EQ(Run(at_edge + "rotate object 2, 0, 45, 0 : print object collision(1, 2)\n").printed, "1\n");
}

TEST_F(CollisionPrograms, StaticBoxesPushBackAndStopLinesAlsoAroundACopiedModel) {
  EngineRun run = Run(
      "make static collision box 20, -10, -10, 30, 10, 10\n"
      // A box coming down onto the top is pushed back up.
      "print static box collision(22, 12, -1, 24, 14, 1, 22, 9, -1, 24, 11, 1); \" \"; static box result x(); \",\";"
      " static box result y(); \",\"; static box result z()\n"
      "print static line collision(0, 0, 0, 100, 0, 0, 1, 1); \" \"; static line result x(); \",\";"
      " static line result y(); \",\"; static line result z()\n"
      // A level model copied into the scene, with a collision box around it.
      "load object \"square.x\", 1 : position object 1, 0, 0, 50\n"
      "copy object to static scene 1\n"
      "x# = object position x(1) : y# = object position y(1) : z# = object position z(1)\n"
      "w# = object size x(1) / 2 : h# = object size y(1) / 2\n"
      "make static collision box x# - w#, y# - h#, z# - 1, x# + w#, y# + h#, z# + 1\n"
      "delete object 1\n"
      "print static line collision(2, 3, 0, 2, 3, 100, 0.5, 1); \" \"; static line result x(); \",\";"
      " static line result y(); \",\"; static line result z()\n"
      // Beside the model the line runs free and stops nowhere.
      "print static line collision(9, 3, 0, 9, 3, 100, 0.5, 1); \" \"; static line result z()\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "1 0,-1,0\n1 18,0,0\n1 2,3,48\n0 0\n");
}

TEST_F(CollisionPrograms, TheFollowingCameraStopsAtAStaticWall) {
  // Object at the origin looking along +z; the camera wants to be 100
  // behind it, but a wall stands from z -50 to -40.
  const std::string follow = "make object sphere 1, 10\n"
                             "lowest# = 0\n"
                             "for i = 1 to 60\n"
                             "  set camera to follow 0, 0, 0, 0, 100, 0, 2, radius\n"
                             "  if camera position z() < lowest# then lowest# = camera position z()\n"
                             "next i\n"
                             "print int(lowest#); \" \"; int(camera position z()); \" \"; static box result z()\n";
  EngineRun walled = Run("make static collision box -100, -100, -50, 100, 100, -40\nradius = 5\n" + follow);
  EXPECT_EQ(walled.errors, "");
  // Stopped before the wall, pushed back by the box around the camera.
  EXPECT_EQ(walled.printed, "-30 -30 -4\n");
  // Without a radius, or without the wall, it goes all the way.
  EXPECT_EQ(Run("make static collision box -100, -100, -50, 100, 100, -40\nradius = 0\n" + follow).printed,
            "-100 -100 0\n");
  EXPECT_EQ(Run("radius = 5\n" + follow).printed, "-100 -100 0\n");
  // Steeply up behind the object, under a thin ceiling: it stays below.
  EXPECT_EQ(Run("make static collision box -100, 20, -100, 100, 21, 100\n"
                "set camera to follow 0, 0, 0, 0, 5, 60, 1, 2\n"
                "print camera position y()\n")
                .printed,
            "17\n");
}

TEST_F(CollisionPrograms, AGluedObjectCollidesWhereItIsDrawn) {
  // A sword in the hand of a hidden holder far from the world's origin.
  const std::string sword =
      "make object cube 1, 10 : position object 1, 100, 0, 100 : hide object 1\n"
      "make object box 2, 1, 1, 12 : glue object to limb 2, 1, 0 : position object 2, 8, 0, 6\n"
      "make object sphere 3, 6 : position object 3, 108, 0, 112\n"
      "print object collision(2, 3); object collision(3, 0)\n"
      "set object collision to spheres 2\nprint object collision(2, 3)\n"
      "position object 3, 8, 0, 6\nprint object collision(2, 3); object collision(3, 0)\n";
  EXPECT_EQ(Run(sword).printed, "12\n1\n00\n");
}

TEST_F(CollisionPrograms, TheQueriesCheckTheirFirstObject) {
  EXPECT_NE(Run("print object collision(0, 0)\n").errors.find("Object number out of range"), std::string::npos);
  EXPECT_NE(Run("print object hit(4, 0)\n").errors.find("Object does not exist"), std::string::npos);
}

}  // namespace
}  // namespace zv::test
