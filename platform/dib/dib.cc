#include "platform/dib/dib.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>

#include "platform/surface/blit.h"
#include "platform/surface/convert.h"

namespace zv::platform {
namespace {

uint32_t Read32(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t Read16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

bool ValidBitCount(int32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Whether the copies can draw the picture the header describes.
bool Drawable(const Dib& dib) {
  if (dib.width < 1 || dib.width > kMaxDibSide) return false;
  if (dib.height == 0 || dib.height < -kMaxDibSide || dib.height > kMaxDibSide) return false;
  if (!ValidBitCount(dib.bit_count)) return false;
  switch (dib.compression) {
    case dib_compression::kRgb: return true;
    case dib_compression::kRle8: return dib.bit_count == 8 && !dib.TopDown();
    case dib_compression::kRle4: return dib.bit_count == 4 && !dib.TopDown();
    case dib_compression::kBitFields: return dib.bit_count == 16 || dib.bit_count == 32;
    default: return false;
  }
}

// A channel of a bit-fields pixel widened to 8 bits.
struct Channel {
  uint32_t mask = 0;
  int shift = 0, bits = 0;

  explicit Channel(uint32_t m) : mask(m) {
    if (m != 0) {
      shift = std::countr_zero(m);
      bits = std::popcount(m);
    }
  }
  uint8_t Of(uint32_t pixel) const {
    if (mask == 0) return 0;
    const uint32_t v = (pixel & mask) >> shift;
    if (bits >= 8) return static_cast<uint8_t>(v >> (bits - 8));
    return static_cast<uint8_t>(v * 255u / ((1u << bits) - 1u));
  }
};

uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | b;
}

// Turns the pixels of one row of the picture into 0xRRGGBB.
class RowReader {
 public:
  explicit RowReader(const Dib& dib)
      : dib_(dib),
        red_(dib.compression == dib_compression::kBitFields ? dib.masks[0] : dib.bit_count == 16 ? 0x7C00u : 0xFF0000u),
        green_(dib.compression == dib_compression::kBitFields ? dib.masks[1] : dib.bit_count == 16 ? 0x03E0u : 0x00FF00u),
        blue_(dib.compression == dib_compression::kBitFields ? dib.masks[2] : dib.bit_count == 16 ? 0x001Fu : 0x0000FFu) {}

  uint32_t Indexed(uint32_t index) const {
    if (index >= dib_.colours.size()) return 0;
    const DibColour& c = dib_.colours[index];
    return Rgb(c.red, c.green, c.blue);
  }

  // Columns [from, from + count) of a row of uncompressed data.
  void Read(const uint8_t* row, int32_t from, int32_t count, uint32_t* out) const {
    for (int32_t i = 0; i < count; ++i) {
      const int32_t x = from + i;
      switch (dib_.bit_count) {
        case 1: out[i] = Indexed((row[x >> 3] >> (7 - (x & 7))) & 1u); break;
        case 4: out[i] = Indexed((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15u); break;
        case 8: out[i] = Indexed(row[x]); break;
        case 16: {
          const uint32_t v = static_cast<uint32_t>(row[2 * x] | row[2 * x + 1] << 8);
          out[i] = Rgb(red_.Of(v), green_.Of(v), blue_.Of(v));
          break;
        }
        case 24: out[i] = Rgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]); break;
        default: {
          uint32_t v;
          std::memcpy(&v, row + 4 * static_cast<size_t>(x), 4);
          out[i] = Rgb(red_.Of(v), green_.Of(v), blue_.Of(v));
          break;
        }
      }
    }
  }

 private:
  const Dib& dib_;
  Channel red_, green_, blue_;
};

// The run-length rows of a picture, decoded one row at a time from the
// bottom up. Rows must be asked for in rising order (the same row again is
// fine); pixels the data never sets are marked untouched.
class RleRows {
 public:
  explicit RleRows(const Dib& dib)
      : data_(dib.bits), width_(dib.width), four_bit_(dib.compression == dib_compression::kRle4),
        current_(static_cast<size_t>(dib.width)), current_set_(static_cast<size_t>(dib.width)),
        out_(static_cast<size_t>(dib.width)), out_set_(static_cast<size_t>(dib.width)) {}

