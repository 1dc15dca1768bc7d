#include "engine3d/objects/three_ds_loading.h"

#include <cstdio>

#include "engine3d/engine.h"
#include "engine3d/objects/model_loading.h"
#include "models/files/three_ds_to_x.h"
#include "runtime/runtime_state.h"

namespace zv {

std::string WorkFilePath(Engine3D& e) {
  if (!e.Bound() || !e.Machine().runtime || e.Machine().runtime->temp_folder.empty()) return {};
  return e.Machine().runtime->temp_folder + "workfile.x";
}

int32_t Load3dsIntoObject(Engine3D& e, int32_t object, const std::string& path, std::string* why) {
  const std::string work = WorkFilePath(e);
  if (work.empty()) return load_result::kNoConvert;
  // A work file left from before must not stand in for this conversion.
  std::remove(work.c_str());
  std::string fault;
  const int32_t converted = models::Convert3dsToX(path, work, &fault);
  if (why) *why = converted == models::kThreeDsNotWritten ? "the converted model could not be written: " + fault : fault;
  // A face past its mesh's vertices is the model's fault, as in an X file.
  if (converted == models::kThreeDsBadFace) return load_result::kNoModel;
  if (converted < 0) return converted;
  const int32_t frames = LoadModelIntoObject(e, object, work, why);
  std::remove(work.c_str());
  // What the conversion left out is told unless the model says more.
  if (frames > 0 && why && why->empty()) *why = fault;
  return frames;
}

}  // namespace zv
