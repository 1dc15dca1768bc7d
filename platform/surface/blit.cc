#include "platform/surface/blit.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/surface/surface.h"

namespace zv::platform {
namespace {

// A rectangle of pixels to read from: the source surface itself, or a copy
// taken when source and destination overlap.
struct SourceView {
  const uint8_t* origin;  // pixel (0, 0) of the source rectangle
  int32_t pitch;
};

bool SameLayout(const PixelFormat& a, const PixelFormat& b) {
  if (a.bits != b.bits) return false;
  if (a.indexed || b.indexed || a.depth || b.depth)
    return a.indexed == b.indexed && a.depth == b.depth;
  return a.red_mask == b.red_mask && a.green_mask == b.green_mask && a.blue_mask == b.blue_mask;
}

// Whether the `count` pixels of `bytes` bytes at `row` all hold `pixel`:
// the first does, and each equals the next.
bool RowHolds(const uint8_t* row, const uint8_t* pixel, int bytes, size_t count) {
  return std::memcmp(row, pixel, static_cast<size_t>(bytes)) == 0 &&
         std::memcmp(row, row + bytes, (count - 1) * static_cast<size_t>(bytes)) == 0;
}

// Writes `pixel` into the `count` pixels at `row`: a pixel of one repeated
// byte as memset does, any other as the first pixel and then copies of
// what is written so far, doubling, so the row is written at memcpy's
// speed whatever the pixel's size.
void FillRow(uint8_t* row, const uint8_t* pixel, int bytes, size_t count) {
  const size_t total = count * static_cast<size_t>(bytes);
  if (std::all_of(pixel, pixel + bytes, [pixel](uint8_t b) { return b == pixel[0]; })) {
    std::memset(row, pixel[0], total);
    return;
  }
  std::memcpy(row, pixel, static_cast<size_t>(bytes));
  for (size_t done = static_cast<size_t>(bytes); done < total;) {
    const size_t n = std::min(done, total - done);
    std::memcpy(row + done, row, n);
    done += n;
  }
}

// Unscaled copy of whole rows; rows run bottom-up when the destination lies
// below an overlapping source, and memmove covers overlap within a row.
void CopyRows(Surface& dest, const Rect& d, const Surface& src, const Rect& s) {
  int bpp = dest.Format().BytesPerPixel();
  size_t bytes = static_cast<size_t>(d.Width()) * bpp;
  bool upward = &dest == &src && d.top > s.top;
  for (int32_t i = 0; i < d.Height(); ++i) {
    int32_t row = upward ? d.Height() - 1 - i : i;
    std::memmove(dest.Row(d.top + row) + static_cast<size_t>(d.left) * bpp,
                 src.Row(s.top + row) + static_cast<size_t>(s.left) * bpp, bytes);
  }
}

#if defined(__SSE2__)
// Pixels equal to the key keep the destination; the rest take the source.
// 16 bytes at a time: compare, then select through the comparison mask.
template <typename T>
__m128i KeyMatch(__m128i pixels, __m128i key) {
  if constexpr (sizeof(T) == 1) return _mm_cmpeq_epi8(pixels, key);
  if constexpr (sizeof(T) == 2) return _mm_cmpeq_epi16(pixels, key);
  return _mm_cmpeq_epi32(pixels, key);
}

template <typename T>
__m128i Splat(T key) {
  if constexpr (sizeof(T) == 1) return _mm_set1_epi8(static_cast<char>(key));
  if constexpr (sizeof(T) == 2) return _mm_set1_epi16(static_cast<short>(key));
  return _mm_set1_epi32(static_cast<int>(key));
}

template <typename T>
int32_t KeyedRowWide(T* d, const T* s, int32_t width, T key) {
  constexpr int32_t kStep = static_cast<int32_t>(16 / sizeof(T));
  const __m128i k = Splat<T>(key);
  int32_t x = 0;
  for (; x + kStep <= width; x += kStep) {
    __m128i src = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
    __m128i dst = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + x));
    __m128i keep = KeyMatch<T>(src, k);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x),
                     _mm_or_si128(_mm_and_si128(keep, dst), _mm_andnot_si128(keep, src)));
  }
  return x;
}
#endif

