#pragma once

#include <cstdint>
#include <string>

#include "models/files/keyframes.h"
#include "models/nodes/frame_node.h"

namespace zv::models {

// Writes the keyframes as an X text file holding one AnimationSet
// ("xkq_animset_0") with one Animation ("xkq_anim_<n>") per track: a
// reference to the track's frame and its rotation, scale and translation
// keys (all three, also when empty; times cut to whole numbers). Without
// keyframes the file holds no objects. A failed write leaves any earlier
// file as it was and returns false, errno saying why.
bool SaveAnimation(const KeyframeSet* keyframes, const std::string& path);

// Reads the last AnimationSet of the X file at `path` and appends its keys
// to the model's tracks of the same frames: where a track's last key is not
// at `end_time`, a copy of that key is put there first; the file's keys
// follow with their times moved by `time_offset`. Tracks of the file whose
// frame the model lacks are dropped. False when the file holds no
// AnimationSet (or cannot be read).
bool AppendXAnimation(const std::string& path, FrameNode& root, KeyframeSet* keyframes,
                      int32_t time_offset, int32_t end_time);

// AppendXAnimation into a model; false without a root.
bool MergeAnimationFile(FrameNode* root, KeyframeSet* keyframes, const std::string& path,
                        int32_t time_offset, int32_t end_time);

// Joins two X files into `work_file` (the whole first file, then the second
// without its 17-byte header line) and merges the result as
// MergeAnimationFile does. False without a root, when either file cannot be
// read (nothing is merged then), when the work file cannot be written, or
// when the merge fails.
bool JoinAndMergeAnimation(FrameNode* root, KeyframeSet* keyframes, const std::string& first,
                           const std::string& second, const std::string& work_file,
                           int32_t time_offset, int32_t end_time);

}  // namespace zv::models
