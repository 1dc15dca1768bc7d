#include "display/pixel_overlap.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace zv {
namespace {

// The pixels of a picture that count: any value other than its colour key.
class SolidPixels {
 public:
  explicit SolidPixels(const platform::Surface& surface)
      : surface_(surface), mask_(surface.Format().ValueMask()), key_(surface.SrcColorKey()) {}

  bool At(int32_t x, int32_t y) const {
    const uint32_t value = surface_.PixelAt(x, y) & mask_;
    if (!key_) return value != 0;
    return value < key_->low || value > key_->high;
  }
  bool HasColumn(int32_t x) const { return x < surface_.Width(); }
  bool HasRow(int32_t y) const { return y < surface_.Height(); }

 private:
  const platform::Surface& surface_;
  uint32_t mask_;
  std::optional<platform::ColorKey> key_;
};

// The picture position a screen position shows, along one axis of one
// picture: a step function of the screen position, rising (or falling,
// mirrored or flipped) by the picture's pixels as it is drawn larger.
struct AxisMap {
  int32_t first;   // the picture's source rectangle begins here
  int32_t size;    // the picture's width or height
  bool reversed;   // mirrored or flipped
  int64_t origin;  // the picture's edge on the screen
  float ratio;     // picture pixels per screen pixel

  int32_t operator()(int64_t screen) const {
    const float offset = static_cast<float>(screen - origin) * ratio;
    const float at = reversed ? static_cast<float>(size - 1) - offset : offset;
    return first + static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(at), 0, size - 1));
  }

  // Where a run ends: the first screen position after it, and the picture
  // position shown there (when it is before the end).
  struct Edge {
    int64_t at;
    int32_t shows;
  };

  // The first screen position after `from` (and before `end`) that shows
  // another picture position than `value`, or `end`: found by doubling the
  // stride, then halving it back, so a run costs its logarithm however
  // wide it is drawn, and a run one pixel wide one look.
  Edge RunEnd(int64_t from, int32_t value, int64_t end) const {
    if (from + 1 >= end) return Edge{end, 0};
    if (const int32_t shows = (*this)(from + 1); shows != value) return Edge{from + 1, shows};
    int64_t same = from + 1;
    Edge other{end, 0};
    for (int64_t stride = 1; same + stride < end; stride *= 2) {
      if (const int32_t shows = (*this)(same + stride); shows != value) {
        other = Edge{same + stride, shows};
        break;
      }
      same += stride;
    }
    while (other.at - same > 1) {
      const int64_t middle = same + (other.at - same) / 2;
      if (const int32_t shows = (*this)(middle); shows == value)
        same = middle;
      else
        other = Edge{middle, shows};
    }
    return other;
  }
};

AxisMap Columns(const DrawnPicture& p) {
  return AxisMap{p.source_left, p.width, p.mirrored, p.left,
                 static_cast<float>(p.width) / static_cast<float>(p.right - p.left)};
}

AxisMap Rows(const DrawnPicture& p) {
  return AxisMap{p.source_top, p.height, p.flipped, p.top,
                 static_cast<float>(p.height) / static_cast<float>(p.bottom - p.top)};
}

// Both pictures' positions along one axis of the overlap [begin, end), one
// step per run of screen positions over which neither changes.
class RunWalk {
 public:
  RunWalk(const AxisMap& a, const AxisMap& b, int64_t begin, int64_t end)
      : a_(a), b_(b), at_(begin), end_(end), in_a_(a(begin)), in_b_(b(begin)) {}
  bool Done() const { return at_ >= end_; }
  std::pair<int32_t, int32_t> Pixels() const { return {in_a_, in_b_}; }
  // The picture that stays inside its run keeps its position; the other
  // shows what its search found.
  void Next() {
    const AxisMap::Edge a = a_.RunEnd(at_, in_a_, end_), b = b_.RunEnd(at_, in_b_, end_);
    at_ = std::min(a.at, b.at);
    if (a.at == at_) in_a_ = a.shows;
    if (b.at == at_) in_b_ = b.shows;
  }

 private:
  const AxisMap a_, b_;
  int64_t at_, end_;
  int32_t in_a_, in_b_;
};

// The picture columns of both pictures one run shows.
struct ColumnPair {
  int32_t a, b;
};

// Column runs kept for the rows below the first: a stretch of the overlap
// at a time, on the stack (left as it is: only what is kept is read).
constexpr size_t kKeptColumns = 256;

}  // namespace

bool PicturesMeet(const DrawnPicture& a, const DrawnPicture& b) {
  if (!a.surface || !b.surface || a.width <= 0 || a.height <= 0 || b.width <= 0 || b.height <= 0) return false;
  if (a.right <= a.left || a.bottom <= a.top || b.right <= b.left || b.bottom <= b.top) return false;
  const int64_t left = std::max(a.left, b.left), right = std::min(a.right, b.right);
  const int64_t top = std::max(a.top, b.top), bottom = std::min(a.bottom, b.bottom);
  if (left >= right || top >= bottom) return false;
  const AxisMap across_a = Columns(a), across_b = Columns(b), down_a = Rows(a), down_b = Rows(b);
  // Solid pictures meet at the overlap's first pixel: it is looked at
  // before anything else is made.
  const int32_t xa = across_a(left), xb = across_b(left), ya = down_a(top), yb = down_b(top);
  if (xa < a.surface->Width() && xb < b.surface->Width() && ya < a.surface->Height() && yb < b.surface->Height() &&
      SolidPixels(*a.surface).At(xa, ya) && SolidPixels(*b.surface).At(xb, yb))
    return true;
  const SolidPixels pa(*a.surface), pb(*b.surface);
  auto meet = [&](std::pair<int32_t, int32_t> row, ColumnPair column) {
    return pa.HasColumn(column.a) && pb.HasColumn(column.b) && pa.At(column.a, row.first) &&
           pb.At(column.b, row.second);
  };
  auto has_row = [&](std::pair<int32_t, int32_t> row) { return pa.HasRow(row.first) && pb.HasRow(row.second); };
  std::array<ColumnPair, kKeptColumns> columns;
  // The first row of a stretch finds its column runs as it looks at their
  // pixels, so a contact in it costs the pixels before it; the rows below
  // take the runs as found.
  for (RunWalk across(across_a, across_b, left, right); !across.Done();) {
    RunWalk down(down_a, down_b, top, bottom);
    const bool first_row = has_row(down.Pixels());
    size_t kept = 0;
    for (; kept < columns.size() && !across.Done(); across.Next()) {
      const auto [a, b] = across.Pixels();
      columns[kept++] = ColumnPair{a, b};
      if (first_row && meet(down.Pixels(), columns[kept - 1])) return true;
    }
    for (down.Next(); !down.Done(); down.Next()) {
      if (!has_row(down.Pixels())) continue;
      for (size_t i = 0; i < kept; ++i)
        if (meet(down.Pixels(), columns[i])) return true;
    }
  }
  return false;
}

}  // namespace zv
