#include "collision/solver.h"

#include <algorithm>
#include <cmath>

namespace zv {
namespace {

// Squared length of the search vector at which the origin counts as reached.
constexpr double kZeroLengthSquared = 1e-20;
// Relative tolerance of the closest-points loop.
constexpr double kRelativeTolerance = 1e-6;
// No query takes more steps than this; in exact arithmetic far fewer suffice,
// the cap only stops rounding from cycling.
constexpr int kMaxIterations = 100;
constexpr int kPerturbedAttempts = 32;
// One millionth in single precision, widened: the step by which each attempt
// of the placed intersection test tilts a's search basis.
constexpr double kPerturbationStep = 9.999999974752427e-07;
constexpr int kFullSimplex = 15;

// The simplex of one query, with Johnson's sub-determinants cached per subset
// of its (at most four) vertices and updated as each vertex arrives. Entries
// are read only after the same query has written them.
class Simplex {
 public:
  void Reset() { bits_ = all_bits_ = 0; }

  // Picks the lowest free slot for the next vertex.
  void ChooseSlot() {
    last_ = 0;
    last_bit_ = 1;
    while (bits_ & last_bit_) {
      ++last_;
      last_bit_ <<= 1;
    }
  }

  // True when w repeats a vertex of the previous step: the iteration can make
  // no more progress.
  bool IsDegenerate(const Vector3& w) const {
    for (int i = 0; i < 4; ++i) {
      if ((all_bits_ & (1 << i)) && PointsEqual(y_[i], w)) return true;
    }
    return false;
  }

  void StoreShapePoints(const Vector3& p, const Vector3& q) {
    p_[last_] = p;
    q_[last_] = q;
  }

  void StoreVertex(const Vector3& w) {
    y_[last_] = w;
    all_bits_ = bits_ | last_bit_;
  }

  // Reduces the simplex to the smallest subset whose hull holds the point
  // nearest the origin and puts that point in v. False when no subset passes,
  // which rounding can cause near a face.
  bool ClosestPoint(Vector3& v) {
    ComputeDeterminants();
    for (int s = bits_; s != 0; --s) {
      if ((s & bits_) == s && IsValid(s | last_bit_)) {
        bits_ = s | last_bit_;
        v = VectorOf(bits_);
        return true;
      }
    }
    if (IsValid(last_bit_)) {
      bits_ = last_bit_;
      v = y_[last_];
      return true;
    }
    return false;
  }

  // Johnson's test can accept a nearly flat simplex through rounding: its
  // weights are then noise, and the point they make may lie far from the
  // origin although the shapes almost touch. Among every subset of the
  // vertices whose weights are all positive, this takes the one whose point
  // lies nearest the origin (singletons always qualify), so the simplex point
  // and the shape points behind it stay consistent.
  void TakeNearestSubset(Vector3& v) {
    int best = 0;
    double best_length = 0.0;
    for (int s = 1; s <= kFullSimplex; ++s) {
      if ((s & all_bits_) != s || !HasPositiveWeights(s)) continue;
      const Vector3 candidate = VectorOf(s);
      const double length = Dot(candidate, candidate);
      if (best == 0 || length < best_length) {
        best = s;
        best_length = length;
        v = candidate;
      }
    }
    if (best != 0) bits_ = best;
  }

  // The shape points behind the current simplex point, weighted as the
  // simplex point is. Needs a non-empty simplex.
  void ShapePoints(Vector3& pa, Vector3& pb) const {
    double sum = 0.0;
    Vector3 a, b;
    for (int i = 0; i < 4; ++i) {
      if (bits_ & (1 << i)) {
        sum += det_[bits_][i];
        a += p_[i] * det_[bits_][i];
        b += q_[i] * det_[bits_][i];
      }
    }
    const double s = 1.0 / sum;
    pa = a * s;
    pb = b * s;
  }

  int bits() const { return bits_; }
  void RestoreBits(int bits) { bits_ = bits; }