  // Row `r` counted from the bottom.
  void Row(int32_t r, const uint8_t** indices, const uint8_t** set) {
    if (r != last_) {
      found_ = false;
      target_ = r;
      while (!found_ && !ended_ && row_ <= r) Step();
      // Rows the data moved past or never reached are left alone.
      if (!found_ && out_dirty_) {
        std::fill(out_set_.begin(), out_set_.end(), 0);
        out_dirty_ = false;
      }
      last_ = r;
    }
    *indices = out_.data();
    *set = out_set_.data();
  }

 private:
  void Put(uint8_t index) {
    if (x_ >= 0 && x_ < width_) {
      current_[x_] = index;
      current_set_[x_] = 1;
      dirty_ = true;
    }
    if (x_ < width_) ++x_;
  }

  // Rows without pixels cost nothing, so moves over many rows stay cheap.
  void CompleteRow() {
    if (row_ == target_) {
      out_.swap(current_);
      out_set_.swap(current_set_);
      std::swap(dirty_, out_dirty_);
      found_ = true;
    }
    if (dirty_) {
      std::fill(current_set_.begin(), current_set_.end(), 0);
      dirty_ = false;
    }
    ++row_;
    x_ = 0;
  }

  bool Take(uint8_t* byte) {
    if (pos_ >= data_.size()) return false;
    *byte = data_[pos_++];
    return true;
  }

  // One code of the data: a run, or an escape (end of row, end of picture,
  // a move, or literal pixels). Data that ends early ends the picture.
  void Step() {
    uint8_t count, value;
    if (!Take(&count) || !Take(&value)) return End();
    if (count > 0) {
      for (int i = 0; i < count && x_ < width_; ++i)
        Put(four_bit_ ? static_cast<uint8_t>((i & 1) ? value & 15 : value >> 4) : value);
      return;
    }
    switch (value) {
      case 0: return CompleteRow();
      case 1: return End();
      case 2: {
        uint8_t dx, dy;
        if (!Take(&dx) || !Take(&dy)) return End();
        const int32_t x = x_ + dx;
        for (int i = 0; i < dy; ++i) CompleteRow();
        x_ = std::min(x, width_);
        return;
      }
      default: {
        const int32_t pixels = value;
        const size_t bytes = four_bit_ ? static_cast<size_t>((pixels + 3) / 4 * 2) : static_cast<size_t>((pixels + 1) / 2 * 2);
        if (data_.size() - pos_ < bytes) return End();
        for (int32_t i = 0; i < pixels; ++i) {
          const uint8_t b = data_[pos_ + (four_bit_ ? static_cast<size_t>(i / 2) : static_cast<size_t>(i))];
          Put(four_bit_ ? static_cast<uint8_t>((i & 1) ? b & 15 : b >> 4) : b);
        }
        pos_ += bytes;
        return;
      }
    }
  }

  void End() {
    ended_ = true;
    CompleteRow();
  }

  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  int32_t width_;
  bool four_bit_;
  int32_t row_ = 0, x_ = 0;
  int32_t target_ = -1, last_ = -1;
  bool found_ = false, ended_ = false;
  bool dirty_ = false, out_dirty_ = false;  // whether a row buffer has pixels set
  std::vector<uint8_t> current_, current_set_, out_, out_set_;
};

// Pixel values of the destination's format for 0xRRGGBB colours.
class PixelMaker {
 public:
  explicit PixelMaker(const Surface& dest) : format_(dest.Format()), palette_(dest.GetPalette()) {}

  uint32_t operator()(uint32_t rgb) {
    const uint8_t r = static_cast<uint8_t>(rgb >> 16), g = static_cast<uint8_t>(rgb >> 8), b = static_cast<uint8_t>(rgb);
    if (!format_.indexed) return PackRgb(format_, r, g, b);
    if (!palette_) return static_cast<uint32_t>((r >> 5) << 5 | (g >> 5) << 2 | (b >> 6));
    if (rgb == last_rgb_) return last_index_;
    int best = 0;
    int64_t best_distance = INT64_MAX;
    for (int i = 0; i < Palette::kSize; ++i) {
      const PaletteEntry& e = palette_->Entry(i);
      const int64_t dr = e.red - r, dg = e.green - g, db = e.blue - b;
      const int64_t d = dr * dr + dg * dg + db * db;
      if (d < best_distance) {
        best_distance = d;
        best = i;
      }
    }
    last_rgb_ = rgb;
    last_index_ = static_cast<uint32_t>(best);
    return last_index_;
  }

