#include "engine3d/objects/keyframe_commands.h"

#include <cerrno>
#include <memory>
#include <string>

#include "engine3d/commands/command_checks.h"
#include "engine3d/objects/keyframe_editing.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "models/files/animation_files.h"
#include "platform/paths/failure_cause.h"
#include "platform/paths/path_resolver.h"
#include "runtime/attached/attached_data.h"
#include "runtime/runtime_state.h"
#include "runtime/vm/numeric/float_to_int.h"

namespace zv {
namespace {

// The object's keyframes, made from its present pose when it has none; null
// for an object without a model.
models::KeyframeSet* KeyframesOrPose(Engine3D& e, int32_t index) {
  std::shared_ptr<ObjectModel> model = e.pools.objects[index].model;
  if (!model) return nullptr;
  if (!model->Keyframes()) model->SetKeyframes(BuildKeyframesFromPose(e, index));
  return model->EditKeyframes();
}

// Where joined animation files are put together: the work file of the
// private temporary folder.
std::string WorkFilePath(Vm& vm) {
  return vm.runtime && !vm.runtime->temp_folder.empty() ? vm.runtime->temp_folder + "workfile.x" : std::string();
}

void CmdSaveObjectAnimation(Vm& vm) {
  const std::string file(vm.NextString());
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  std::shared_ptr<ObjectModel> model = e->pools.objects[index].model;
  // An earlier file survives a failed write.
  if (!models::SaveAnimation(model ? model->Keyframes() : nullptr, platform::Paths().Resolve(file)))
    vm.RunWarning(object_error::kFileWrite, file, platform::CauseOf(errno));
}

void CmdAppendObjectAnimation(Vm& vm) {
  const std::string first(vm.NextString());
  const std::string second(vm.NextString());
  const int32_t number = vm.NextInt();
  const int32_t offset = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  models::KeyframeSet* keyframes = KeyframesOrPose(*e, index);
  const std::string work_file = WorkFilePath(vm);
  if (!keyframes || work_file.empty()) return;
  std::shared_ptr<ObjectModel> model = e->pools.objects[index].model;
  const int32_t end_time = TruncateToInt32(e->pools.objects[index].frame_count);
  // Read as every file is read: in a built game perhaps files it carries,
  // each served under a name of its own.
  AttachedData* attached = vm.attached_data;
  if (models::JoinAndMergeAnimation(model->Root(), keyframes, ReadPath(attached, first, "first.x"),
                                    ReadPath(attached, second, "second.x"), work_file, offset, end_time))
    RecomputeFrameCount(*e, index);
}

void CmdDeleteObjectAnimation(Vm& vm) {
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  std::shared_ptr<ObjectModel> model = e->pools.objects[index].model;
  if (!model || !model->Keyframes()) return;
  DetachAnimatedObject(*e, index);
  model->SetKeyframes(nullptr);
  ObjectRecord& o = e->pools.objects[index];
  o.current_frame = o.start_frame = o.end_frame = o.frame_count = 0.0f;
}

void CmdDeleteObjectKeyframe(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t frame = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  std::shared_ptr<ObjectModel> model = e->pools.objects[index].model;
  if (model && model->Keyframes()) DeleteKeysAtFrame(*model->EditKeyframes(), frame);
}

void CmdSetObjectKeyframe(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t frame = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  models::KeyframeSet* keyframes = KeyframesOrPose(*e, index);
  if (!keyframes) return;
  const int32_t frames = SetKeysAtFrame(*keyframes, *e, index, frame);
  ObjectRecord& o = e->pools.objects[index];
  o.frame_count = static_cast<float>(frames);
  o.end_frame = o.frame_count;
}

}  // namespace

void RegisterKeyframeHandlers(HandlerTable& table) {
  table.Set(7259, CmdSaveObjectAnimation);
  table.Set(7260, CmdAppendObjectAnimation);
  table.Set(7261, CmdDeleteObjectAnimation);
  table.Set(7262, CmdDeleteObjectKeyframe);
  table.Set(7263, CmdSetObjectKeyframe);
}

}  // namespace zv
