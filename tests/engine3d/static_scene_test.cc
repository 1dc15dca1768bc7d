// The static scene's lists without a display: polygons made from mesh
// data, containers of owned geometry, the collision tests, and the file.
#include "engine3d/scene/static_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "engine3d/scene/static_scene_file.h"

namespace zv {
namespace {

// Mesh data held together: positions, then faces of (vertex, normal) pairs.
struct Mesh {
  std::vector<float> positions, normals, uv;
  std::vector<uint32_t> faces;
  uint32_t face_count = 0;

  Mesh& Vertex(float x, float y, float z) {
    positions.insert(positions.end(), {x, y, z});
    normals.insert(normals.end(), {0, 0, -1});
    uv.insert(uv.end(), {x, y});
    return *this;
  }
  Mesh& Face(std::initializer_list<uint32_t> corners) {
    faces.push_back(static_cast<uint32_t>(corners.size()));
    for (uint32_t c : corners) faces.insert(faces.end(), {c, c});
    ++face_count;
    return *this;
  }
  StaticMeshData Data() const { return StaticMeshData{positions, normals, uv, faces, face_count}; }
};

// A square of side 2 x size around (cx, cy, cz), facing -z.
Mesh Square(float cx, float cy, float cz, float size) {
  Mesh m;
  m.Vertex(cx - size, cy - size, cz).Vertex(cx - size, cy + size, cz).Vertex(cx + size, cy + size, cz);
  m.Vertex(cx + size, cy - size, cz).Face({0, 1, 2, 3});
  return m;
}

StaticPieceMode Owned(int32_t owner) {
  StaticPieceMode mode;
  mode.owner = owner;
  return mode;
}

TEST(StaticPolygons, FacesBecomeFansOfTriangles) {
  Mesh m;
  for (int i = 0; i < 5; ++i) m.Vertex(static_cast<float>(i), 0, 0);
  m.Face({0, 1, 2, 3}).Face({4, 3, 2, 1, 0});
  std::unique_ptr<StaticPolygon> p = MakeStaticPolygon(m.Data(), {});
  ASSERT_NE(p, nullptr);
  const std::vector<uint16_t> expected{0, 1, 2, 0, 2, 3, 4, 3, 2, 4, 2, 1, 4, 1, 0};
  EXPECT_EQ(p->indices, expected);
  ASSERT_EQ(p->vertices.size(), 5u);
  EXPECT_EQ(p->vertices[3].x, 3.0f);
  EXPECT_EQ(p->vertices[3].nz, -1.0f);
  EXPECT_EQ(p->vertices[3].u, 3.0f);
}

TEST(StaticPolygons, TheSphereAndHeightExtentComeFromThePositions) {
  Mesh m;
  m.Vertex(0, 0, 0).Vertex(4, 0, 0).Vertex(4, 6, 0).Vertex(0, 6, 0).Face({0, 1, 2});
  StaticPieceMode mode;
  mode.second = true;
  std::unique_ptr<StaticPolygon> p = MakeStaticPolygon(m.Data(), mode);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->centre, (Vector3f{2, 3, 0}));
  // The corners lie sqrt(13) from the centre; the lowest 3 below it.
  EXPECT_FLOAT_EQ(p->radius, 1.25f * std::sqrt(13.0f));
  EXPECT_FLOAT_EQ(p->height_extent, 0.5f * 3.0f + 0.5f * std::sqrt(13.0f));
  EXPECT_EQ(p->height_extent_in_use, 1);
  EXPECT_EQ(p->has_occluder_box, 0);
}

TEST(StaticPolygons, GeometryThatCannotBeDrawnIsRefused) {
  EXPECT_EQ(MakeStaticPolygon(Mesh().Data(), {}), nullptr);
  Mesh beyond;
  beyond.Vertex(0, 0, 0).Vertex(1, 0, 0).Vertex(0, 1, 0).Face({0, 1, 3});
  EXPECT_EQ(MakeStaticPolygon(beyond.Data(), {}), nullptr);
  Mesh short_face;
  short_face.Vertex(0, 0, 0).Vertex(1, 0, 0).Vertex(0, 1, 0);
  short_face.faces = {3, 0, 0, 1};
  short_face.face_count = 1;
  EXPECT_EQ(MakeStaticPolygon(short_face.Data(), {}), nullptr);
}

TEST(StaticPolygons, AnOccluderBoxHugsTheGeometryAndAnOccluderOnlyDropsIt) {
  Mesh cube;
  for (int k = 0; k < 8; ++k) cube.Vertex(k & 4 ? 11.0f : 9.0f, k & 2 ? 1.0f : -1.0f, k & 1 ? 3.0f : -3.0f);
  cube.Face({0, 1, 2});
  StaticPieceMode mode;
  mode.occluder = true;
  std::unique_ptr<StaticPolygon> p = MakeStaticPolygon(cube.Data(), mode);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->has_occluder_box, 1);
  EXPECT_EQ(p->geometry_dropped, 0);
  for (int k = 0; k < 8; ++k)
    EXPECT_EQ(p->occluder_box[static_cast<size_t>(k)],
              (Vector3f{k & 4 ? 1.0f : -1.0f, k & 2 ? 1.0f : -1.0f, k & 1 ? 3.0f : -3.0f}))
        << k;
  mode.second = true;
  p = MakeStaticPolygon(cube.Data(), mode);
  EXPECT_EQ(p->geometry_dropped, 1);
  EXPECT_TRUE(p->vertices.empty());
  EXPECT_TRUE(p->indices.empty());
  EXPECT_EQ(p->height_extent_in_use, 0);
}

