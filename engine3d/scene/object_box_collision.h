#pragma once

#include <cstdint>

namespace zv {

class Engine3D;

// The box test of two objects that carry their own collision boxes (record
// indices `a` and `b`): 1 when they meet, else 0.
//
// When both boxes were given by the program, they are tested axis-aligned
// at the objects' positions; when `b` asks for it (its box-collision flag),
// a hit also leaves in the engine's box correction how far `a` went into
// `b` through the face it crossed since the last frame, so that
// subtracting it from `a`'s position moves `a` back out. Otherwise the
// boxes are turned with the objects and tested as oriented boxes.
int32_t TestObjectBoxes(Engine3D& e, int32_t a, int32_t b);

}  // namespace zv
