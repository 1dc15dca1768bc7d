#include "engine3d/scene/animation.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "engine3d/engine.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "runtime/vm/numeric/float_to_int.h"

namespace zv {
namespace {

// Key times and frames compare as whole frames. A frame below 0 (an
// object played backwards past its start) counts as frame 0, before every
// key, rather than wrapping round to a huge frame after all of them.
uint32_t WholeFrame(float value) { return value > 0.0f ? static_cast<uint32_t>(FloatToInt(value)) : 0u; }

// The pair of neighbouring keys around `frame` and how far between them it
// lies, in 0..1: the first key's time when the frame comes before it, the
// last key (factor 1) when it lies at or after it.
struct KeySpan {
  uint32_t from = 0, to = 0;
  double factor = 1.0;
};

template <uint32_t Stride>
KeySpan FindKeySpan(const models::KeyArray<Stride>& keys, float frame) {
  const uint32_t count = keys.count();
  if (!(frame > 0.0f)) frame = 0.0f;
  const uint32_t f = WholeFrame(frame);
  // Each key's time is converted once: a pair's end is the next pair's start.
  uint32_t t1 = WholeFrame(keys.Key(0)[0]);
  if (f < t1) return KeySpan{0, 0, 0.0};
  for (uint32_t i = 0; i + 1 < count; ++i) {
    const uint32_t t0 = t1;
    t1 = WholeFrame(keys.Key(i + 1)[0]);
    if (t0 <= f && f < t1) return KeySpan{i, i + 1, (double{frame} - t0) / (static_cast<double>(t1) - t0)};
  }
  return KeySpan{count - 1, count - 1, 1.0};
}

KeyQuaternion RotationKey(const models::KeyArray<5>& keys, uint32_t k) {
  const float* v = keys.Key(k);
  return KeyQuaternion{v[1], v[2], v[3], v[4]};
}

Vector3f VectorKey(const models::KeyArray<4>& keys, uint32_t k) {
  const float* v = keys.Key(k);
  return Vector3f{v[1], v[2], v[3]};
}

// The two ends of a transition of one kind, per track: stored at its first
// step, read back at the later ones. The arrays grow to the tracks there are
// (an instance starts without them).
template <size_t Width>
struct TransitionEnds {
  std::vector<float>& source;
  std::vector<float>& target;