TEST(StaticPolygons, AFlatOccluderTakesItsOnlySideOnTheEmptyAxis) {
  // Every vertex lies on the high z side of the mean (z equal): the low z
  // side got no pick and takes the high side's value.
  std::unique_ptr<StaticPolygon> p = MakeStaticPolygon(Square(0, 0, 5, 2).Data(), StaticPieceMode{true});
  ASSERT_NE(p, nullptr);
  for (const Vector3f& corner : p->occluder_box) {
    EXPECT_EQ(corner.z, 0.0f);
    EXPECT_EQ(std::fabs(corner.x), 2.0f);
    EXPECT_EQ(std::fabs(corner.y), 2.0f);
  }
}

TEST(StaticScenes, OwnedGeometryFollowsTheNearestOwnerlessPolygonHoldingIt) {
  StaticScene scene;
  bool made = false;
  AddStaticPolygon(scene, 0, MakeStaticPolygon(Square(0, 0, 0, 100).Data(), {}), &made);
  EXPECT_TRUE(made);
  AddStaticPolygon(scene, 3, MakeStaticPolygon(Square(10, 0, 0, 20).Data(), {}), &made);
  EXPECT_TRUE(made);
  const StaticPolygon* big = scene.groups[0].polygons[0].get();
  const StaticPolygon* small = scene.groups[1].polygons[0].get();
  // Inside both: the nearer centre wins.
  AddStaticPolygon(scene, 3, MakeStaticPolygon(Square(12, 0, 0, 1).Data(), Owned(5)), &made);
  EXPECT_FALSE(made);
  EXPECT_EQ(scene.groups[1].polygons[1]->container, small);
  // Only inside the big one.
  AddStaticPolygon(scene, 0, MakeStaticPolygon(Square(-80, 0, 0, 1).Data(), Owned(5)), &made);
  EXPECT_EQ(scene.groups[0].polygons[1]->container, big);
  // In none; and far to -x owned geometry looks for no container at all.
  AddStaticPolygon(scene, 0, MakeStaticPolygon(Square(500, 0, 0, 1).Data(), Owned(6)), &made);
  EXPECT_EQ(scene.groups[0].polygons[2]->container, nullptr);
  AddStaticPolygon(scene, 0, MakeStaticPolygon(Square(-6000, 0, 0, 1).Data(), Owned(6)), &made);
  EXPECT_EQ(scene.groups[0].polygons[3]->container, nullptr);

  RemoveStaticGeometryOf(scene, 5);
  EXPECT_EQ(scene.groups[0].polygons.size(), 3u);
  EXPECT_EQ(scene.groups[1].polygons.size(), 1u);
  RemoveStaticGeometryOf(scene, 0);  // ownerless geometry is not anyone's
  EXPECT_EQ(scene.groups[0].polygons.size(), 3u);
}

class StaticCollision : public ::testing::Test {
 protected:
  StaticCollision() { AddStaticBox(scene, Vector3f{0, 0, 0}, Vector3f{10, 10, 10}); }
  StaticScene scene;
};