 private:
  void ComputeDeterminants() {
    for (int i = 0; i < 4; ++i) {
      if (bits_ & (1 << i)) dp_[i][last_] = dp_[last_][i] = Dot(y_[i], y_[last_]);
    }
    dp_[last_][last_] = Dot(y_[last_], y_[last_]);
    det_[last_bit_][last_] = 1.0;
    for (int j = 0, sj = 1; j < 4; ++j, sj <<= 1) {
      if (!(bits_ & sj)) continue;
      const int s2 = sj | last_bit_;
      det_[s2][j] = dp_[last_][last_] - dp_[last_][j];
      det_[s2][last_] = dp_[j][j] - dp_[j][last_];
      for (int k = 0, sk = 1; k < j; ++k, sk <<= 1) {
        if (!(bits_ & sk)) continue;
        const int s3 = sk | s2;
        det_[s3][k] = det_[s2][j] * (dp_[j][j] - dp_[j][k]) + det_[s2][last_] * (dp_[last_][j] - dp_[last_][k]);
        det_[s3][j] = det_[sk | last_bit_][k] * (dp_[k][k] - dp_[k][j]) +
                      det_[sk | last_bit_][last_] * (dp_[last_][k] - dp_[last_][j]);
        det_[s3][last_] = det_[sk | sj][k] * (dp_[k][k] - dp_[k][last_]) +
                          det_[sk | sj][j] * (dp_[j][k] - dp_[j][last_]);
      }
    }
    if (all_bits_ == kFullSimplex) {
      det_[15][0] = det_[14][1] * (dp_[1][1] - dp_[1][0]) + det_[14][2] * (dp_[2][1] - dp_[2][0]) +
                    det_[14][3] * (dp_[3][1] - dp_[3][0]);
      det_[15][1] = det_[13][0] * (dp_[0][0] - dp_[0][1]) + det_[13][2] * (dp_[2][0] - dp_[2][1]) +
                    det_[13][3] * (dp_[3][0] - dp_[3][1]);
      det_[15][2] = det_[11][0] * (dp_[0][0] - dp_[0][2]) + det_[11][1] * (dp_[1][0] - dp_[1][2]) +
                    det_[11][3] * (dp_[3][0] - dp_[3][2]);
      det_[15][3] = det_[7][0] * (dp_[0][0] - dp_[0][3]) + det_[7][1] * (dp_[1][0] - dp_[1][3]) +
                    det_[7][2] * (dp_[2][0] - dp_[2][3]);
    }
  }

  // A subset is valid when every member has a positive weight and no vertex
  // outside it would pull the nearest point towards itself.
  bool IsValid(int s) const {
    for (int i = 0, bit = 1; i < 4; ++i, bit <<= 1) {
      if (!(all_bits_ & bit)) continue;
      if (s & bit) {
        if (!(det_[s][i] > 0.0)) return false;
      } else if (det_[s | bit][i] > 0.0) {
        return false;
      }
    }
    return true;
  }

  bool HasPositiveWeights(int s) const {
    for (int i = 0; i < 4; ++i) {
      if ((s & (1 << i)) && !(det_[s][i] > 0.0)) return false;
    }
    return true;
  }

  // Valid subsets have a positive weight sum, so the division is safe.
  Vector3 VectorOf(int s) const {
    double sum = 0.0;
    Vector3 v;
    for (int i = 0; i < 4; ++i) {
      if (s & (1 << i)) {
        sum += det_[s][i];
        v += y_[i] * det_[s][i];
      }
    }
    return v * (1.0 / sum);
  }

  Vector3 p_[4];
  Vector3 q_[4];
  Vector3 y_[4];
  double dp_[4][4];
  double det_[16][4];
  int bits_ = 0;
  int last_ = 0;
  int last_bit_ = 1;
  int all_bits_ = 0;
};

struct SupportStep {
  Vector3 p;  // on a, in a's frame
  Vector3 q;  // on b, in b's frame
  Vector3 w;  // p - q in the common frame
};

// a's frame is the common frame; b stands at `b_to_a` in it.
struct RelativeFrames {
  const Placement& b_to_a;

