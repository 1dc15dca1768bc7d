#include "engine3d/objects/keyframe_editing.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "engine3d/engine.h"
#include "engine3d/objects/object_model.h"
#include "models/files/model_builder.h"
#include "runtime/vm/numeric/float_to_int.h"

namespace zv {
namespace {

// Key times are frame numbers: they compare by their whole part.
int32_t WholeTime(float time) { return TruncateToInt32(time); }

// Writes the key's time and pose values.
template <uint32_t Stride>
void WriteKey(models::KeyArray<Stride>& keys, uint32_t key, int32_t frame, const float* values) {
  float* at = keys.values.data() + static_cast<size_t>(key) * Stride;
  at[0] = static_cast<float>(frame);
  std::copy(values, values + Stride - 1, at + 1);
}

// One kind of keys of a track: the key at `frame` is overwritten, or (for
// frames from 1 on) a new one goes in its place in time order. `most`
// takes the last key time when a key could be added.
template <uint32_t Stride>
void RecordKey(models::KeyArray<Stride>& keys, int32_t frame, const float* values, int32_t* most) {
  int64_t at_frame = -1;
  for (uint32_t k = 0; k < keys.count(); ++k)
    if (WholeTime(keys.Key(k)[0]) == frame) at_frame = k;
  if (frame < 1) {
    // Keys before frame 1 are only ever overwritten.
    if (at_frame >= 0) WriteKey(keys, static_cast<uint32_t>(at_frame), frame, values);
    return;
  }
  int32_t last = keys.empty() ? 0 : WholeTime(keys.LastKeyTime());
  uint32_t index = 0;
  if (frame <= last && at_frame >= 0) {
    index = static_cast<uint32_t>(at_frame);
  } else {
    const uint32_t old_count = keys.count();
    index = old_count;
    if (frame <= last) {
      for (uint32_t k = 0; k < old_count; ++k)
        if (WholeTime(keys.Key(k)[0]) > frame) {
          index = k;
          break;
        }
    } else {
      last = frame;
    }
    keys.values.insert(keys.values.begin() + static_cast<ptrdiff_t>(index) * Stride, Stride, 0.0f);
  }
  *most = std::max(*most, last);
  WriteKey(keys, index, frame, values);
}

// The first key at `frame` goes, when the kind keeps at least one key.
template <uint32_t Stride>
void RemoveKey(models::KeyArray<Stride>& keys, int32_t frame) {
  if (keys.count() < 2) return;
  for (uint32_t k = 0; k < keys.count(); ++k) {
    if (WholeTime(keys.Key(k)[0]) != frame) continue;
    const auto first = keys.values.begin() + static_cast<ptrdiff_t>(k) * Stride;
    keys.values.erase(first, first + Stride);
    return;
  }
}

// The per-limb transition arrays hold one entry per limb the animation
// poses; keys made here may pose more limbs than the object was made with.
void SizeTransitionArrays(ObjectRecord& o, size_t tracks) {
  const size_t n = std::max(tracks, static_cast<size_t>(std::max(o.limb_count, 0)));
  auto grow = [n](std::vector<float>& values, size_t per_limb) {
    if (values.size() < n * per_limb) values.resize(n * per_limb, 0.0f);
  };
  grow(o.source_rotations, 4);
  grow(o.target_rotations, 4);
  grow(o.source_scales, 3);
  grow(o.target_scales, 3);
  grow(o.source_translations, 3);
  grow(o.target_translations, 3);
}

}  // namespace

Quaternion MatrixToQuaternion(const Matrix4& m) {
  auto at = [&m](int i, int j) { return static_cast<double>(m.m[i][j]); };
  Quaternion q;
  const double trace = at(0, 0) + at(1, 1) + at(2, 2) + at(3, 3);
  if (trace >= 1.0) {
    const double s = 2.0 * std::sqrt(trace);
    q.w = s / 4.0;
    q.x = (at(1, 2) - at(2, 1)) / s;
    q.y = (at(2, 0) - at(0, 2)) / s;
    q.z = (at(0, 1) - at(1, 0)) / s;
    return q;
  }
  int i = at(0, 0) <= at(1, 1) ? 1 : 0;
  if (at(2, 2) > at(i, i)) i = 2;
  const int j = (i + 1) % 3;
  const int k = (j + 1) % 3;
  const double s = 2.0 * std::sqrt(at(i, i) - at(j, j) - at(k, k) + 1.0);
  double v[3];
  v[i] = s / 4.0;
  v[j] = (at(i, j) + at(j, i)) / s;
  v[k] = (at(i, k) + at(k, i)) / s;
  q.x = v[0];
  q.y = v[1];
  q.z = v[2];
  q.w = (at(j, k) - at(k, j)) / s;
  return q;
}

LimbPose LimbPoseKeys(ObjectModel& model, int32_t limb) {
  Matrix4 frame = Matrix4::Identity();
  model.GetLimbMatrix(limb, &frame);
  Matrix4 inverse = Matrix4::Identity();
  MatrixInvertAffine(inverse, frame);
  const Quaternion q = MatrixToQuaternion(inverse);
  LimbPose pose;
  pose.rotation[0] = static_cast<float>(q.w);
  pose.rotation[1] = static_cast<float>(q.x);
  pose.rotation[2] = static_cast<float>(q.y);
  pose.rotation[3] = static_cast<float>(q.z);
  pose.translation[0] = frame.m[3][0];
  pose.translation[1] = frame.m[3][1];
  pose.translation[2] = frame.m[3][2];
  return pose;
}

std::unique_ptr<models::KeyframeSet> BuildKeyframesFromPose(Engine3D& e, int32_t object) {
  auto keyframes = std::make_unique<models::KeyframeSet>();
  ObjectRecord* o = e.pools.Object(object);
  if (!o || !o->model) return keyframes;
  ObjectModel& model = *o->model;
  for (int32_t limb = 1; limb < o->LimbCapacity(); ++limb) {
    if (o->Limb(limb)->in_use != 1) continue;
    models::AnimationTrack& track = keyframes->AppendTrack();
    std::string name;
    models::GetModelFrameName(model.Root(), limb, &name);
    track.set_frame_name(name);
    track.frame_number = limb;
  }
  for (models::AnimationTrack& track : keyframes->tracks) {
    const LimbPose pose = LimbPoseKeys(model, track.frame_number);
    track.rotation_keys.values.assign({0.0f, pose.rotation[0], pose.rotation[1], pose.rotation[2], pose.rotation[3]});
    track.translation_keys.values.assign({0.0f, pose.translation[0], pose.translation[1], pose.translation[2]});
    track.scale_keys.values.clear();
  }
  SizeTransitionArrays(*o, keyframes->tracks.size());
  return keyframes;
}

int32_t SetKeysAtFrame(models::KeyframeSet& keyframes, Engine3D& e, int32_t object, int32_t frame) {
  ObjectRecord* o = e.pools.Object(object);
  if (!o) return 0;
  int32_t most = TruncateToInt32(o->frame_count);
  if (!o->model) return most;
  for (models::AnimationTrack& track : keyframes.tracks) {
    const LimbPose pose = LimbPoseKeys(*o->model, track.frame_number);
    RecordKey(track.rotation_keys, frame, pose.rotation, &most);
    RecordKey(track.translation_keys, frame, pose.translation, &most);
  }
  return most;
}

void DeleteKeysAtFrame(models::KeyframeSet& keyframes, int32_t frame) {
  if (frame == 0) return;
  for (models::AnimationTrack& track : keyframes.tracks) {
    RemoveKey(track.rotation_keys, frame);
    RemoveKey(track.translation_keys, frame);
  }
}

float LastWholeKeyTime(const models::KeyframeSet* keyframes) {
  if (!keyframes) return 0.0f;
  auto whole = [](float time) { return time > 0.0f ? std::trunc(time) : 0.0f; };
  float most = 0.0f;
  for (const models::AnimationTrack& t : keyframes->tracks)
    most = std::max({most, whole(t.rotation_keys.LastKeyTime()), whole(t.scale_keys.LastKeyTime()),
                     whole(t.translation_keys.LastKeyTime())});
  return most;
}

void RecomputeFrameCount(Engine3D& e, int32_t object) {
  ObjectRecord* o = e.pools.Object(object);
  if (!o) return;
  o->frame_count = o->model ? LastWholeKeyTime(o->model->Keyframes()) : 0.0f;
  o->end_frame = o->frame_count;
}

void AttachAnimatedObject(Engine3D& e, int32_t object) {
  ObjectRecord* o = e.pools.Object(object);
  if (!o) return;
  e.animated_objects.Append(object);
  o->animated = 1;
  if (o->model && o->model->Keyframes()) SizeTransitionArrays(*o, o->model->Keyframes()->tracks.size());
}

}  // namespace zv
