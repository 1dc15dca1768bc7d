#include "engine3d/scene/static_boxes.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zv {
namespace {

constexpr uint32_t kLeafBoxes = 4;
// Deep enough for any tree of 32-bit counts split at the median.
constexpr int kMostDepth = 64;
// How far single-precision rounding may carry a walked point off the exact
// line, relative to the sizes involved; generous, since the tree only
// filters and every box it lets through is tested exactly.
constexpr double kRoundingRoom = 1e-5;

float Axis(const Vector3f& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

bool IsFinite(const StaticBox& b) {
  return std::isfinite(b.min.x) && std::isfinite(b.min.y) && std::isfinite(b.min.z) && std::isfinite(b.max.x) &&
         std::isfinite(b.max.y) && std::isfinite(b.max.z);
}

bool IsFinite(const StaticSweep& s) {
  for (int axis = 0; axis < 3; ++axis)
    if (!std::isfinite(s.start[axis]) || !std::isfinite(s.advance[axis])) return false;
  return std::isfinite(s.reach) && std::isfinite(s.last);
}

StaticBox Union(const StaticBox& a, const StaticBox& b) {
  return StaticBox{{std::min(a.min.x, b.min.x), std::min(a.min.y, b.min.y), std::min(a.min.z, b.min.z)},
                   {std::max(a.max.x, b.max.x), std::max(a.max.y, b.max.y), std::max(a.max.z, b.max.z)}};
}

// The sweep with what every box test needs worked out once.
struct PreparedSweep {
  double start[3], advance[3], inverse[3];
  double room[3];  // the reach and the rounding room but for the box's part
  double last;

  explicit PreparedSweep(const StaticSweep& s) : last(s.last) {
    for (int axis = 0; axis < 3; ++axis) {
      start[axis] = s.start[axis];
      advance[axis] = s.advance[axis];
      inverse[axis] = advance[axis] != 0.0 ? 1.0 / advance[axis] : 0.0;
      room[axis] = s.reach + kRoundingRoom * (std::fabs(start[axis]) + std::fabs(advance[axis]) * s.last + s.reach);
    }
  }

  // The first step at which the sweep comes within its reach of the box
  // (and some room for rounding), up to `limit`; -1 when it does not.
  double Enters(const StaticBox& b, double limit) const {
    double enter = 0.0, leave = limit;
    for (int axis = 0; axis < 3; ++axis) {
      const double lo = Axis(b.min, axis), hi = Axis(b.max, axis);
      const double extra = room[axis] + kRoundingRoom * std::max(std::fabs(lo), std::fabs(hi));
      const double low = lo - extra, high = hi + extra;
      if (advance[axis] == 0.0) {
        if (start[axis] < low || start[axis] > high) return -1.0;
        continue;
      }
      double t0 = (low - start[axis]) * inverse[axis], t1 = (high - start[axis]) * inverse[axis];
      if (t0 > t1) std::swap(t0, t1);
      enter = std::max(enter, t0);
      leave = std::min(leave, t1);
      if (enter > leave) return -1.0;
    }
    return enter;
  }
};

}  // namespace

void StaticBoxes::push_back(const StaticBox& box) {
  boxes_.push_back(box);
  stale_ = true;
}

void StaticBoxes::assign(std::vector<StaticBox> boxes) {
  boxes_ = std::move(boxes);
  stale_ = true;
}

void StaticBoxes::clear() {
  boxes_.clear();
  stale_ = true;
}

void StaticBoxes::VisitNear(const StaticSweep& sweep, double (*visit)(void*, uint32_t), void* context) const {
  double limit = sweep.last;
  if (!IsFinite(sweep)) {
    for (uint32_t i = 0; i < boxes_.size(); ++i) visit(context, i);
    return;
  }
  if (stale_) Rebuild();
  for (uint32_t i : loose_) limit = std::min(limit, visit(context, i));
  const PreparedSweep prepared(sweep);
  if (nodes_.empty() || prepared.Enters(nodes_[0].bounds, limit) < 0.0) return;
  // Nodes still to visit with the step at which the sweep enters them; the
  // nearer child is taken first, so that early contacts cut the rest short.
  struct Pending {
    uint32_t node;
    double enter;
  };
  Pending pending[kMostDepth * 2];
  int count = 0;
  pending[count++] = {0, 0.0};
  while (count > 0) {
    const Pending next = pending[--count];
    if (next.enter > limit) continue;
    const Node& node = nodes_[next.node];
    if (node.count > 0) {
      for (uint32_t k = 0; k < node.count; ++k) {
        const uint32_t box = order_[node.first + k];
        if (prepared.Enters(boxes_[box], limit) >= 0.0) limit = std::min(limit, visit(context, box));
      }
      continue;
    }
    const double left = prepared.Enters(nodes_[node.left].bounds, limit);
    const double right = prepared.Enters(nodes_[node.right].bounds, limit);
    const Pending near{node.left, left}, far{node.right, right};
    const bool left_first = right < 0.0 || (left >= 0.0 && left <= right);
    for (const Pending& p : left_first ? std::array{far, near} : std::array{near, far})
      if (p.enter >= 0.0) pending[count++] = p;
  }
}

void StaticBoxes::Rebuild() const {
  nodes_.clear();
  order_.clear();
  loose_.clear();
  for (uint32_t i = 0; i < boxes_.size(); ++i) (IsFinite(boxes_[i]) ? order_ : loose_).push_back(i);
  if (!order_.empty()) {
    nodes_.reserve(2 * order_.size() / kLeafBoxes + 2);
    BuildNode(0, static_cast<uint32_t>(order_.size()));
  }
  stale_ = false;
}

// Splits the boxes at the median of their centres along the longest side of
// their bounds, so the tree stays balanced whatever the layout.
uint32_t StaticBoxes::BuildNode(uint32_t first, uint32_t count) const {
  const uint32_t index = static_cast<uint32_t>(nodes_.size());
  nodes_.emplace_back();
  StaticBox bounds = boxes_[order_[first]];
  for (uint32_t k = 1; k < count; ++k) bounds = Union(bounds, boxes_[order_[first + k]]);
  nodes_[index].bounds = bounds;
  if (count <= kLeafBoxes) {
    nodes_[index].first = first;
    nodes_[index].count = count;
    return index;
  }
  int axis = 0;
  float longest = -1.0f;
  for (int a = 0; a < 3; ++a)
    if (const float side = Axis(bounds.max, a) - Axis(bounds.min, a); side > longest) longest = side, axis = a;
  const auto centre = [&](uint32_t box) { return Axis(boxes_[box].min, axis) + Axis(boxes_[box].max, axis); };
  const uint32_t half = count / 2;
  std::nth_element(order_.begin() + first, order_.begin() + first + half, order_.begin() + first + count,
                   [&](uint32_t a, uint32_t b) { return centre(a) < centre(b); });
  const uint32_t left = BuildNode(first, half);
  const uint32_t right = BuildNode(first + half, count - half);
  nodes_[index].left = left;
  nodes_[index].right = right;
  return index;
}

}  // namespace zv