TEST_F(StaticCollision, ABoxIsPushedOutAlongTheFaceItCameFrom) {
  Vector3f push{9, 9, 9};
  EXPECT_EQ(StaticBoxCollision(StaticScene{}, {}, {}, {}, {}, &push), 0);
  EXPECT_EQ(push, (Vector3f{}));
  // Coming from -x, the box went 1 into the face at x 0.
  EXPECT_EQ(StaticBoxCollision(scene, {-3, 4, 4}, {-1, 6, 6}, {-1, 4, 4}, {1, 6, 6}, &push), 1);
  EXPECT_EQ(push, (Vector3f{1, 0, 0}));
  // Touching counts (closed intervals); coming from +z.
  EXPECT_EQ(StaticBoxCollision(scene, {4, 4, 12}, {6, 6, 14}, {4, 4, 10}, {6, 6, 12}, &push), 1);
  EXPECT_EQ(push, (Vector3f{0, 0, 0}));
  // A second box overwrites what the first set on the same axis.
  AddStaticBox(scene, Vector3f{-1, 0, 20}, Vector3f{10, 10, 30});
  EXPECT_EQ(StaticBoxCollision(scene, {-5, 4, 4}, {-1, 6, 26}, {-2, 4, 4}, {2, 6, 26}, &push), 1);
  EXPECT_EQ(push.x, 3.0f);
}

TEST_F(StaticCollision, AMovingCubeStopsOneStepBeforeItsContact) {
  Vector3f stop;
  // Along x from -20: contact when the cube's face reaches x 0, at -1.
  EXPECT_EQ(StaticLineCollision(scene, {-20, 5, 5}, {20, 5, 5}, 1, 1, &stop), 1);
  EXPECT_EQ(stop, (Vector3f{-2, 5, 5}));
  // A step of 0 counts as 1; a step of 2 walks twice as far per step.
  EXPECT_EQ(StaticLineCollision(scene, {-20, 5, 5}, {20, 5, 5}, 1, 0, &stop), 1);
  EXPECT_EQ(stop, (Vector3f{-2, 5, 5}));
  EXPECT_EQ(StaticLineCollision(scene, {-20, 5, 5}, {20, 5, 5}, 1, 2, &stop), 1);
  EXPECT_EQ(stop, (Vector3f{-2, 5, 5}));
  // Nothing met: the start.
  EXPECT_EQ(StaticLineCollision(scene, {-20, 5, 30}, {20, 5, 30}, 1, 1, &stop), 0);
  EXPECT_EQ(stop, (Vector3f{-20, 5, 30}));
  // Starting inside a box: the start, though a later box was met.
  AddStaticBox(scene, Vector3f{20, 0, 0}, Vector3f{30, 10, 10});
  EXPECT_EQ(StaticLineCollision(scene, {5, 5, 5}, {40, 5, 5}, 1, 1, &stop), 1);
  EXPECT_EQ(stop, (Vector3f{5, 5, 5}));
  // Measured along y too: straight down onto the top.
  EXPECT_EQ(StaticLineCollision(scene, {5, 30, 5}, {5, -30, 5}, 1, 1, &stop), 1);
  EXPECT_EQ(stop, (Vector3f{5, 12, 5}));
  // A walk of absurdly many steps ends all the same.
  EXPECT_EQ(StaticLineCollision(scene, {-1e30f, 5, 5}, {1e30f, 5, 5}, 1, 1e-9f, &stop), 0);
}

// The line test as a walk, step by step and box by box: the answer the
// quicker search must give bit for bit.
int32_t WalkedLineCollision(const std::vector<StaticBox>& boxes, const Vector3f& start, const Vector3f& end,
                            float radius, float step, Vector3f* stop) {
  const Vector3f d{end.x - start.x, end.y - start.y, end.z - start.z};
  const float length = std::max({std::fabs(d.x), std::fabs(d.y), std::fabs(d.z)});
  if (!(step > 0.0f)) step = 1.0f;
  const double wanted = std::trunc(std::trunc(static_cast<double>(length)) / step);
  const int64_t steps = length > 0.0f && wanted > 0.0 ? static_cast<int64_t>(std::min(wanted, 100000.0)) : 0;
  const Vector3f advance = steps > 0 ? Vector3f{d.x / length * step, d.y / length * step, d.z / length * step}
                                     : Vector3f{};
  auto at = [&](float t) { return Vector3f{start.x + advance.x * t, start.y + advance.y * t, start.z + advance.z * t}; };
  int32_t result = 0;
  int64_t best_to_go = -1, start_to_go = -1;
  Vector3f best = start;
  for (const StaticBox& b : boxes)
    for (int64_t i = 0; i <= steps; ++i) {
      const Vector3f p = at(static_cast<float>(i));
      if (!(p.x - radius <= b.max.x && p.x + radius >= b.min.x && p.y - radius <= b.max.y &&
            p.y + radius >= b.min.y && p.z - radius <= b.max.z && p.z + radius >= b.min.z))
        continue;
      const int64_t to_go = steps - i;
      if (i == 0) {
        start_to_go = std::max(start_to_go, to_go);
      } else if (to_go > best_to_go) {
        best_to_go = to_go;
        best = at(static_cast<float>(i) - 1.0f);
        result = 1;
      }
      break;
    }
  *stop = start_to_go > best_to_go ? start : best;
  return result;
}

