#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <vector>

#include "tests/engine3d/engine_run.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

// The numbers a program printed, one a line.
std::vector<double> Numbers(const std::string& printed) {
  std::vector<double> values;
  std::istringstream lines(printed);
  for (std::string line; std::getline(lines, line);) values.push_back(std::stod(line));
  return values;
}

class QueryPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_engine3d_queries_" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  EngineRun Run(const std::string& body) {
    return RunEngineProgram("sync on\nhide mouse\ndisable auto camera\n" + body + "end\n", folder_.string());
  }
  // The values printed by a program that must end cleanly.
  std::vector<double> Values(const std::string& body) {
    EngineRun run = Run(body);
    EXPECT_EQ(run.errors, "");
    return Numbers(run.printed);
  }

  fs::path folder_;
};

TEST_F(QueryPrograms, ObjectsAndMeshesAreFoundByNumber) {
  EXPECT_EQ(Values("make object cube 1, 10\nmake mesh from object 1, 1\n"
                   "print object exist(1)\nprint object exist(2)\nprint object exist(65535)\n"
                   "print mesh exist(1)\nprint mesh exist(2)\nprint mesh exist(65534)\n"),
            (std::vector<double>{1, 0, 0, 1, 0, 0}));
}

TEST_F(QueryPrograms, PlacementAndVisibilityReadBack) {
  EXPECT_EQ(Values("make object cube 1, 10\nposition object 1, 1.5, -2, 3\nrotate object 1, 360, 90, 45.5\n"
                   "print object position x(1)\nprint object position y(1)\nprint object position z(1)\n"
                   "print object angle x(1)\nprint object angle y(1)\nprint object angle z(1)\n"
                   "print object visible(1)\nhide object 1\nprint object visible(1)\n"),
            (std::vector<double>{1.5, -2, 3, 0, 90, 45.5, 1, 0}));
}

TEST_F(QueryPrograms, BoundsAndSizeComeFromTheModel) {
  // A box of 10 x 6 x 4: its corners lie sqrt(38) = 6.16 from its centre.
  EXPECT_EQ(Values("make object box 1, 10, 6, 4\n"
                   "print object size x(1)\nprint object size y(1)\nprint object size z(1)\n"
                   "print object bound radius(1)\nprint object cull radius(1)\n"
                   "print object bound centre x(1)\nprint object bound centre y(1)\nprint object bound centre z(1)\n"),
            (std::vector<double>{10, 6, 4, 7, 7, 0, 0, 0}));
  // A cube of 4 as a limb 20 units out: the vertices' centre moves half way
  // (both cubes have as many vertices); the sphere around it reaches the
  // big cube's far corners (16.58), the one around the origin the limb's
  // (22.18).
  const std::string made =
      "make object cube 9, 4 : make mesh from object 1, 9 : delete object 9\nmake object cube 1, 10\n";
  const std::string limb = "add limb 1, 1, 1\noffset limb 1, 1, 20, 0, 0\n"
                           "print object bound centre x(1)\nprint object bound radius(1)\nprint object cull radius(1)\n"
                           "print int(object size x(1))\n";
  const std::vector<double> v = Values(made + limb);
  ASSERT_EQ(v.size(), 4u);
  EXPECT_NEAR(v[0], 10, 0.02);
  EXPECT_EQ(v[1], 17);
  EXPECT_EQ(v[2], 23);
  EXPECT_EQ(v[3], 26);
  // They are the object's own, wherever it stands and however it is turned.
  EXPECT_EQ(Values(made + "position object 1, 100, 50, 0 : rotate object 1, 0, 45, 0\n" + limb), v);
}

