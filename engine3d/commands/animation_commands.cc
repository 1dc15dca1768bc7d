#include "engine3d/commands/animation_commands.h"

#include <algorithm>
#include <string>

#include "engine3d/commands/command_checks.h"
#include "engine3d/objects/keyframe_editing.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/scene/animation.h"
#include "models/files/animation_files.h"
#include "platform/paths/path_resolver.h"
#include "runtime/attached/attached_data.h"
#include "runtime/vm/numeric/float_to_int.h"

namespace zv {
namespace {

// Runtime errors of the animation commands.
namespace err {
constexpr int32_t kNoAnimation = 7601;
constexpr int32_t kFrameRange = 7602;
constexpr int32_t kSpeedRange = 7603;
constexpr int32_t kInterpolationRange = 7604;
constexpr int32_t kMergeFailed = 7605;
constexpr int32_t kMergeFrame = 7606;
}  // namespace err

// Speeds are given in 25ths of a frame per update.
constexpr float kSpeedUnits = 25.0f;

bool HasAnimation(const ObjectRecord& o) { return o.model && o.model->Keyframes(); }

// An object with keyframes: 7006, 7008, and 7601 for an object without.
FoundRecord CheckedAnimatedObject(Vm& vm, int32_t number) {
  const FoundRecord object = CheckedObject(vm, number);
  if (object.index == 0 || HasAnimation(object.e->pools.objects[object.index])) return object;
  vm.RunError(err::kNoAnimation);
  return FoundRecord{};
}

// Starts the object's animation between `start` and `end`: playing (once
// or looping), without a transition, on the animated-object list.
void StartRange(Engine3D& e, int32_t index, bool looping, float start, float end) {
  ObjectRecord& o = e.pools.objects[index];
  o.playing = 1;
  o.looping = looping ? 1 : 0;
  o.transition_active = 0;
  if (o.animated == 0) AttachAnimatedObject(e, index);
  ObjectRecord& started = e.pools.objects[index];
  started.start_frame = start;
  started.end_frame = end;
}

// The frames the play and loop commands take after the object: none (all
// of them), the first, or the first and the last.
enum class Frames { kAll, kFrom, kRange };

// Where a loop over start..end goes on from: the current frame while it lies
// among those frames, so that a loop started again every frame runs on;
// otherwise the frame it enters by (the higher one when it runs backwards).
float LoopEntryFrame(const ObjectRecord& o, float start, float end) {
  const float low = std::min(start, end), high = std::max(start, end);
  if (o.current_frame >= low && o.current_frame <= high) return o.current_frame;
  return o.speed >= 0.0f ? low : high;
}

// Starts the animation over those frames (to the last frame without a last
// one), playing once or looping. Its speed gives the way it runs: a play
// once from a start frame runs from there to the last frame, or backwards
// to the first; one over all the frames or a range runs from the lower of
// them to the higher, or backwards from the higher to the lower. Looping
// goes on from the current frame when it lies among them.
template <Frames Given, bool Looping>
void CmdStartObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t first = Given == Frames::kAll ? 0 : vm.NextInt();
  const int32_t last = Given == Frames::kRange ? vm.NextInt() : 0;
  const auto [e, index] = CheckedAnimatedObject(vm, number);
  if (index == 0) return;
  const ObjectRecord& o = e->pools.objects[index];
  const bool backwards = o.speed < 0.0f;
  // Frames given outside the animation run to its nearest end: a play from
  // past the last frame holds the last frame, as its pose shows, and a play
  // over a range reaching past it ends there.
  auto inside = [&o](int32_t frame) { return std::clamp(static_cast<float>(frame), 0.0f, o.frame_count); };
  const float start = inside(first);
  float end = Given == Frames::kRange ? inside(last) : o.frame_count;
  if (Given == Frames::kFrom && !Looping && backwards) end = 0.0f;
  float from = Given == Frames::kFrom ? start : backwards ? std::max(start, end) : std::min(start, end);
  if (Looping) from = LoopEntryFrame(o, start, end);
  StartRange(*e, index, Looping, start, end);
  e->pools.objects[index].current_frame = from;
  FrameChanged(*e, index);
}

// An object that is not playing stays as it is (and on the list, posed at
// its frame).
void CmdStopObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedAnimatedObject(vm, number);
  if (index != 0 && e->pools.objects[index].playing == 1) DetachAnimatedObject(*e, index);
}

// Playing once or stopped, the pose blends over to the frame; looping, the
// loop goes on from there.
void CmdSetObjectFrame(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float frame = vm.NextFloat();
  const auto [e, index] = CheckedAnimatedObject(vm, number);
  if (index == 0) return;
  ObjectRecord& o = e->pools.objects[index];
  if (!(frame >= 0.0f && frame <= o.frame_count)) return vm.RunError(err::kFrameRange);
  if (o.looping == 0) {
    o.transition_active = 1;
    o.transition_target = frame;
    o.transition_progress = 0.0f;
  } else {
    o.current_frame = frame;
  }
  if (!IsAnimatedObject(*e, index)) AttachAnimatedObject(*e, index);
  FrameChanged(*e, index);
}