  SupportStep Step(const ConvexShape& a, const ConvexShape& b, const Vector3& v) const {
    SupportStep s;
    s.p = a.Support(-v);
    s.q = b.Support(ToLocalDirection(b_to_a, v));
    s.w = s.p - Apply(b_to_a, s.q);
    return s;
  }

  void ClosestPoints(const ConvexShape& a, const ConvexShape& b, Vector3& pa, Vector3& pb) const {
    Placement a_placement;
    SetPlacementIdentity(a_placement);
    ConvexClosestPoints(a, b, a_placement, b_to_a, pa, pb);
  }
};

// The world is the common frame. a's search directions turn through
// `a_search`, which may be a perturbed copy of a's placement; its points are
// always placed with the true placement.
struct PlacedFrames {
  const Placement& a_search;
  const Placement& a_placement;
  const Placement& b_placement;

  SupportStep Step(const ConvexShape& a, const ConvexShape& b, const Vector3& v) const {
    SupportStep s;
    s.p = a.Support(ToLocalDirection(a_search, -v));
    s.q = b.Support(ToLocalDirection(b_placement, v));
    s.w = Apply(a_placement, s.p) - Apply(b_placement, s.q);
    return s;
  }

  void ClosestPoints(const ConvexShape& a, const ConvexShape& b, Vector3& pa, Vector3& pb) const {
    ConvexClosestPoints(a, b, a_placement, b_placement, pa, pb);
  }
};

enum class Outcome {
  kSeparated,  // v separates the shapes, or a support point was not finite
  kReached,    // the simplex encloses the origin or v has reached it
  kStuck,      // no further progress: repeated vertex, failed sub-algorithm, cap
};

// A search vector left by an earlier query may be unusable as a start. One
// that is not finite gives only non-finite support points. One shorter than the
// tolerance has no reliable direction: round shapes answer such a direction
// with their centre, which is no extreme point, so a separating test against
// it could part shapes that overlap. Zero is a safe start.
void SanitiseSearchVector(Vector3& v) {
  if (!(Dot(v, v) >= kZeroLengthSquared)) v = {};
}

template <class Frames>
Outcome RunIntersection(const ConvexShape& a, const ConvexShape& b, const Frames& frames, Simplex& simplex,
                        Vector3& v) {
  SanitiseSearchVector(v);
  simplex.Reset();
  for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
    simplex.ChooseSlot();
    const SupportStep step = frames.Step(a, b, v);
    if (!IsFinite(step.w)) return Outcome::kSeparated;
    // Exactly zero does not separate: shapes in contact are not told apart.
    if (Dot(v, step.w) > 0.0) return Outcome::kSeparated;
    if (simplex.IsDegenerate(step.w)) return Outcome::kStuck;
    simplex.StoreShapePoints(step.p, step.q);
    simplex.StoreVertex(step.w);
    if (!simplex.ClosestPoint(v)) return Outcome::kStuck;
    if (simplex.bits() == kFullSimplex || Dot(v, v) < kZeroLengthSquared) return Outcome::kReached;
  }
  return Outcome::kStuck;
}

template <class Frames>
bool CommonPoint(const ConvexShape& a, const ConvexShape& b, const Frames& frames, Vector3& v, Vector3& pa,
                 Vector3& pb) {
  Simplex simplex;
  if (RunIntersection(a, b, frames, simplex, v) != Outcome::kReached) return false;
  // A full simplex that rounding accepted while nearly flat has weights that
  // are noise: its points could lie far apart. The answer stays a hit, and
  // the points become the shapes' closest points, which meet when the shapes
  // overlap and are as near as the shapes are otherwise.
  if (Dot(v, v) >= kZeroLengthSquared) {
    frames.ClosestPoints(a, b, pa, pb);
    return true;
  }
  simplex.ShapePoints(pa, pb);
  return true;
}

}  // namespace

