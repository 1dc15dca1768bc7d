#pragma once

#include <cstdint>

#include "collision/collision_key.h"
#include "collision/vector3.h"

namespace zv {

// What a hit reports beyond the two keys. One record serves every callback of
// a test run; it stays valid only until the next callback.
struct CollisionData {
  Vector3 point1;  // on the first object
  Vector3 point2;  // on the second object
  Vector3 normal;
};

// Called with the client data, the keys of the two objects in pair order and
// the data (null for the simple response). The callback must not change the
// collision world while a test run is under way.
using CollisionResponseCallback = void (*)(uint32_t client_data, CollisionKey first, CollisionKey second,
                                           const CollisionData* data);

struct CollisionResponse {
  enum Type : int32_t {
    kNone = 0,
    kSimple = 1,       // callback without data after an intersection
    kWitnessed = 2,    // closest points under the previous placements, and their difference
    kCommonPoint = 3,  // a common point as seen from each object, zero normal
  };

  CollisionResponseCallback callback = nullptr;
  int32_t type = kNone;  // any value outside 1..3 tests nothing
  uint32_t client_data = 0;

  bool TestsAnything() const {
    return callback != nullptr && (type == kSimple || type == kWitnessed || type == kCommonPoint);
  }
};

}  // namespace zv