template <typename T>
void KeyedRows(uint8_t* dst, int32_t dst_pitch, SourceView src, int32_t width, int32_t height,
               ColorKey key) {
  const T low = static_cast<T>(key.low), high = static_cast<T>(key.high);
  for (int32_t y = 0; y < height; ++y) {
    T* __restrict d = reinterpret_cast<T*>(dst + static_cast<size_t>(y) * dst_pitch);
    const T* __restrict s = reinterpret_cast<const T*>(src.origin + static_cast<size_t>(y) * src.pitch);
    int32_t x = 0;
    if (low == high) {
#if defined(__SSE2__)
      x = KeyedRowWide<T>(d, s, width, low);
#endif
      for (; x < width; ++x) {
        T v = s[x];
        d[x] = v == low ? d[x] : v;
      }
    } else {
      for (; x < width; ++x) {
        T v = s[x];
        d[x] = (v >= low && v <= high) ? d[x] : v;
      }
    }
  }
}

class PixelConverter {
 public:
  PixelConverter(const Surface& src, const PixelFormat& to)
      : from_(src.Format()), to_(to), palette_(src.GetPalette()), same_(SameLayout(from_, to)) {}
  uint32_t operator()(uint32_t pixel) const {
    if (same_) return pixel;
    uint32_t rgb = from_.indexed ? palette_->Rgb(static_cast<int>(pixel)) : UnpackRgb(from_, pixel);
    return PackRgb(to_, static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                   static_cast<uint8_t>(rgb));
  }

 private:
  const PixelFormat& from_;
  const PixelFormat& to_;
  const Palette* palette_;
  bool same_;
};

// Source byte offsets of the visible destination columns; small widths
// live on the stack so that a sprite blit allocates nothing.
class ColumnTable {
 public:
  ColumnTable(const Rect& d, const Rect& visible, const Rect& s, bool mirror, int bpp) {
    size_t n = static_cast<size_t>(visible.Width());
    if (n > kStackColumns) heap_.resize(n);
    data_ = n > kStackColumns ? heap_.data() : stack_;
    const int64_t dw = d.Width(), sw = s.Width();
    for (int32_t x = visible.left; x < visible.right; ++x) {
      int64_t u = x - d.left;
      if (mirror) u = dw - 1 - u;
      // Unscaled blits (the usual mirrored sprite) need no division.
      data_[x - visible.left] = static_cast<int32_t>(dw == sw ? u : u * sw / dw) * bpp;
    }
  }
  const int32_t* data() const { return data_; }

 private:
  static constexpr size_t kStackColumns = 1024;
  int32_t stack_[kStackColumns];
  std::vector<int32_t> heap_;
  int32_t* data_;
};

// The source row shown on destination row y.
const uint8_t* SourceRow(SourceView view, const Rect& d, const Rect& s, int32_t y, bool mirror) {
  int64_t v = y - d.top;
  if (mirror) v = d.Height() - 1 - v;
  if (d.Height() != s.Height()) v = v * s.Height() / d.Height();
  return view.origin + v * view.pitch;
}

// Stretch, mirror and key within one format; `Bytes` fixed so that each
// pixel is a plain load and store.
template <int Bytes>
void SameFormatBlit(Surface& dest, const Rect& d, const Rect& visible, SourceView view,
                    const Rect& s, const BlitOptions& options, uint32_t value_mask) {
  ColumnTable columns(d, visible, s, options.mirror_left_right, Bytes);
  const int32_t* cols = columns.data();
  const int32_t n = visible.Width();
  const bool keyed = options.key.has_value();
  const uint32_t low = keyed ? options.key->low & value_mask : 0;
  const uint32_t high = keyed ? options.key->high & value_mask : 0;
  if (keyed && low > high) {  // an empty range keys nothing
    BlitOptions unkeyed = options;
    unkeyed.key.reset();
    SameFormatBlit<Bytes>(dest, d, visible, view, s, unkeyed, value_mask);
    return;
  }
  for (int32_t y = visible.top; y < visible.bottom; ++y) {
    const uint8_t* src_row = SourceRow(view, d, s, y, options.mirror_up_down);
    uint8_t* dst = dest.Row(y) + static_cast<size_t>(visible.left) * Bytes;
    if (!keyed) {
      for (int32_t i = 0; i < n; ++i, dst += Bytes) WritePixel(dst, Bytes, ReadPixel(src_row + cols[i], Bytes));
      continue;
    }
    // Keyed pixels follow no pattern a branch predictor could learn, so the
    // choice is made without a branch.
    for (int32_t i = 0; i < n; ++i, dst += Bytes) {
      uint32_t pixel = ReadPixel(src_row + cols[i], Bytes);
      uint32_t old = ReadPixel(dst, Bytes);
      WritePixel(dst, Bytes, pixel - low <= high - low ? old : pixel);
    }
  }
}

