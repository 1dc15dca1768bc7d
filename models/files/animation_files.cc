#include "models/files/animation_files.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>
#include <vector>

#include "models/files/x_model_reader.h"
#include "platform/paths/file_read.h"
#include "platform/paths/file_save.h"
#include "platform/xfile/animation_view.h"
#include "platform/xfile/builders.h"
#include "platform/xfile/reader.h"
#include "platform/xfile/writer.h"
#include "runtime/vm/numeric/float_to_int.h"

namespace zv::models {

using platform::XTemplateKind;

namespace {

template <uint32_t Stride>
std::unique_ptr<platform::XDataObject> MakeKeys(uint32_t key_type, const KeyArray<Stride>& keys) {
  std::vector<uint32_t> times;
  std::vector<float> values;
  for (uint32_t k = 0; k < keys.count(); ++k) {
    const float* key = keys.Key(k);
    times.push_back(static_cast<uint32_t>(TruncateToInt32(key[0])));
    values.insert(values.end(), key + 1, key + Stride);
  }
  return platform::MakeXAnimationKey(key_type, times, values, Stride - 1);
}

// T's keys, then (when T has keys and its last one is not at the end time)
// a copy of its last key at the end time, then A's keys moved by the offset.
template <uint32_t Stride>
void AppendKeys(KeyArray<Stride>& into, const KeyArray<Stride>& from, float offset, float end) {
  const bool bridge = !into.empty() && end != into.LastKeyTime();
  if (into.count() + from.count() + (bridge ? 1 : 0) == 0) return;
  std::vector<float> merged = into.values;
  if (bridge) {
    const float* last = into.Key(into.count() - 1);
    merged.push_back(end);
    merged.insert(merged.end(), last + 1, last + Stride);
  }
  for (uint32_t k = 0; k < from.count(); ++k) {
    const float* key = from.Key(k);
    merged.push_back(key[0] + offset);
    merged.insert(merged.end(), key + 1, key + Stride);
  }
  into.values = std::move(merged);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  // A missing file is made empty, as the joining has always done, as any
  // file is made (an existing one stays as it is).
  platform::SaveFile(path, std::string_view(), platform::ExistingFile::kKeep);
  auto bytes = platform::ReadWholeFile(path);
  if (!bytes) return std::nullopt;
  return std::string(bytes->begin(), bytes->end());
}

}  // namespace

bool SaveAnimation(const KeyframeSet* keyframes, const std::string& path) {
  platform::XDocument document;
  if (keyframes != nullptr) {
    auto set = platform::MakeXObject(XTemplateKind::kAnimationSet, "xkq_animset_0");
    int n = 0;
    for (const AnimationTrack& track : keyframes->tracks) {
      auto animation = platform::MakeXObject(XTemplateKind::kAnimation, "xkq_anim_" + std::to_string(n++));
      // A track of no frame has nothing to refer to.
      if (!track.frame_name.empty()) animation->AddReference(platform::MakeXReference(track.frame_name));
      animation->AddChild(MakeKeys(platform::kXRotationKey, track.rotation_keys));
      animation->AddChild(MakeKeys(platform::kXScaleKey, track.scale_keys));
      animation->AddChild(MakeKeys(platform::kXPositionKey, track.translation_keys));
      set->AddChild(std::move(animation));
    }
    document.AddObject(std::move(set));
  }
  platform::XWriteOptions options;
  options.encoding = platform::XEncoding::kText;
  return platform::SaveXFile(path, document, options).ok();
}

bool AppendXAnimation(const std::string& path, FrameNode& root, KeyframeSet* keyframes,
                      int32_t time_offset, int32_t end_time) {
  auto document = platform::ReadXFile(path);
  if (!document.ok()) return false;
  std::unique_ptr<KeyframeSet> read;
  for (const auto& object : document->objects)
    if (object->Is(XTemplateKind::kAnimationSet)) read = models::ReadXAnimationSet(*object);
  if (!read) return false;
  NumberTracksByName(*read, root, -1);
  if (keyframes == nullptr) return true;
  const float offset = static_cast<float>(time_offset), end = static_cast<float>(end_time);
  for (const AnimationTrack& from : read->tracks) {
    if (from.frame_number == -1) continue;
    for (AnimationTrack& into : keyframes->tracks) {
      if (into.frame_number != from.frame_number) continue;
      AppendKeys(into.rotation_keys, from.rotation_keys, offset, end);
      AppendKeys(into.scale_keys, from.scale_keys, offset, end);
      AppendKeys(into.translation_keys, from.translation_keys, offset, end);
      break;
    }
  }
  return true;
}

bool MergeAnimationFile(FrameNode* root, KeyframeSet* keyframes, const std::string& path,
                        int32_t time_offset, int32_t end_time) {
  if (root == nullptr) return false;
  return AppendXAnimation(path, *root, keyframes, time_offset, end_time);
}

bool JoinAndMergeAnimation(FrameNode* root, KeyframeSet* keyframes, const std::string& first,
                           const std::string& second, const std::string& work_file,
                           int32_t time_offset, int32_t end_time) {
  if (root == nullptr) return false;
  auto head = ReadWholeFile(first);
  if (!head) return false;
  // Without the second file there is nothing joined to merge: the work file
  // still holds whatever was written there before.
  auto tail = ReadWholeFile(second);
  if (!tail) return false;
  constexpr size_t kHeaderLine = 17;  // "xof 0302txt 0032" and its line end
  std::string joined = *head;
  if (tail->size() > kHeaderLine) joined.append(*tail, kHeaderLine);
  if (!platform::SaveFile(work_file, std::string_view(joined))) return false;
  return AppendXAnimation(work_file, *root, keyframes, time_offset, end_time);
}

}  // namespace zv::models