TEST(StaticLineCollisions, TheSearchAnswersAsTheStepByStepWalk) {
  std::mt19937 random(515);
  auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(random); };
  // Whole numbers make touching faces and contacts exactly on a step common.
  auto whole = [&](int lo, int hi) { return static_cast<float>(std::uniform_int_distribution<int>(lo, hi)(random)); };
  const float steps[] = {1.0f, 0.0f, 0.5f, 2.5f, 0.37f};
  const float radii[] = {1.0f, 0.0f, 0.5f, 2.0f, -1.0f};
  StaticScene scene;
  std::vector<StaticBox> boxes;
  int contacts = 0;
  for (int round = 0; round < 60; ++round) {
    // The boxes change between rounds, so the search must follow them.
    if (round % 20 == 0) {
      scene.boxes.clear();
      boxes.clear();
    }
    for (int k = 0; k < 1 + round % 7; ++k) {
      const bool exact = k % 2 == 0;
      const Vector3f low = exact ? Vector3f{whole(-40, 40), whole(-10, 10), whole(-40, 40)}
                                 : Vector3f{uniform(-40, 40), uniform(-10, 10), uniform(-40, 40)};
      const Vector3f size = exact ? Vector3f{whole(0, 10), whole(0, 10), whole(0, 10)}
                                  : Vector3f{uniform(0, 10), uniform(0, 10), uniform(0, 10)};
      const StaticBox box{low, {low.x + size.x, low.y + size.y, low.z + size.z}};
      AddStaticBox(scene, box.min, box.max);
      boxes.push_back(box);
    }
    for (int line = 0; line < 200; ++line) {
      const bool exact = line % 2 == 0;
      const Vector3f a = exact ? Vector3f{whole(-60, 60), whole(-12, 12), whole(-60, 60)}
                               : Vector3f{uniform(-60, 60), uniform(-12, 12), uniform(-60, 60)};
      Vector3f b = exact ? Vector3f{whole(-60, 60), whole(-12, 12), whole(-60, 60)}
                         : Vector3f{uniform(-60, 60), uniform(-12, 12), uniform(-60, 60)};
      if (line % 17 == 0) b = Vector3f{a.x, b.y, a.z};  // along y only
      if (line % 23 == 0) b = Vector3f{a.x, a.y, b.z};  // along z only
      const float step = steps[line % 5], radius = radii[(line / 5) % 5];
      Vector3f expected_stop, stop;
      const int32_t expected = WalkedLineCollision(boxes, a, b, radius, step, &expected_stop);
      ASSERT_EQ(StaticLineCollision(scene, a, b, radius, step, &stop), expected) << round << " " << line;
      ASSERT_EQ(stop, expected_stop) << round << " " << line;
      contacts += expected;
    }
  }
  EXPECT_GT(contacts, 2000);
  // Boxes and lines that are not finite answer as the walk does.
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  AddStaticBox(scene, Vector3f{-inf, -1, -1}, Vector3f{inf, 1, 1});
  AddStaticBox(scene, Vector3f{nan, 0, 0}, Vector3f{5, 5, 5});
  boxes.push_back({{-inf, -1, -1}, {inf, 1, 1}});
  boxes.push_back({{nan, 0, 0}, {5, 5, 5}});
  const Vector3f odd[][2] = {{{0, 20, 0}, {0, -20, 50}}, {{nan, 0, 0}, {9, 9, 9}}, {{0, 0, -30}, {inf, 0, 30}},
                             {{0, 5, -30}, {0, -5, 30}}};
  for (const auto& [a, b] : odd) {
    Vector3f expected_stop, stop;
    const int32_t expected = WalkedLineCollision(boxes, a, b, 1.0f, 1.0f, &expected_stop);
    EXPECT_EQ(StaticLineCollision(scene, a, b, 1.0f, 1.0f, &stop), expected);
    EXPECT_EQ(std::memcmp(&stop, &expected_stop, sizeof stop), 0);
  }
}