// Between formats: every pixel through RGB.
void ConvertingBlit(Surface& dest, const Rect& d, const Rect& visible, const Surface& src,
                    SourceView view, const Rect& s, const BlitOptions& options) {
  const int dbpp = dest.Format().BytesPerPixel();
  const int sbpp = src.Format().BytesPerPixel();
  const uint32_t key_mask = src.Format().ValueMask();
  PixelConverter convert(src, dest.Format());
  ColumnTable columns(d, visible, s, options.mirror_left_right, sbpp);
  const int32_t* cols = columns.data();
  for (int32_t y = visible.top; y < visible.bottom; ++y) {
    const uint8_t* src_row = SourceRow(view, d, s, y, options.mirror_up_down);
    uint8_t* dst = dest.Row(y) + static_cast<size_t>(visible.left) * dbpp;
    for (int32_t i = 0; i < visible.Width(); ++i, dst += dbpp) {
      uint32_t pixel = ReadPixel(src_row + cols[i], sbpp);
      bool keyed = options.key && (pixel & key_mask) >= (options.key->low & key_mask) &&
                   (pixel & key_mask) <= (options.key->high & key_mask);
      if (!keyed) WritePixel(dst, dbpp, convert(pixel));
    }
  }
}

}  // namespace

void FillPixels(Surface& dest, const Rect& r, uint32_t value) {
  if (r.Empty()) return;
  const int bytes = dest.Format().BytesPerPixel();
  uint8_t pixel[4];
  WritePixel(pixel, bytes, value & dest.Format().ValueMask());
  const size_t count = static_cast<size_t>(r.Width());
  // Rows that hold the value already are only read: a clear of a cleared
  // screen, or of memory nobody has drawn on yet (which the system then
  // need not back with pages), writes nothing.
  for (int32_t y = r.top; y < r.bottom; ++y) {
    uint8_t* row = dest.Row(y) + static_cast<size_t>(r.left) * bytes;
    if (!RowHolds(row, pixel, bytes, count)) FillRow(row, pixel, bytes, count);
  }
}

Result BlitPixels(Surface& dest, const Rect& d, const Rect& visible, const Surface& src,
                  const Rect& s, const BlitOptions& options) {
  const PixelFormat& df = dest.Format();
  const PixelFormat& sf = src.Format();
  bool same = SameLayout(df, sf);
  if (!same && (df.indexed || df.depth || sf.depth)) return result::kInvalidPixelFormat;
  if (!same && sf.indexed && src.GetPalette() == nullptr) return result::kNoPalette;

  bool scaled = d.Width() != s.Width() || d.Height() != s.Height();
  bool mirrored = options.mirror_left_right || options.mirror_up_down;
  bool whole = visible == d;
  if (same && !scaled && !mirrored && !options.key && whole) {
    CopyRows(dest, d, src, s);
    return result::kOk;
  }

  const int sbpp = sf.BytesPerPixel();
  SourceView view{src.Row(s.top) + static_cast<size_t>(s.left) * sbpp, src.Pitch()};
  std::vector<uint8_t> copy;
  if (&dest == &src && s.Intersects(d)) {
    size_t row_bytes = static_cast<size_t>(s.Width()) * sbpp;
    copy.resize(row_bytes * s.Height());
    for (int32_t y = 0; y < s.Height(); ++y)
      std::memcpy(copy.data() + y * row_bytes, view.origin + static_cast<size_t>(y) * view.pitch,
                  row_bytes);
    view = SourceView{copy.data(), static_cast<int32_t>(row_bytes)};
  }

  if (same && !scaled && !mirrored && whole && sbpp != 3) {
    uint8_t* dst = dest.Row(d.top) + static_cast<size_t>(d.left) * sbpp;
    ColorKey key = *options.key;
    key.low &= sf.ValueMask();
    key.high &= sf.ValueMask();
    switch (sbpp) {
      case 1: KeyedRows<uint8_t>(dst, dest.Pitch(), view, d.Width(), d.Height(), key); break;
      case 2: KeyedRows<uint16_t>(dst, dest.Pitch(), view, d.Width(), d.Height(), key); break;
      default: KeyedRows<uint32_t>(dst, dest.Pitch(), view, d.Width(), d.Height(), key); break;
    }
    return result::kOk;
  }
  if (!same) {
    ConvertingBlit(dest, d, visible, src, view, s, options);
    return result::kOk;
  }
  const uint32_t mask = sf.ValueMask();
  switch (sbpp) {
    case 1: SameFormatBlit<1>(dest, d, visible, view, s, options, mask); break;
    case 2: SameFormatBlit<2>(dest, d, visible, view, s, options, mask); break;
    case 3: SameFormatBlit<3>(dest, d, visible, view, s, options, mask); break;
    default: SameFormatBlit<4>(dest, d, visible, view, s, options, mask); break;
  }
  return result::kOk;
}

}  // namespace zv::platform
