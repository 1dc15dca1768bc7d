#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine3d/objects/matrix_math.h"

namespace zv {

// An axis-aligned box that the static collision tests meet.
struct StaticBox {
  Vector3f min, max;
};

// A straight sweep from `start` along `advance` for `last` steps, grown by
// `reach` on every side: what a line test asks the boxes about.
struct StaticSweep {
  double start[3] = {};
  double advance[3] = {};
  double reach = 0.0;
  double last = 0.0;
};

// The static scene's collision boxes in the order they were made, with a
// tree of bounding boxes over them that lets a line test visit only the
// boxes near its line. Every change goes through here, so the tree (rebuilt
// by the first sweep after a change) never describes boxes that are gone.
class StaticBoxes {
 public:
  const std::vector<StaticBox>& list() const { return boxes_; }
  size_t size() const { return boxes_.size(); }
  bool empty() const { return boxes_.empty(); }
  std::vector<StaticBox>::const_iterator begin() const { return boxes_.begin(); }
  std::vector<StaticBox>::const_iterator end() const { return boxes_.end(); }

  void push_back(const StaticBox& box);
  void assign(std::vector<StaticBox> boxes);
  void clear();

  // Calls visit(index) for the boxes that the sweep may touch, nearer ones
  // first as far as the tree tells: a superset of those it touches, with
  // room for single-precision rounding along the way. visit returns the last
  // step still of interest, and boxes beyond it are passed over. Boxes with
  // corners that are not finite are always visited, and so is every box for
  // a sweep that is not finite.
  template <class Visit>
  void ForEachNear(const StaticSweep& sweep, Visit&& visit) const {
    VisitNear(
        sweep, [](void* context, uint32_t box) { return (*static_cast<decltype(&visit)>(context))(box); }, &visit);
  }

 private:
  struct Node {
    StaticBox bounds;
    uint32_t left = 0, right = 0;  // children of an inner node
    uint32_t first = 0, count = 0;  // a leaf's boxes in order_; count 0 inside
  };

  void VisitNear(const StaticSweep& sweep, double (*visit)(void*, uint32_t), void* context) const;
  void Rebuild() const;
  uint32_t BuildNode(uint32_t first, uint32_t count) const;

  std::vector<StaticBox> boxes_;
  // Built lazily: line tests see a const scene.
  mutable bool stale_ = true;
  mutable std::vector<Node> nodes_;
  mutable std::vector<uint32_t> order_;  // indexed boxes, grouped by leaf
  mutable std::vector<uint32_t> loose_;  // boxes the tree cannot hold
};

}  // namespace zv
