#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "collision/axis_box.h"
#include "collision/world_box_tree.h"
#include "engine3d/objects/matrix_math.h"

namespace zv {

// A box in the world: its centre, half its size along each of its axes,
// and a matrix whose first three rows run along those axes.
struct PlacedBox {
  Vector3f centre, half;
  Matrix4 axes;
};

// The boxes of the objects that collide by boxes (record indices), as they
// were made for the objects' placements, kept until the objects are placed
// anew, and what each of them can reach in a tree of boxes: a query of one
// object costs its neighbours, not every object, and no limb's box is made
// again while its object stands still.
class PlacedBoxes {
 public:
  struct Kept {
    std::vector<PlacedBox> boxes;
    // Around every point at which each of the boxes, and any of the
    // object's box tests, could meet another: empty when none can, not
    // finite when it may meet any.
    std::vector<AxisBox> reaches;
    AxisBox reach;
  };

  // The object's boxes as kept, or null when they were not made since it
  // was last placed.
  const Kept* Find(int32_t index) const;
  // The object's boxes for its placement; the tree takes its reach when
  // next it is brought up to date.
  void Keep(int32_t index, Kept kept);
  // The object was placed anew: its boxes are made again when next needed.
  void Forget(int32_t index);
  // Any object may have changed (and any may now collide by boxes).
  void ForgetAll();
  // Whether no object's boxes were kept since everything was forgotten.
  bool Empty() const { return entries_.empty(); }

  // Whether every object is to be looked at again, and the objects whose
  // boxes were kept or forgotten since the tree was last brought up to date.
  bool everything_forgotten() const { return everything_forgotten_; }
  const std::vector<int32_t>& not_filed() const { return not_filed_; }
  // The tree holds the reach of every object kept (a forgotten one leaves
  // it) and is up to date.
  void FileKept();

  // Calls visit(index) for each object whose reach may meet `reach`: its
  // leaf meets it, or its reach is not finite.
  template <class Visit>
  void ForEachNear(const AxisBox& reach, Visit&& visit) const {
    tree_.ForEachMeeting(reach, visit);
    for (const int32_t index : unbounded_) visit(index);
  }

 private:
  struct Entry {
    Kept kept;
    bool made = false;
    bool listed = false;  // in `not_filed_`
    int32_t leaf = WorldBoxTree<int32_t>::kNoLeaf;
  };

  Entry* At(int32_t index);
  void List(int32_t index, Entry& entry);
  void Unfile(int32_t index, Entry& entry);

  std::vector<Entry> entries_;  // by record index
  std::vector<int32_t> not_filed_;
  bool everything_forgotten_ = true;
  WorldBoxTree<int32_t> tree_;
  std::unordered_set<int32_t> unbounded_;
};

}  // namespace zv
