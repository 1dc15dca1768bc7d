#include "engine3d/objects/every_pose_radius.h"

#include <algorithm>
#include <cmath>

#include "engine3d/objects/matrix_math.h"

namespace zv {
namespace {

// How far a frame's matrix can carry the frame's origin from its parent's,
// and by how much at most it can stretch what stands in the frame.
struct Reach {
  double carry = 0;
  double stretch = 1;
};

double Length(double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); }

// The most a track's keys can stretch and carry its frame. Scales and
// translations are mixed between keys (and blends between two such
// mixes), never beyond them. A rotation of length l turns by it and scales
// by at most max(1, 2 l^2 - 1); keys of unit length interpolate and blend
// to unit length, others to at most twice the longest.
Reach ReachOfTrack(const models::AnimationTrack& track) {
  Reach reach;
  double scale = track.scale_keys.empty() ? 1.0 : 0.0;
  for (uint32_t k = 0; k < track.scale_keys.count(); ++k) {
    const float* v = track.scale_keys.Key(k);
    scale = std::max({scale, std::fabs(double{v[1]}), std::fabs(double{v[2]}), std::fabs(double{v[3]})});
  }
  for (uint32_t k = 0; k < track.translation_keys.count(); ++k) {
    const float* v = track.translation_keys.Key(k);
    reach.carry = std::max(reach.carry, Length(v[1], v[2], v[3]));
  }
  double longest = 0;
  bool unit = true;
  for (uint32_t k = 0; k < track.rotation_keys.count(); ++k) {
    const float* v = track.rotation_keys.Key(k);
    const double length =
        std::sqrt(double{v[1]} * v[1] + double{v[2]} * v[2] + double{v[3]} * v[3] + double{v[4]} * v[4]);
    longest = std::max(longest, length);
    unit = unit && std::fabs(length - 1.0) <= 1e-3;
  }
  const double l = unit ? std::max(1.0, longest) : 2.0 * longest;
  const double turn = track.rotation_keys.empty() ? 1.0 : std::max(1.0, 2.0 * l * l - 1.0);
  reach.stretch = scale * turn;
  return reach;
}

// A frame's own matrix: p x M is at most |p| sqrt(r + 2 s) from its
// translation, r the longest of the first three rows squared and s the
// largest of their products with each other.
Reach ReachOfMatrix(const Matrix4& m) {
  auto dot = [&](int i, int j) {
    return double{m.m[i][0]} * m.m[j][0] + double{m.m[i][1]} * m.m[j][1] + double{m.m[i][2]} * m.m[j][2];
  };
  double longest = 0, skew = 0;
  for (int i = 0; i < 3; ++i) {
    longest = std::max(longest, dot(i, i));
    for (int j = i + 1; j < 3; ++j) skew = std::max(skew, std::fabs(dot(i, j)));
  }
  return Reach{Length(m.m[3][0], m.m[3][1], m.m[3][2]), std::sqrt(longest + 2.0 * skew)};
}

// Down the frames from `frame`, whose parent's origin lies at most `carry`
// from the model's and stretches by at most `stretch`.
void WalkFrames(models::FrameNode& frame, const std::unordered_map<int32_t, Reach>& tracks, MeshReaches& meshes,
                double carry, double stretch, double& radius) {
  Reach local;
  if (frame.number() >= 1) {
    const auto track = tracks.find(frame.number());
    local = track != tracks.end() ? track->second : ReachOfMatrix(frame.local_matrix());
  }
  carry += stretch * local.carry;
  stretch *= local.stretch;
  for (models::SceneNode* child = frame.first_child(); child != nullptr; child = child->next_sibling()) {
    if (child->IsFrameNode()) {
      WalkFrames(*static_cast<models::FrameNode*>(child), tracks, meshes, carry, stretch, radius);
      continue;
    }
    const auto [mesh, measuring] = meshes.emplace(child, -1.0f);
    if (measuring) child->MaxVertexDistance(Matrix4::Identity(), Vector3f{}, &mesh->second);
    if (mesh->second >= 0.0f) radius = std::max(radius, carry + stretch * mesh->second);
  }
}

}  // namespace

float RadiusOfEveryPose(models::FrameNode& root, const models::KeyframeSet& keyframes, MeshReaches& meshes) {
  // A frame several tracks name takes the furthest of them.
  std::unordered_map<int32_t, Reach> tracks;
  for (const models::AnimationTrack& track : keyframes.tracks) {
    if (track.frame_number < 1) continue;
    const Reach reach = ReachOfTrack(track);
    const auto [at, added] = tracks.emplace(track.frame_number, reach);
    if (!added)
      at->second = Reach{std::max(at->second.carry, reach.carry), std::max(at->second.stretch, reach.stretch)};
  }
  double radius = -1.0;
  WalkFrames(root, tracks, meshes, 0.0, 1.0, radius);
  return static_cast<float>(radius);
}

}  // namespace zv