TEST_F(QueryPrograms, ScreenPlaceOfAnObject) {
  // 40 units before the camera, 10 to the right: x = (1 + 10 / 40 x 1.2490)
  // x 320. Far to the side 50 units away: outside the screen.
  const std::vector<double> v = Values(
      "make object cube 1, 10\nposition camera 0, 0, -40\n"
      "print object screen x(1)\nprint object screen y(1)\nprint object in screen(1)\n"
      "position object 1, 10, 5, 0\nprint object screen x(1)\nprint object screen y(1)\n"
      "position object 1, 100, 0, 10\nprint object in screen(1)\n");
  ASSERT_EQ(v.size(), 6u);
  EXPECT_EQ(v[0], 320);
  EXPECT_EQ(v[1], 240);
  EXPECT_EQ(v[2], 1);
  EXPECT_NEAR(v[3], 320 + 10 / 40.0 * 1.2490 * 320, 1);
  EXPECT_NEAR(v[4], 240 - 5 / 40.0 * 1.6653 * 240, 1);
  EXPECT_EQ(v[5], 0);
  // In a view of the screen's top left quarter; glued 5 above that place;
  // locked to the camera 40 before it, whichever way the camera looks, and
  // glued 10 above that (a flash on a gun), with it.
  const std::vector<double> w = Values(
      "make object cube 1, 10\nposition camera 0, 0, -40\nset camera view 0, 0, 320, 240\n"
      "position object 1, 10, 5, 0\n"
      "make object cube 2, 2 : glue object to limb 2, 1, 0 : position object 2, 0, 5, 0\n"
      "make object cube 3, 2 : position object 3, 0, 0, 40 : lock object 3\n"
      "make object cube 4, 1 : glue object to limb 4, 3, 0 : position object 4, 0, 10, 0\n"
      "print object screen x(1)\nprint object screen y(1)\nprint object screen y(2)\n"
      "position camera 0, 0, 500\n"
      "print object screen x(3)\nprint object screen y(3)\nprint object in screen(3)\nprint object in screen(2)\n"
      "print object in screen(4)\nprint object screen x(4)\nprint object screen y(4)\n"
      // Unglued, it stays in the world where it was seen.
      "unglue object 4\nprint object in screen(4)\nprint object screen y(4)\n");
  ASSERT_EQ(w.size(), 12u);
  EXPECT_NEAR(w[0], v[3] / 2, 1);
  EXPECT_NEAR(w[1], v[4] / 2, 1);
  EXPECT_NEAR(w[2], 120 - 10 / 40.0 * 1.6653 * 120, 1);
  EXPECT_EQ(w[3], 160);
  EXPECT_EQ(w[4], 120);
  EXPECT_EQ(w[5], 1);
  EXPECT_EQ(w[6], 0);
  EXPECT_EQ(w[7], 1);
  EXPECT_EQ(w[8], 160);
  EXPECT_NEAR(w[9], 120 - 10 / 40.0 * 1.6653 * 120, 1);
  EXPECT_EQ(w[10], 1);
  EXPECT_NEAR(w[11], w[9], 1);
}

TEST_F(QueryPrograms, StatisticsCountTrianglesAndReportTheDevice) {
  const std::vector<double> v = Values(
      "make object cube 1, 10\nposition camera 0, 0, -40\nsync\n"
      "print statistic(1)\nprint statistic(0)\nprint statistic(5)\nprint statistic(2)\nprint statistic(3)\n"
      "print statistic(4)\n");
  ASSERT_EQ(v.size(), 6u);
  EXPECT_EQ(v[0], 12);  // the cube's triangles in the last frame
  EXPECT_EQ(v[1], 0);
  EXPECT_EQ(v[2], 0);
  EXPECT_TRUE(v[3] == 0 || v[3] == 1);
  EXPECT_TRUE(v[4] == 0 || v[4] == 1);
  EXPECT_EQ(v[5], 0);
}

TEST_F(QueryPrograms, LightQueriesReadTheLightOrTheDefaultLight) {
  const std::vector<double> v = Values(
      "print light exist(0)\nprint light exist(1)\nprint light type(0)\nprint light type(9)\n"
      "print light direction x(9)\nprint light direction y(9)\nprint light direction z(9)\n"
      "make light 1\nprint light exist(1)\nprint light type(1)\nprint light range(1)\n"
      "set point light 1, 1, 2, 3\nprint light position x(1)\nprint light position y(1)\n"
      "print light position z(1)\nset spot light 1, 10, 20\nprint light type(1)\n"
      "print light visible(1)\nhide light 1\nprint light visible(1)\nset light range 1, 500\n"
      "print light range(1)\na = 5\na = light exist(70000)\nprint a\nb# = 2.5\nb# = light range(-1)\nprint b#\n");
  ASSERT_EQ(v.size(), 19u);
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[1], 0);
  EXPECT_EQ(v[2], 3);
  EXPECT_EQ(v[3], 3);
  EXPECT_NEAR(v[4], 0.2, 1e-6);
  EXPECT_NEAR(v[5], -0.7, 1e-6);
  EXPECT_NEAR(v[6], 0.1, 1e-6);
  EXPECT_EQ(v[7], 1);
  EXPECT_EQ(v[8], 1);
  EXPECT_EQ(v[9], 3000);
  EXPECT_EQ(v[10], 1);
  EXPECT_EQ(v[11], 2);
  EXPECT_EQ(v[12], 3);
  EXPECT_EQ(v[13], 2);
  EXPECT_EQ(v[14], 1);
  EXPECT_EQ(v[15], 0);
  EXPECT_EQ(v[16], 500);
  // Numbers outside 0..65535 leave the result as it was, without an error.
  EXPECT_EQ(v[17], 5);
  EXPECT_EQ(v[18], 2.5);
}

