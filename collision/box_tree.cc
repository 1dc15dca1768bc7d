#include "collision/box_tree.h"

#include <cmath>
#include <utility>

namespace zv {
namespace {

AxisBox FitPiece(const PolytopeShape& piece) {
  AxisBox box = AxisBox::Empty();
  for (int k = 0; k < piece.count(); ++k) box.Include(piece.Vertex(k));
  return box;
}

// The longest axis of the box; ties prefer x over y and the earlier over z.
int SplitAxis(const AxisBox& box) {
  const double ax = std::fabs(box.half_extent.x);
  const double ay = std::fabs(box.half_extent.y);
  const double az = std::fabs(box.half_extent.z);
  int axis = ax < ay ? 1 : 0;
  const double taken = axis == 1 ? ay : ax;
  if (az > taken) axis = 2;
  return axis;
}

// Moves the leaves whose centre is at or above the node's centre to the end
// of the range; returns the first of them.
size_t Partition(std::vector<BoxTreeNode>& leaves, size_t begin, size_t end, int axis, double centre) {
  size_t i = begin;
  size_t mid = end;
  while (i < mid) {
    if (centre <= leaves[i].box.centre[axis]) {
      --mid;
      std::swap(leaves[i], leaves[mid]);
    } else {
      ++i;
    }
  }
  return mid;
}

// An internal node still to be built: the link that will point at it and the
// leaves it covers.
struct PendingNode {
  const BoxTreeNode** link;
  size_t begin;
  size_t end;
};

}  // namespace

BoxTree BoxTree::Build(std::span<const PolytopeShape* const> pieces) {
  BoxTree tree;
  const size_t n = pieces.size();
  tree.leaves_.resize(n);
  for (size_t i = 0; i < n; ++i) {
    BoxTreeNode& leaf = tree.leaves_[i];
    leaf.polytope = pieces[i];
    leaf.box = FitPiece(*pieces[i]);
  }
  if (n == 0) return tree;
  if (n == 1) {
    tree.root_ = &tree.leaves_[0];
    return tree;
  }
  tree.nodes_.resize(n - 1);
  size_t cursor = 0;
  // An explicit stack rather than recursion: a lopsided mesh can nest the
  // tree thousands of levels deep. Lower subtrees are taken before upper ones,
  // so the nodes come out in the same order as a recursive build hands them out.
  std::vector<PendingNode> pending{{&tree.root_, 0, n}};
  while (!pending.empty()) {
    const PendingNode job = pending.back();
    pending.pop_back();
    BoxTreeNode& node = tree.nodes_[cursor++];
    *job.link = &node;
    node.is_leaf = false;
    node.box = AxisBox::Empty();
    for (size_t i = job.begin; i < job.end; ++i) node.box.Include(tree.leaves_[i].box);
    const int axis = SplitAxis(node.box);
    size_t mid = Partition(tree.leaves_, job.begin, job.end, axis, node.box.centre[axis]);
    if (mid == job.begin || mid == job.end) mid = job.begin + (job.end - job.begin) / 2;
    if (job.end - mid >= 2) {
      pending.push_back({&node.upper, mid, job.end});
    } else {
      node.upper = &tree.leaves_[mid];
    }
    if (mid - job.begin >= 2) {
      pending.push_back({&node.lower, job.begin, mid});
    } else {
      node.lower = &tree.leaves_[job.begin];
    }
  }
  return tree;
}

bool BoxesMayOverlap(const AxisBox& a, const AxisBox& b, const Placement& b_to_a, const Matrix3& abs_b_to_a,
                     const Placement& a_to_b, const Matrix3& abs_a_to_b) {
  const Vector3 e = Apply(b_to_a, b.centre) - a.centre;
  for (int i = 0; i < 3; ++i) {
    if (!(std::fabs(e[i]) <= a.half_extent[i] + DotRow(abs_b_to_a, i, b.half_extent))) return false;
  }
  const Vector3 d = Apply(a_to_b, a.centre) - b.centre;
  for (int i = 0; i < 3; ++i) {
    if (!(std::fabs(d[i]) <= b.half_extent[i] + DotRow(abs_a_to_b, i, a.half_extent))) return false;
  }
  return true;
}

}  // namespace zv
