#pragma once

#include <cstdint>

#include "display/id_map.h"
#include "display/record_pool.h"
#include "engine3d/objects/matrix_math.h"

namespace zv {

class Engine3D;

// Light types as the device numbers them.
enum LightKind : int32_t { kPointLight = 1, kSpotLight = 2, kDirectionalLight = 3 };

constexpr float kDefaultLightRange = 3000.0f;

// A numbered light; record 0 is the default light of every run.
struct LightRecord {
  int32_t in_use = 0;
  int32_t shown = 0;
  int32_t enabled = 0;  // what the device was last told
  int32_t type = 0;
  Vector3f position;
  Vector3f object_angles;      // of the object whose orientation it took last
  int32_t from_matrix = 0;     // the direction came from an object's free matrix
  Matrix4 object_matrix;
  Vector3f direction;
  float inner = 0, outer = 0;  // spot cone, radians
  float red = 0, green = 0, blue = 0;
  float range = 0;
};

struct LightPool {
  static constexpr int32_t kFirstCapacity = 8;
  // Light numbers run from 0, the default light, to 65535.
  static bool InRange(int32_t number) { return number >= 0 && number <= 65535; }
  RecordPool<LightRecord> records{kFirstCapacity, 4};
  IdMap ids;  // light 0 is record 0 always
};

// Runtime errors of the light commands.
namespace light_error {
constexpr int32_t kNumber = 7301;
constexpr int32_t kExists = 7302;
constexpr int32_t kMissing = 7303;
constexpr int32_t kCreate = 7304;
constexpr int32_t kDefault = 7305;
}  // namespace light_error

// Sends the record to the device: its descriptor, then on or off when the
// device was told otherwise. False (with the failure logged) when the
// device refused.
bool ApplyLight(Engine3D& e, int32_t index);
// The white directional light of every run, as descriptor only.
bool SetDefaultLightDescriptor(Engine3D& e, int32_t index);
// Empties the pool and makes the default light (record 0).
void MakeDefaultLight(Engine3D& e);
// After the device was made again.
void ReapplyAllLights(Engine3D& e);
// The direction from `origin` towards `target`, each component divided by
// the sum of the absolute differences.
Vector3f DirectionBetween(const Vector3f& origin, const Vector3f& target);

}  // namespace zv