  float* At(std::vector<float>& values, size_t track) {
    if (values.size() < (track + 1) * Width) values.resize((track + 1) * Width, 0.0f);
    return values.data() + track * Width;
  }
};

// How a pose is taken: whether a transition blends it, and whether this is
// the transition's first step (which stores its two ends).
struct PoseStep {
  float frame = 0;
  bool blending = false;
  bool first = false;
};

KeyQuaternion PoseRotation(const models::KeyArray<5>& keys, const ObjectRecord& o, PoseStep step,
                           TransitionEnds<4> ends, size_t track) {
  if (keys.count() == 1) return RotationKey(keys, 0);
  KeyQuaternion q = InterpolateRotationKeys(keys, step.frame);
  if (!step.blending) return q;
  float* source = ends.At(ends.source, track);
  float* target = ends.At(ends.target, track);
  if (step.first) {
    const KeyQuaternion to = InterpolateRotationKeys(keys, o.transition_target);
    std::copy_n(&q.w, 4, source);
    std::copy_n(&to.w, 4, target);
  }
  return QuaternionSlerp(KeyQuaternion{source[0], source[1], source[2], source[3]},
                         KeyQuaternion{target[0], target[1], target[2], target[3]},
                         o.transition_progress + o.transition_step);
}

Vector3f PoseVector(const models::KeyArray<4>& keys, const ObjectRecord& o, PoseStep step,
                    TransitionEnds<3> ends, size_t track) {
  if (keys.count() == 1) return VectorKey(keys, 0);
  Vector3f v = InterpolateVectorKeys(keys, step.frame);
  if (!step.blending) return v;
  float* source = ends.At(ends.source, track);
  float* target = ends.At(ends.target, track);
  if (step.first) {
    const Vector3f to = InterpolateVectorKeys(keys, o.transition_target);
    std::copy_n(&v.x, 3, source);
    std::copy_n(&to.x, 3, target);
  }
  return LerpVector(Vector3f{source[0], source[1], source[2]}, Vector3f{target[0], target[1], target[2]},
                    o.transition_progress + o.transition_step);
}

// Scale x rotation x translation of one track at the object's frame, put
// together directly: the rotation's rows scaled, the translation below.
Matrix4 PoseTrack(const models::AnimationTrack& track, ObjectRecord& o, PoseStep step, size_t k) {
  Matrix4 pose = Matrix4::Identity();
  if (!track.rotation_keys.empty())
    pose = MatrixFromQuaternion(
        PoseRotation(track.rotation_keys, o, step, {o.source_rotations, o.target_rotations}, k));
  if (!track.scale_keys.empty()) {
    const Vector3f s = PoseVector(track.scale_keys, o, step, {o.source_scales, o.target_scales}, k);
    const float factors[3] = {s.x, s.y, s.z};
    for (int row = 0; row < 3; ++row)
      for (int column = 0; column < 3; ++column) pose.m[row][column] *= factors[row];
  }
  if (!track.translation_keys.empty()) {
    const Vector3f t =
        PoseVector(track.translation_keys, o, step, {o.source_translations, o.target_translations}, k);
    pose.m[3][0] = t.x;
    pose.m[3][1] = t.y;
    pose.m[3][2] = t.z;
  }
  return pose;
}

// Element n - 1 holds frame n's matrix as it stands, so that a frame no
// track animates keeps its own; there are at least `count` elements and one
// for every frame of the model.
std::vector<Matrix4> CurrentFrameMatrices(models::SceneNode* root, size_t count) {
  std::vector<std::pair<size_t, const models::FrameNode*>> frames;
  std::vector<models::SceneNode*> pending{root};
  while (!pending.empty()) {
    models::SceneNode* node = pending.back();
    pending.pop_back();
    for (; node != nullptr; node = node->next_sibling()) {
      const int32_t n = node->number();
      if (node->IsFrameNode() && n >= 1) {
        frames.emplace_back(static_cast<size_t>(n), static_cast<models::FrameNode*>(node));
        count = std::max(count, static_cast<size_t>(n));
      }
      if (node->first_child()) pending.push_back(node->first_child());
    }
  }
  std::vector<Matrix4> matrices(count, Matrix4::Identity());
  for (const auto& [n, frame] : frames) matrices[n - 1] = frame->local_matrix();
  return matrices;
}

// The frame matrices of the object's pose from its keyframes (element n - 1
// for frame n); frames no track names keep their own.
std::vector<Matrix4> PoseMatrices(ObjectRecord& o, ObjectModel& model, const models::KeyframeSet& keyframes,
                                  PoseStep step) {
  std::vector<Matrix4> matrices = CurrentFrameMatrices(model.Root(), static_cast<size_t>(std::max(o.limb_count, 0)));
  // Each track poses the frame it names; a track of the root or of a frame
  // the model lacks poses nothing.
  for (size_t k = 0; k < keyframes.tracks.size(); ++k) {
    const models::AnimationTrack& track = keyframes.tracks[k];
    if (track.frame_number >= 1 && static_cast<size_t>(track.frame_number) <= matrices.size())
      matrices[static_cast<size_t>(track.frame_number) - 1] = PoseTrack(track, o, step, k);
  }
  return matrices;
}

// The clock's step: a play runs between its start and end frames, given
// either way round, the way its speed goes. Played once it ends where it
// passes the higher of them (backwards, the lower) and stays there; looping
// it comes round to the other.
void AdvanceClock(ObjectRecord& o) {
  o.current_frame += o.speed;
  const float low = std::min(o.start_frame, o.end_frame), high = std::max(o.start_frame, o.end_frame);
  const bool forwards = o.speed >= 0.0f;
  if (forwards ? o.current_frame <= high : o.current_frame >= low) return;
  if (o.looping == 1) {
    o.current_frame = forwards ? low : high;
    return;
  }
  o.playing = 0;
  o.current_frame = forwards ? high : low;
}

// The pose of an object whose frame was set since it was last posed, taken
// now without touching its clock: at the frame it was set to, or at the
// target of a change of frame that its next step makes at once (one that
// blends over several steps has not begun).
void PoseAtItsFrame(Engine3D& e, int32_t index) {
  ObjectRecord* o = e.pools.Object(index);
  if (!o || o->pose_stale == 0) return;
  o->pose_stale = 0;
  const bool shared = o->model.use_count() > 1;
  std::shared_ptr<ObjectModel> model = o->model;
  const models::KeyframeSet* keyframes = model ? model->Keyframes() : nullptr;
  if (o->limb_count <= 0 || !keyframes || !model->Root()) return;
  const bool jumps = o->transition_active == 1 && o->transition_progress == 0.0f && o->transition_step >= 1.0f;
  std::vector<Matrix4> matrices =
      PoseMatrices(*o, *model, *keyframes, PoseStep{jumps ? o->transition_target : o->current_frame});
  model->LoadTrackMatrices(matrices);
  o->bounds_stale = 1;
  if (shared) o->pose = std::move(matrices);
}

}  // namespace

// ---- The animated-object list --------------------------------------------------------

bool IsAnimatedObject(const Engine3D& e, int32_t index) {
  return e.animated_objects.Contains(index);
}

// ---- Posing ------------------------------------------------------------------------------

void AnimateObjects(Engine3D& e) {
  // Posing never changes the list; a copy keeps the walk safe all the same.
  const std::vector<int32_t> animated = e.animated_objects.Items();
  for (const int32_t index : animated) {
    ObjectRecord* o = e.pools.Object(index);
    if (!o || o->in_use != 1 || o->is_static == 1) continue;
    if (o->playing == 1) AdvanceClock(*o);
    ComputeObjectFrameMatrices(e, index);
  }
}

void ComputeObjectFrameMatrices(Engine3D& e, int32_t index) {
  ObjectRecord* o = e.pools.Object(index);
  if (!o || o->limb_count <= 0 || !o->model) return;
  const bool shared = o->model.use_count() > 1;
  std::shared_ptr<ObjectModel> model = o->model;
  const models::KeyframeSet* keyframes = model->Keyframes();
  if (!keyframes || !model->Root()) return;
  const bool blending = o->transition_active == 1;
  std::vector<Matrix4> matrices = PoseMatrices(
      *o, *model, *keyframes, PoseStep{o->current_frame, blending, blending && o->transition_progress == 0.0f});
  o->pose_stale = 0;
  model->LoadTrackMatrices(matrices);
  o->bounds_stale = 1;
  // The model's frames hold the pose of whichever of its objects was posed
  // last: each keeps its own to put back before it is drawn.
  if (shared)
    o->pose = std::move(matrices);
  else
    o->pose.clear();
  ObjectMoved(e, index);
  if (o->transition_active == 1) {
    if (o->transition_progress == 0.0f) o->current_frame = o->transition_target;
    o->transition_progress += o->transition_step;
    if (o->transition_progress + o->transition_step >= 1.0f) {
      o->transition_progress = 0.0f;
      o->transition_active = 0;
    }
  }
}

void PutOwnPoseOnModel(Engine3D& e, int32_t index) {
  ObjectRecord* o = e.pools.Object(index);
  if (!o || !o->model || o->model.use_count() <= 1 || o->limb_count <= 0) return;
  ObjectModel& model = *o->model;
  const models::KeyframeSet* keyframes = model.Keyframes();
  if (!keyframes || !model.Root()) return;
  if (o->animated == 1 && !o->pose.empty()) {
    model.LoadTrackMatrices(o->pose);
    return;
  }
  // Not animated itself: posed at its own frame, as it would be when it
  // played, without touching its clock.
  model.LoadTrackMatrices(PoseMatrices(*o, model, *keyframes, PoseStep{o->current_frame}));
}

void FrameChanged(Engine3D& e, int32_t index) {
  if (ObjectRecord* o = e.pools.Object(index)) o->pose_stale = 1;
  ObjectMoved(e, index);
}

void ReadyModelFor(Engine3D& e, int32_t index) {
  PoseAtItsFrame(e, index);
  const ObjectRecord* o = e.pools.Object(index);
  if (!o || o->model.use_count() <= 1) return;
  RebuildObjectTransform(e, index);
  PutOwnPoseOnModel(e, index);
}

KeyQuaternion InterpolateRotationKeys(const models::KeyArray<5>& keys, float frame) {
  if (keys.empty()) return KeyQuaternion{};
  const KeySpan span = FindKeySpan(keys, frame);
  if (span.from == span.to) return RotationKey(keys, span.from);
  return QuaternionSlerp(RotationKey(keys, span.from), RotationKey(keys, span.to),
                         static_cast<float>(span.factor));
}

Vector3f InterpolateVectorKeys(const models::KeyArray<4>& keys, float frame) {
  if (keys.empty()) return Vector3f{};
  const KeySpan span = FindKeySpan(keys, frame);
  if (span.from == span.to) return VectorKey(keys, span.from);
  // The blend goes through a percentage, as the engine has always taken it.
  const double percent = 100.0 * span.factor;
  const Vector3f a = VectorKey(keys, span.from), b = VectorKey(keys, span.to);
  auto mix = [&](float from, float to) { return static_cast<float>(from + (to - from) * 0.01 * percent); };
  return Vector3f{mix(a.x, b.x), mix(a.y, b.y), mix(a.z, b.z)};
}

Vector3f LerpVector(const Vector3f& a, const Vector3f& b, float t) {
  return Vector3f{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}

}  // namespace zv