void CmdSetObjectSpeed(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t speed = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  if (speed < -100 || speed > 100) return vm.RunError(err::kSpeedRange);
  e->pools.objects[index].speed = static_cast<float>(speed) / kSpeedUnits;
}

void CmdSetObjectInterpolation(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t percent = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  if (percent < 1 || percent > 100) return vm.RunError(err::kInterpolationRange);
  e->pools.objects[index].transition_step = static_cast<float>(percent) / 100.0f;
}

// Merges the last animation set of the X file into the object's keyframes
// from `time_offset` on, bridged from the object's present end; false when
// the object has no model or the merge fails.
bool MergeObjectAnimation(Engine3D& e, int32_t index, const std::string& file, int32_t time_offset) {
  ObjectRecord& o = e.pools.objects[index];
  if (!o.model) return false;
  const std::string path = ReadPath(e.Machine().attached_data, file);
  const int32_t end_time = FloatToInt(o.frame_count);
  std::shared_ptr<ObjectModel> model = o.model;
  return models::MergeAnimationFile(model->Root(), model->EditKeyframes(), path, time_offset, end_time);
}

void CmdMergeObjectAnimationFile(Vm& vm) {
  const std::string file(vm.NextString());
  const int32_t number = vm.NextInt();
  const int32_t frame = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  ObjectRecord& o = e->pools.objects[index];
  if (static_cast<float>(frame) <= o.frame_count) return vm.RunError(err::kMergeFrame);
  if (!HasAnimation(o) || !MergeObjectAnimation(*e, index, file, frame)) return vm.RunError(err::kMergeFailed);
  RecomputeFrameCount(*e, index);
}

// ---- Queries --------------------------------------------------------------------------

// A query of an existing object: the result slot, then the object.
template <class Answer>
void AnswerForObject(Vm& vm, Answer answer) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index != 0) answer(result, e->pools.objects[index]);
}

void FnObjectPlaying(Vm& vm) {
  AnswerForObject(vm, [&](Slot result, const ObjectRecord& o) { vm.SetInt(result, o.playing == 1 ? 1 : 0); });
}

void FnObjectLooping(Vm& vm) {
  AnswerForObject(vm, [&](Slot result, const ObjectRecord& o) { vm.SetInt(result, o.looping == 1 ? 1 : 0); });
}

void FnObjectFrame(Vm& vm) {
  AnswerForObject(vm, [&](Slot result, const ObjectRecord& o) {
    vm.SetFloat(result, HasAnimation(o) ? o.current_frame : 0.0f);
  });
}

void FnObjectSpeed(Vm& vm) {
  AnswerForObject(vm, [&](Slot result, const ObjectRecord& o) {
    const float units = o.speed * kSpeedUnits;
    vm.SetInt(result, HasAnimation(o) ? FloatToInt(units) : 0);
  });
}

void FnObjectInterpolation(Vm& vm) {
  AnswerForObject(vm, [&](Slot result, const ObjectRecord& o) {
    const float percent = o.transition_step * 100.0f;
    vm.SetInt(result, FloatToInt(percent));
  });
}

void FnTotalObjectFrames(Vm& vm) {
  AnswerForObject(vm, [&](Slot result, const ObjectRecord& o) { vm.SetInt(result, FloatToInt(o.frame_count)); });
}

}  // namespace

void RegisterObjectAnimationHandlers(HandlerTable& table) {
  table.Set(7601, CmdStartObject<Frames::kAll, false>);  // play object
  table.Set(7603, CmdStartObject<Frames::kAll, true>);  // loop object
  table.Set(7608, CmdStartObject<Frames::kFrom, false>);  // play object from
  table.Set(7609, CmdStartObject<Frames::kRange, false>);  // play object range
  table.Set(7610, CmdStartObject<Frames::kFrom, true>);  // loop object from
  table.Set(7606, CmdStartObject<Frames::kRange, true>);  // loop object range
  table.Set(7602, CmdStopObject);
  table.Set(7604, CmdSetObjectFrame);
  table.Set(7605, CmdSetObjectSpeed);
  table.Set(7611, CmdSetObjectInterpolation);
  table.Set(7607, CmdMergeObjectAnimationFile);
  table.Set(7651, FnObjectPlaying);
  table.Set(7652, FnObjectLooping);
  table.Set(7653, FnObjectFrame);
  table.Set(7654, FnObjectSpeed);
  table.Set(7655, FnObjectInterpolation);
  table.Set(7656, FnTotalObjectFrames);
}

}  // namespace zv