TEST(StaticSceneFiles, AnEmptySceneIsTwoEndBytes) {
  EXPECT_EQ(EncodeStaticScene(StaticScene{}), (std::vector<uint8_t>{0, 0}));
  std::optional<StaticSceneFile> read = DecodeStaticScene(std::vector<uint8_t>{0, 0});
  ASSERT_TRUE(read);
  EXPECT_TRUE(read->groups.empty());
  EXPECT_TRUE(read->boxes.empty());
}

StaticScene SampleScene() {
  StaticScene scene;
  bool made = false;
  AddStaticPolygon(scene, 7, MakeStaticPolygon(Square(0, 0, 0, 10).Data(), {}), &made);
  StaticPieceMode occluder{true, false, true, 0};
  AddStaticPolygon(scene, 7, MakeStaticPolygon(Square(1, 2, 3, 1).Data(), occluder), &made);
  AddStaticPolygon(scene, 0, MakeStaticPolygon(Square(0, 0, 9, 2).Data(), StaticPieceMode{true, true, false, 0}),
                   &made);
  scene.groups[0].polygons[1]->occluder = StaticOccluder{1, -0.5f, -0.25f, 0.5f, 0.25f, 42.0f};
  AddStaticBox(scene, Vector3f{1, 2, 3}, Vector3f{4, 5, 6});
  return scene;
}

TEST(StaticSceneFiles, AFileGivesBackGroupsPolygonsAndBoxes) {
  const StaticScene scene = SampleScene();
  const std::vector<uint8_t> bytes = EncodeStaticScene(scene);
  // Groups, polygons and boxes with their marks, each polygon as specified.
  const size_t polygon = 4 + 32 * 4 + 4 + 2 * 6 + 20 + 5 + 96 + 24;
  const size_t dropped = 4 + 4 + 20 + 5 + 96 + 24;
  EXPECT_EQ(bytes.size(), (1 + 4 + 2 * (1 + polygon) + 1) + (1 + 4 + 1 + dropped + 1) + 1 + 25 + 1);
  std::optional<StaticSceneFile> read = DecodeStaticScene(bytes);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->groups.size(), 2u);
  EXPECT_EQ(read->groups[0].texture, 7);
  EXPECT_EQ(read->groups[1].texture, 0);
  ASSERT_EQ(read->groups[0].polygons.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const StaticPolygon& a = *scene.groups[0].polygons[i];
    const StaticPolygon& b = *read->groups[0].polygons[i];
    EXPECT_EQ(b.indices, a.indices);
    ASSERT_EQ(b.vertices.size(), a.vertices.size());
    EXPECT_EQ(b.vertices[2].y, a.vertices[2].y);
    EXPECT_EQ(b.vertices[2].u, a.vertices[2].u);
    EXPECT_EQ(b.centre, a.centre);
    EXPECT_EQ(b.radius, a.radius);
    EXPECT_EQ(b.has_occluder_box, a.has_occluder_box);
    EXPECT_EQ(b.full_height, a.full_height);
    EXPECT_EQ(b.occluder_box, a.occluder_box);
    EXPECT_EQ(b.occluder.depth, a.occluder.depth);
    EXPECT_EQ(b.container, nullptr);
  }
  EXPECT_EQ(read->groups[1].polygons[0]->geometry_dropped, 1);
  EXPECT_TRUE(read->groups[1].polygons[0]->vertices.empty());
  ASSERT_EQ(read->boxes.size(), 1u);
  EXPECT_EQ(read->boxes[0].max, (Vector3f{4, 5, 6}));
  StaticScene again;
  again.groups = std::move(read->groups);
  again.boxes.assign(std::move(read->boxes));
  EXPECT_EQ(EncodeStaticScene(again), bytes);
}

TEST(StaticSceneFiles, DamagedFilesAreRefused) {
  const std::vector<uint8_t> bytes = EncodeStaticScene(SampleScene());
  // Cut anywhere before the end byte.
  for (size_t size = 0; size < bytes.size(); ++size)
    EXPECT_FALSE(DecodeStaticScene(std::span(bytes).first(size))) << size;
  // A vertex count far beyond the data.
  std::vector<uint8_t> huge = bytes;
  huge[6] = huge[7] = huge[8] = 0xFF;
  EXPECT_FALSE(DecodeStaticScene(huge));
  // An index naming a vertex the polygon does not have.
  std::vector<uint8_t> index = bytes;
  index[6 + 4 + 4 * 32 + 4] = 9;
  EXPECT_FALSE(DecodeStaticScene(index));
}

}  // namespace
}  // namespace zv