 private:
  PixelFormat format_;
  const Palette* palette_;
  uint32_t last_rgb_ = 0xFFFFFFFFu, last_index_ = 0;
};

}  // namespace

size_t DibStride(int32_t width, int32_t bit_count) {
  if (width < 1 || width > kMaxDibSide || !ValidBitCount(bit_count)) return 0;
  return (static_cast<size_t>(width) * static_cast<size_t>(bit_count) + 31) / 32 * 4;
}

bool ReadDibInfo(std::span<const uint8_t> info, Dib* out) {
  if (info.size() < 12) return false;
  const uint32_t header = Read32(info, 0);
  Dib dib;
  size_t table_at;
  size_t entry_bytes = 4;
  uint32_t colours_used = 0;
  if (header == 12) {
    dib.width = Read16(info, 4);
    dib.height = Read16(info, 6);
    dib.bit_count = Read16(info, 10);
    table_at = 12;
    entry_bytes = 3;
  } else {
    if (header < 40 || header > info.size()) return false;
    dib.width = static_cast<int32_t>(Read32(info, 4));
    dib.height = static_cast<int32_t>(Read32(info, 8));
    dib.bit_count = Read16(info, 14);
    dib.compression = Read32(info, 16);
    colours_used = Read32(info, 32);
    table_at = header;
    if (dib.compression == dib_compression::kBitFields) {
      const size_t masks_at = header >= 52 ? 40 : header;
      if (info.size() < masks_at + 12) return false;
      for (int i = 0; i < 3; ++i) dib.masks[i] = Read32(info, masks_at + 4 * static_cast<size_t>(i));
      if (header < 52) table_at += 12;
    }
  }
  if (!Drawable(dib)) return false;
  if (dib.bit_count <= 8) {
    const uint32_t most = 1u << dib.bit_count;
    const uint32_t count = colours_used == 0 || colours_used > most ? most : colours_used;
    if (table_at > info.size() || (info.size() - table_at) / entry_bytes < count) return false;
    dib.colours.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
      const size_t at = table_at + i * entry_bytes;
      dib.colours[i] = DibColour{info[at], info[at + 1], info[at + 2], 0};
    }
  }
  dib.bits = out->bits;
  *out = std::move(dib);
  return true;
}

bool RleDataWhole(const Dib& dib) {
  const bool four_bit = dib.compression == dib_compression::kRle4;
  if ((!four_bit && dib.compression != dib_compression::kRle8) || !Drawable(dib)) return true;
  // The codes alone, as RleRows reads them: runs, row ends, moves and
  // literal pixels move the position; the end code ends the picture.
  const uint8_t* at = dib.bits.data();
  const uint8_t* const end = at + dib.bits.size();
  const int64_t rows = dib.Rows(), width = dib.width;
  int64_t row = 0, x = 0;
  while (row < rows && !(row == rows - 1 && x >= width)) {
    if (end - at < 2) return false;
    const uint8_t count = at[0], value = at[1];
    at += 2;
    if (count > 0 || value >= 3) {
      const int64_t literal = count > 0 ? 0 : four_bit ? (value + 3) / 4 * 2 : (value + 1) / 2 * 2;
      if (end - at < literal) return false;
      at += literal;
      x = std::min<int64_t>(x + (count > 0 ? count : value), width);
    } else if (value == 0) {
      ++row, x = 0;
    } else if (value == 1) {
      return true;
    } else {
      if (end - at < 2) return false;
      x = std::min<int64_t>(x + at[0], width), row += at[1];
      at += 2;
    }
  }
  return true;
}

