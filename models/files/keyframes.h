#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zv::models {

// The keys of one kind of an animation track: `Stride` floats per key, the
// first of them the key's time (rotations: time, w, x, y, z; scales and
// translations: time, x, y, z).
template <uint32_t Stride>
struct KeyArray {
  static constexpr uint32_t kStride = Stride;
  std::vector<float> values;

  uint32_t count() const { return static_cast<uint32_t>(values.size() / Stride); }
  bool empty() const { return values.size() < Stride; }
  // Index, in floats, of the last key's first value (0 without keys).
  uint32_t LastKeyIndex() const { return empty() ? 0 : (count() - 1) * Stride; }
  float LastKeyTime() const { return empty() ? 0.0f : values[LastKeyIndex()]; }
  const float* Key(uint32_t k) const { return values.data() + static_cast<size_t>(k) * Stride; }
};

// The keyframes of one animated frame (limb): the frame's name as the file
// named it, its limb number, and its rotation, scale and translation keys.
struct AnimationTrack {
  static constexpr size_t kMaxFrameNameLength = 79;

  std::string frame_name;
  int32_t frame_number = 0;
  KeyArray<5> rotation_keys;
  KeyArray<4> scale_keys;
  KeyArray<4> translation_keys;

  void set_frame_name(std::string_view name) {
    frame_name.assign(name.substr(0, kMaxFrameNameLength));
  }
};

// The keyframe data of one model: its tracks, one per animated limb, in the
// order they were read or made.
struct KeyframeSet {
  std::vector<AnimationTrack> tracks;

  AnimationTrack& AppendTrack() { return tracks.emplace_back(); }
};

}  // namespace zv::models
