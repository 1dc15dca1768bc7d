// Static scene files over any bytes: the reader either refuses them or gives
// groups whose triangles index their own vertices, and what it gives writes
// back to a file that reads the same again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "engine3d/scene/static_scene_file.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zv;
  std::optional<StaticSceneFile> read = DecodeStaticScene(std::span<const uint8_t>(data, size));
  if (!read) return 0;
  StaticScene scene;
  scene.groups = std::move(read->groups);
  scene.boxes.assign(std::move(read->boxes));
  for (const StaticGroup& group : scene.groups)
    for (const auto& polygon : group.polygons) {
      Check(polygon->indices.size() % 3 == 0);
      for (uint16_t index : polygon->indices) Check(index < polygon->vertices.size());
    }
  const std::vector<uint8_t> written = EncodeStaticScene(scene);
  std::optional<StaticSceneFile> again = DecodeStaticScene(written);
  Check(again.has_value());
  Check(again->groups.size() == scene.groups.size() && again->boxes.size() == scene.boxes.size());
  StaticScene reread;
  reread.groups = std::move(again->groups);
  reread.boxes.assign(std::move(again->boxes));
  Check(EncodeStaticScene(reread) == written);
  return 0;
}
