#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "collision/collision_key.h"

namespace zv {

class CollisionShape;
class Engine3D;

// The collision boxes that programs made for objects, filed with the
// collision library in place of the objects' model shapes, so that objects
// testing by shapes meet them: one box shape per object (record index),
// under the object's key with mesh number 0, which no mesh takes. The
// shapes go with the table.
class LibraryBoxes {
 public:
  LibraryBoxes() = default;
  LibraryBoxes(LibraryBoxes&& other) noexcept : shapes_(std::move(other.shapes_)) { other.shapes_.clear(); }
  LibraryBoxes& operator=(LibraryBoxes&& other) noexcept;
  ~LibraryBoxes() { Clear(); }

  // The object's box of sizes x, y, z replaces the one it had.
  void File(int32_t index, float x, float y, float z);
  void Drop(int32_t index);
  bool Has(int32_t index) const { return shapes_.contains(index); }
  void Clear();

 private:
  std::unordered_map<int32_t, CollisionShape*> shapes_;
};

// Whether a key of the collision library names such a box.
constexpr bool IsLibraryBoxKey(CollisionKey key) { return CollisionKeyMeshNumber(key) == 0; }

// The object stands in the collision library by its own box while it tests
// by that box, its collision is on and the box was made for it; otherwise
// by nothing of its own box. Every change of those goes through here.
void FileLibraryBox(Engine3D& e, int32_t index);
// Places the object's library box (when it has one) where the box test
// puts its box: at the object's position, turned with its angles.
void PlaceLibraryBox(Engine3D& e, int32_t index);

// The box test of two objects that collide by boxes (record indices `a` and
// `b`): 1 when they meet, else 0. An object collides by the box the program
// gave it, or else by a box around each of the meshes it draws, as its
// limbs stand now: posed, scaled, turned and glued as they are drawn.
//
// When both boxes were given by the program, they are tested axis-aligned
// at the objects' positions; when `b` asks for it (its box-collision flag),
// a hit also leaves in the engine's box correction how far `a` went into
// `b` through the face it crossed since the last frame, so that
// subtracting it from `a`'s position moves `a` back out. Otherwise the
// boxes are turned with the objects and tested as oriented boxes.
//
// The boxes are made once for each placement of the object and kept until
// the next collision refresh takes in its next one.
int32_t TestObjectBoxes(Engine3D& e, int32_t a, int32_t b);

// Whether the object takes part in the box tests: in use, collision on, by
// its boxes, not locked to the camera (nor hanging from an object that is).
bool CollidesByBoxes(Engine3D& e, int32_t index);

// The objects other than `index` that take part in the box tests and whose
// boxes may meet its own, in the order of the render list: its neighbours
// alone when no placement waits for a collision refresh, else all of them.
std::vector<int32_t> BoxNeighbours(Engine3D& e, int32_t index);

}  // namespace zv
