#include <algorithm>
#include <map>
#include <vector>

#include "models/files/x_model_reader.h"
#include "platform/xfile/animation_view.h"
#include "platform/xfile/document.h"

namespace zv::models {

using platform::XDataObject;
using platform::XTemplateKind;

namespace {

// Replaces the track's keys of the object's type (rotation, scale or
// translation); keys of other types, and objects that cannot be read, are
// left out.
void ReadXAnimationKey(const XDataObject& object, AnimationTrack& track) {
  auto key = platform::ReadXAnimationKey(object);
  if (!key.ok()) return;
  auto take = [&](auto& keys) {
    const uint32_t values = keys.kStride - 1;
    if (key->values_per_key != values) return;
    keys.values.clear();
    keys.values.reserve(key->times.size() * keys.kStride);
    for (size_t k = 0; k < key->times.size(); ++k) {
      keys.values.push_back(static_cast<float>(key->times[k]));
      for (uint32_t v = 0; v < values; ++v) keys.values.push_back(key->values[k * values + v]);
    }
  };
  switch (key->key_type) {
    case platform::kXRotationKey: take(track.rotation_keys); break;
    case platform::kXScaleKey: take(track.scale_keys); break;
    case platform::kXPositionKey: take(track.translation_keys); break;
    default: break;
  }
}

void ReadXAnimation(const XDataObject& object, KeyframeSet& set) {
  AnimationTrack& track = set.AppendTrack();
  for (const auto& child : object.children()) {
    if (const XDataObject* data = child.object()) {
      if (data->Is(XTemplateKind::kAnimationKey)) ReadXAnimationKey(*data, track);
    } else if (const XDataObject* target = child.Target()) {
      // Only a reference names the frame; an embedded Frame does not.
      if (target->Is(XTemplateKind::kFrame)) track.set_frame_name(target->name());
    } else {
      // A reference to a frame outside this file (animation files name the
      // frames of the model they belong to) keeps the name it was written
      // with; the model's own frames are matched by that name.
      track.set_frame_name(child.reference()->name);
    }
  }
}

// The frames of the tree by name, each name's frame numbers in order.
std::map<std::string, std::vector<int32_t>, std::less<>> FramesByName(FrameNode& root) {
  std::map<std::string, std::vector<int32_t>, std::less<>> frames;
  std::vector<SceneNode*> pending{&root};
  while (!pending.empty()) {
    SceneNode* node = pending.back();
    pending.pop_back();
    for (; node != nullptr; node = node->next_sibling()) {
      if (node->IsFrameNode()) frames[node->name()].push_back(node->number());
      if (node->first_child()) pending.push_back(node->first_child());
    }
  }
  for (auto& [name, numbers] : frames) std::sort(numbers.begin(), numbers.end());
  return frames;
}

}  // namespace

void NumberTracksByName(KeyframeSet& set, FrameNode& root, int32_t missing) {
  const auto frames = FramesByName(root);
  std::map<std::string, size_t, std::less<>> taken;
  for (AnimationTrack& track : set.tracks) {
    const auto found = frames.find(track.frame_name);
    if (found == frames.end()) {
      track.frame_number = missing;
      continue;
    }
    size_t& turn = taken[track.frame_name];
    track.frame_number = found->second[turn < found->second.size() ? turn : 0];
    ++turn;
  }
}

std::unique_ptr<KeyframeSet> ReadXAnimationSet(const XDataObject& set) {
  auto keyframes = std::make_unique<KeyframeSet>();
  for (const auto& child : set.children()) {
    const XDataObject* data = child.object();
    if (data != nullptr && data->Is(XTemplateKind::kAnimation)) ReadXAnimation(*data, *keyframes);
  }
  return keyframes;
}

}  // namespace zv::models
