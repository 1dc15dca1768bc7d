#include "collision/mesh_queries.h"

#include <vector>

#include "collision/solver.h"

namespace zv {
namespace {

// A last-in first-out stack that lives on the call stack while the walk is
// shallow and only allocates for unusually deep trees.
template <class T>
class WalkStack {
 public:
  bool empty() const { return size_ == 0; }
  void push(const T& item) {
    if (size_ < kInline) {
      inline_[size_++] = item;
    } else {
      overflow_.push_back(item);
      ++size_;
    }
  }
  T pop() {
    --size_;
    if (size_ < kInline) return inline_[size_];
    T item = overflow_.back();
    overflow_.pop_back();
    return item;
  }

 private:
  static constexpr size_t kInline = 64;
  T inline_[kInline];
  std::vector<T> overflow_;
  size_t size_ = 0;
};

// Walks the mesh's tree against a convex shape whose box in the mesh's frame
// is `bb`; `leaf_test` decides each piece whose box overlaps it.
template <class LeafTest>
bool WalkTreeAgainstConvex(const BoxTreeNode* root, const AxisBox& bb, LeafTest&& leaf_test) {
  if (root == nullptr) return false;
  WalkStack<const BoxTreeNode*> stack;
  stack.push(root);
  while (!stack.empty()) {
    const BoxTreeNode* node = stack.pop();
    if (!BoxesOverlap(node->box, bb)) continue;
    if (node->is_leaf) {
      if (leaf_test(*node->polytope)) return true;
    } else {
      stack.push(node->lower);
      stack.push(node->upper);
    }
  }
  return false;
}

template <class LeafTest>
bool QueryMeshConvex(const MeshShape& mesh, const ConvexShape& convex, const Placement& mesh_placement,
                     const Placement& convex_placement, LeafTest&& leaf_test) {
  const BoxTreeNode* root = mesh.tree().root();
  if (root == nullptr) return false;
  const Placement b_to_a = RelativePlacement(mesh_placement, convex_placement);
  const AxisBox bb = convex.Bounds(b_to_a);
  return WalkTreeAgainstConvex(root, bb, [&](const PolytopeShape& piece) { return leaf_test(piece, b_to_a); });
}

struct NodePair {
  const BoxTreeNode* a;
  const BoxTreeNode* b;
};

// The frames of a mesh pair, prepared once per query.
struct PairFrames {
  Placement b_to_a;
  Matrix3 abs_b_to_a;
  Placement a_to_b;
  Matrix3 abs_a_to_b;

  PairFrames(const Placement& a_placement, const Placement& b_placement)
      : b_to_a(RelativePlacement(a_placement, b_placement)),
        abs_b_to_a(AbsMatrix3(b_to_a.basis)),
        a_to_b(InvertPlacement(b_to_a)),
        abs_a_to_b(AbsMatrix3(a_to_b.basis)) {}
};

// Walks two trees against each other, descending the larger internal node
// (the first on a tie) and trying upper children before lower ones.
template <class LeafTest>
bool WalkTreePair(const BoxTreeNode* root_a, const BoxTreeNode* root_b, const PairFrames& f,
                  LeafTest&& leaf_test) {
  if (root_a == nullptr || root_b == nullptr) return false;
  WalkStack<NodePair> stack;
  stack.push({root_a, root_b});
  while (!stack.empty()) {
    const auto [a, b] = stack.pop();
    if (!BoxesMayOverlap(a->box, b->box, f.b_to_a, f.abs_b_to_a, f.a_to_b, f.abs_a_to_b)) continue;
    if (a->is_leaf && b->is_leaf) {
      if (leaf_test(*a->polytope, *b->polytope)) return true;
      continue;
    }
    const bool descend_b = a->is_leaf || (!b->is_leaf && a->Size() < b->Size());
    if (descend_b) {
      stack.push({a, b->lower});
      stack.push({a, b->upper});
    } else {
      stack.push({a->lower, b});
      stack.push({a->upper, b});
    }
  }
  return false;
}

}  // namespace

bool MeshIntersectsConvex(const MeshShape& mesh, const ConvexShape& convex, const Placement& mesh_placement,
                          const Placement& convex_placement, Vector3& v) {
  return QueryMeshConvex(mesh, convex, mesh_placement, convex_placement,
                         [&](const PolytopeShape& piece, const Placement& b_to_a) {
                           return ConvexIntersect(piece, convex, b_to_a, v);
                         });
}

bool MeshFindConvexHit(const MeshShape& mesh, const ConvexShape& convex, const Placement& mesh_placement,
                       const Placement& convex_placement, Vector3& v, const PolytopeShape*& hit) {
  return QueryMeshConvex(mesh, convex, mesh_placement, convex_placement,
                         [&](const PolytopeShape& piece, const Placement& b_to_a) {
                           if (!ConvexIntersect(piece, convex, b_to_a, v)) return false;
                           hit = &piece;
                           return true;
                         });
}

bool MeshCommonPointConvex(const MeshShape& mesh, const ConvexShape& convex, const Placement& mesh_placement,
                           const Placement& convex_placement, Vector3& v, Vector3& pa, Vector3& pb) {
  return QueryMeshConvex(mesh, convex, mesh_placement, convex_placement,
                         [&](const PolytopeShape& piece, const Placement& b_to_a) {
                           return ConvexCommonPoint(piece, convex, b_to_a, v, pa, pb);
                         });
}

bool MeshesIntersect(const MeshShape& a, const MeshShape& b, const Placement& a_placement,
                     const Placement& b_placement, Vector3& v) {
  const PairFrames f(a_placement, b_placement);
  return WalkTreePair(a.tree().root(), b.tree().root(), f, [&](const PolytopeShape& pa, const PolytopeShape& pb) {
    return ConvexIntersect(pa, pb, f.b_to_a, v);
  });
}

bool MeshesFindHit(const MeshShape& a, const MeshShape& b, const Placement& a_placement,
                   const Placement& b_placement, Vector3& v, const PolytopeShape*& hit_a,
                   const PolytopeShape*& hit_b) {
  const PairFrames f(a_placement, b_placement);
  return WalkTreePair(a.tree().root(), b.tree().root(), f, [&](const PolytopeShape& pa, const PolytopeShape& pb) {
    if (!ConvexIntersect(pa, pb, f.b_to_a, v)) return false;
    hit_a = &pa;
    hit_b = &pb;
    return true;
  });
}

bool MeshesCommonPoint(const MeshShape& a, const MeshShape& b, const Placement& a_placement,
                       const Placement& b_placement, Vector3& v, Vector3& pa, Vector3& pb) {
  const PairFrames f(a_placement, b_placement);
  return WalkTreePair(a.tree().root(), b.tree().root(), f, [&](const PolytopeShape& a_piece,
                                                               const PolytopeShape& b_piece) {
    return ConvexCommonPoint(a_piece, b_piece, f.b_to_a, v, pa, pb);
  });
}

}  // namespace zv
