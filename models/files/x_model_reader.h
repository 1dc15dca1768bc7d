#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "models/files/keyframes.h"
#include "models/nodes/frame_node.h"
#include "models/nodes/node_services.h"

namespace zv::platform {
class XDataObject;
class XDocument;
}  // namespace zv::platform

namespace zv::models {

// A model read from an X file: the tree under a root frame named "root"
// (number 0), the number of frames counting the root, and the keyframes of
// the file's last AnimationSet (null when it has none).
struct XModel {
  std::unique_ptr<FrameNode> root;  // null when the file could not be read
  int32_t frame_count = 0;
  std::unique_ptr<KeyframeSet> keyframes;
  std::string error;  // why there is no root
  // What is wrong with a model that was read all the same (a file without
  // a mesh, texture coordinates that do not fit their mesh), placed as
  // errors are; empty when nothing is.
  std::string warning;
};

// Reads the X file at `path` (a path of this machine; the caller has
// resolved virtual files and spellings). Frames are numbered 1, 2, 3 ... in
// the order they are met, depth first; textures named by materials come
// from `services`, as do the textures' releases when the tree goes.
XModel ReadXModel(const std::string& path, NodeServices& services);
// The same from the bytes of an X file.
XModel ReadXModelFromMemory(std::span<const uint8_t> bytes, NodeServices& services);
// The same from a parsed file.
XModel BuildXModel(const platform::XDocument& document, NodeServices& services);

// The keyframes of an AnimationSet object: one track per Animation it
// holds, named after the frame its reference names.
std::unique_ptr<KeyframeSet> ReadXAnimationSet(const platform::XDataObject& set);

// Gives each track the number of the frame of `root`'s tree it names,
// `missing` when no frame has that name. Frames may share a name (limbs
// made from meshes all have one, objects of a 3DS file may): the tracks of a
// name take that name's frames in turn, in frame order (the first again once
// they run out), so each animates a frame of its own.
void NumberTracksByName(KeyframeSet& set, FrameNode& root, int32_t missing);

}  // namespace zv::models