int32_t StretchDibBits(Surface& dest, const Rect& dest_rect, const Dib& dib, const Rect& src_rect) {
  if (!Drawable(dib) || dest.Format().depth || dest.Format().bits == 0) return 0;
  const int32_t rows = dib.Rows();
  if (!src_rect.FitsIn(dib.width, rows) || dest_rect.Empty()) return 0;
  const bool rle = dib.compression == dib_compression::kRle8 || dib.compression == dib_compression::kRle4;
  const size_t stride = DibStride(dib.width, dib.bit_count);
  if (!rle && dib.bits.size() / stride < static_cast<size_t>(rows)) return 0;

  const int64_t dw = int64_t{dest_rect.right} - dest_rect.left, dh = int64_t{dest_rect.bottom} - dest_rect.top;
  const int32_t sw = src_rect.Width(), sh = src_rect.Height();
  const int32_t y0 = static_cast<int32_t>(std::max<int64_t>(dest_rect.top, 0));
  const int32_t y1 = static_cast<int32_t>(std::min<int64_t>(dest_rect.bottom, dest.Height()));
  const int32_t x0 = static_cast<int32_t>(std::max<int64_t>(dest_rect.left, 0));
  const int32_t x1 = static_cast<int32_t>(std::min<int64_t>(dest_rect.right, dest.Width()));
  if (y0 >= y1 || x0 >= x1) return sh;

  // The source column of every visible destination column.
  std::vector<int32_t> column(static_cast<size_t>(x1 - x0));
  for (int32_t x = x0; x < x1; ++x)
    column[static_cast<size_t>(x - x0)] = static_cast<int32_t>((int64_t{x} - dest_rect.left) * sw / dw);

  RowReader reader(dib);
  PixelMaker make_pixel(dest);
  std::optional<RleRows> rle_rows;
  if (rle) rle_rows.emplace(dib);
  std::vector<uint32_t> rgb(static_cast<size_t>(sw)), pixels(static_cast<size_t>(sw));
  std::vector<uint8_t> set(static_cast<size_t>(sw), 1);
  const int bytes = dest.Format().BytesPerPixel();
  int32_t converted = -1;

  // Run-length rows come bottom first, so their destination rows go upward.
  for (int32_t i = 0; i < y1 - y0; ++i) {
    const int32_t y = rle ? y1 - 1 - i : y0 + i;
    const int32_t picture_row = src_rect.top + static_cast<int32_t>((int64_t{y} - dest_rect.top) * sh / dh);
    if (picture_row != converted) {
      const int32_t dib_row = dib.TopDown() ? picture_row : rows - 1 - picture_row;
      if (rle) {
        const uint8_t *indices, *marks;
        rle_rows->Row(dib_row, &indices, &marks);
        for (int32_t c = 0; c < sw; ++c) {
          rgb[c] = reader.Indexed(indices[src_rect.left + c]);
          set[c] = marks[src_rect.left + c];
        }
      } else {
        reader.Read(dib.bits.data() + static_cast<size_t>(dib_row) * stride, src_rect.left, sw, rgb.data());
      }
      for (int32_t c = 0; c < sw; ++c) pixels[c] = make_pixel(rgb[c]);
      converted = picture_row;
    }
    uint8_t* out = dest.Row(y);
    for (int32_t x = x0; x < x1; ++x) {
      const int32_t c = column[static_cast<size_t>(x - x0)];
      if (set[c]) WritePixel(out + static_cast<size_t>(x) * bytes, bytes, pixels[c]);
    }
  }
  return sh;
}

int32_t GetDibBits(const Surface& src, int32_t first, int32_t count, int32_t bit_count, std::span<uint8_t> out) {
  if ((bit_count != 24 && bit_count != 32) || count < 1 || first < 0 || src.Format().depth) return 0;
  const size_t stride = DibStride(src.Width(), bit_count);
  if (stride == 0) return 0;
  const int bytes = src.Format().BytesPerPixel();
  const int step = bit_count / 8;
  int32_t written = 0;
  for (; written < count; ++written) {
    const int64_t scan = int64_t{first} + written;
    if (scan >= src.Height() || (static_cast<size_t>(written) + 1) * stride > out.size()) break;
    const uint8_t* row = src.Row(src.Height() - 1 - static_cast<int32_t>(scan));
    uint8_t* to = out.data() + static_cast<size_t>(written) * stride;
    std::fill_n(to, stride, 0);
    for (int32_t x = 0; x < src.Width(); ++x) {
      const uint32_t rgb = PixelValueToRgb(src, ReadPixel(row + static_cast<size_t>(x) * bytes, bytes));
      to[x * step] = static_cast<uint8_t>(rgb);
      to[x * step + 1] = static_cast<uint8_t>(rgb >> 8);
      to[x * step + 2] = static_cast<uint8_t>(rgb >> 16);
    }
  }
  return written;
}

}  // namespace zv::platform