bool ConvexIntersect(const ConvexShape& a, const ConvexShape& b, const Placement& b_to_a, Vector3& v) {
  Simplex simplex;
  return RunIntersection(a, b, RelativeFrames{b_to_a}, simplex, v) == Outcome::kReached;
}

bool ConvexIntersectPlaced(const ConvexShape& a, const ConvexShape& b, const Placement& a_placement,
                           const Placement& b_placement, Vector3& v) {
  Placement a_search = a_placement;
  const PlacedFrames frames{a_search, a_placement, b_placement};
  Simplex simplex;
  for (int attempt = 0; attempt < kPerturbedAttempts; ++attempt) {
    switch (RunIntersection(a, b, frames, simplex, v)) {
      case Outcome::kSeparated: return false;
      case Outcome::kReached: return true;
      case Outcome::kStuck: break;
    }
    for (auto& row : a_search.basis.m) {
      for (double& e : row) e += kPerturbationStep;
    }
  }
  return true;
}

bool ConvexCommonPoint(const ConvexShape& a, const ConvexShape& b, const Placement& b_to_a, Vector3& v,
                       Vector3& pa, Vector3& pb) {
  return CommonPoint(a, b, RelativeFrames{b_to_a}, v, pa, pb);
}

bool ConvexCommonPointPlaced(const ConvexShape& a, const ConvexShape& b, const Placement& a_placement,
                             const Placement& b_placement, Vector3& v, Vector3& pa, Vector3& pb) {
  return CommonPoint(a, b, PlacedFrames{a_placement, a_placement, b_placement}, v, pa, pb);
}

void ConvexClosestPoints(const ConvexShape& a, const ConvexShape& b, const Placement& a_placement,
                         const Placement& b_placement, Vector3& pa, Vector3& pb) {
  const Vector3 zero;
  const Vector3 start_a = a.Support(zero);
  const Vector3 start_b = b.Support(zero);
  Vector3 v = Apply(a_placement, start_a) - Apply(b_placement, start_b);
  double dist = std::sqrt(Dot(v, v));
  double mu = 0.0;
  const PlacedFrames frames{a_placement, a_placement, b_placement};
  Simplex simplex;
  simplex.Reset();
  for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
    if (simplex.bits() >= kFullSimplex || !(dist > kCollisionTolerance)) break;
    simplex.ChooseSlot();
    const SupportStep step = frames.Step(a, b, v);
    if (!IsFinite(step.w)) break;
    simplex.StoreShapePoints(step.p, step.q);
    mu = std::max(mu, Dot(v, step.w) / dist);
    if (dist - mu <= dist * kRelativeTolerance) break;
    if (simplex.IsDegenerate(step.w)) break;
    simplex.StoreVertex(step.w);
    // A full simplex claims the shapes overlap, and a failed sub-algorithm
    // gives no point at all; near contact either can be rounding. Then the
    // nearest subset decides, and the iteration goes on only while it brings
    // the point closer.
    const int kept_bits = simplex.bits();
    const Vector3 kept_v = v;
    const bool found = simplex.ClosestPoint(v);
    if (!found || simplex.bits() == kFullSimplex) {
      simplex.TakeNearestSubset(v);
      if (!found && !(Dot(v, v) < dist * dist)) {
        simplex.RestoreBits(kept_bits);
        v = kept_v;
        break;
      }
    }
    dist = std::sqrt(Dot(v, v));
  }
  // Shapes whose first points already coincide, or whose first points are
  // already closest, end before any vertex is kept; those points are the answer.
  if (simplex.bits() == 0) {
    pa = start_a;
    pb = start_b;
    return;
  }
  simplex.ShapePoints(pa, pb);
}

}  // namespace zv