TEST_F(QueryPrograms, MathsFunctionsStepAndEaseInDegrees) {
  const std::vector<double> v = Values(
      "print curve value(10, 0, 2)\nprint curve value(10, 0, 1)\nprint curve value(-4, 4, 4)\n"
      "print wrap value(-30)\nprint wrap value(720)\nprint wrap value(36500)\n"
      "print new x value(0, 180, 1000)\nprint new z value(0, 90, 1000)\nprint new y value(5, 180, 1000)\n"
      "print new x value(0, 90, 10)\nprint new z value(2, 0, 10)\n"
      "print curve angle(10, 350, 2)\nprint curve angle(350, 10, 2)\nprint curve angle(90, 0, 3)\n"
      "print curve angle(-10, 20, 2)\nprint curve angle(200, 10, 1)\n");
  ASSERT_EQ(v.size(), 16u);
  EXPECT_EQ(v[0], 5);
  EXPECT_EQ(v[1], 10);
  EXPECT_EQ(v[2], 2);
  EXPECT_EQ(v[3], 330);
  EXPECT_EQ(v[4], 0);
  EXPECT_EQ(v[5], 140);  // any finite angle is wrapped
  // A heading of 180 or 90 moves along one axis alone.
  EXPECT_EQ(v[6], 0);
  EXPECT_EQ(v[7], 0);
  EXPECT_EQ(v[8], 5);
  EXPECT_EQ(v[9], 10);
  EXPECT_EQ(v[10], 12);
  EXPECT_EQ(v[11], 0);  // through 360, not back through 180
  EXPECT_EQ(v[12], 0);  // down through 0
  EXPECT_EQ(v[13], 30);
  EXPECT_EQ(v[14], 5);
  EXPECT_EQ(v[15], 200);
}

TEST_F(QueryPrograms, MatrixQueriesReadTheGridAndItsGround) {
  // A 2 x 2 grid over 20 x 20; the middle point raised to 10.
  const std::vector<double> v = Values(
      "make matrix 1, 20, 20, 2, 2\nset matrix height 1, 1, 1, 10\n"
      "print matrix exist(1)\nprint matrix exist(2)\nprint matrix wireframe(1)\n"
      "disable matrix wireframe 1\nprint matrix wireframe(1)\n"
      "print matrix tile height(1, 1, 1)\nprint matrix tile height(1, 2, 2)\n"
      "position matrix 1, 1, -2, 3.5\nprint matrix position x(1)\nprint matrix position y(1)\n"
      "print matrix position z(1)\nprint matrix textured(1)\nprint matrix texture tile count(1)\n"
      "print matrix ground height(1, 10, 10)\nprint matrix ground height(1, 5, 5)\n"
      "print matrix ground height(1, -1, 5)\nprint matrix ground height(1, 5, 20.5)\n"
      "print matrix ground height(1, 20, 20)\n");
  EXPECT_EQ(v, (std::vector<double>{1, 0, 1, 0, 10, 0, 1, -2, 3.5, 0, 0, 10, 5, 0, 0, 0}));
}

struct ErrorCase {
  const char* program;
  const char* text;
};

TEST_F(QueryPrograms, QueriesRaiseTheObjectMeshAndMatrixErrors) {
  const ErrorCase cases[] = {
      {"print mesh exist(65535)\n", "Mesh number out of range"},
      {"print mesh exist(0)\n", "Mesh number out of range"},
      {"print object exist(0)\n", "Object number out of range"},
      {"print object exist(65536)\n", "Object number out of range"},
      {"print object position x(3)\n", "Object does not exist"},
      {"print object angle y(70000)\n", "Object number out of range"},
      {"print object visible(2)\n", "Object does not exist"},
      {"print object size z(2)\n", "Object does not exist"},
      {"print object screen x(2)\n", "Object does not exist"},
      {"print object bound radius(0)\n", "Object number out of range"},
      {"print matrix exist(0)\n", "Matrix number out of range"},
      {"print matrix wireframe(65536)\n", "Matrix number out of range"},
      {"print matrix position x(1)\n", "Matrix does not exist"},
      {"print matrix ground height(2, 0, 0)\n", "Matrix does not exist"},
      {"make matrix 1, 20, 20, 2, 2\nprint matrix tile height(1, 3, 0)\n", "Matrix grid position out of range"},
      {"make matrix 1, 20, 20, 2, 2\nprint matrix tile height(1, 0, -1)\n", "Matrix grid position out of range"},
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
