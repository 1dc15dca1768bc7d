#include "display/codecs/tga_codec.h"

#include <algorithm>
#include <cstring>

#include "display/codecs/byte_reader.h"
#include "display/codecs/codec_limits.h"
#include "display/codecs/surface_rows.h"

namespace zv::codecs {
namespace {

constexpr size_t kHeaderBytes = 18;
// A run packet of one pixel covers at most 128 pixels.
constexpr int64_t kRlePixelsPerByte = 128;

enum ImageType : uint8_t {
  kColourMapped = 1,
  kTrueColour = 2,
  kGrey = 3,
  kRleColourMapped = 9,
  kRleTrueColour = 10,
  kRleGrey = 11,
};

struct TgaHeader {
  uint8_t id_length = 0, map_type = 0, type = 0;
  uint16_t map_first = 0, map_length = 0;
  uint8_t map_entry_bits = 0;
  uint16_t width = 0, height = 0;
  uint8_t depth = 0, descriptor = 0;

  bool Rle() const { return type >= kRleColourMapped; }
  uint8_t BaseType() const { return Rle() ? static_cast<uint8_t>(type - 8) : type; }
  bool TopDown() const { return (descriptor & 0x20) != 0; }
  bool RightToLeft() const { return (descriptor & 0x10) != 0; }
};

bool ValidColourBits(int bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

bool Supported(const TgaHeader& h) {
  switch (h.BaseType()) {
    case kColourMapped: return h.map_type == 1 && h.depth == 8 && ValidColourBits(h.map_entry_bits);
    case kTrueColour: return ValidColourBits(h.depth);
    case kGrey: return h.depth == 8;
    default: return false;
  }
}

// A 15- or 16-bit (x1r5g5b5), 24-bit or 32-bit stored colour as blue,
// green, red.
void ColourOf(const uint8_t* p, int bits, uint8_t* bgr) {
  if (bits <= 16) {
    const uint32_t v = static_cast<uint32_t>(p[0] | p[1] << 8);
    auto widen = [](uint32_t five) { return static_cast<uint8_t>(five << 3 | five >> 2); };
    bgr[0] = widen(v & 31u), bgr[1] = widen((v >> 5) & 31u), bgr[2] = widen((v >> 10) & 31u);
  } else {
    bgr[0] = p[0], bgr[1] = p[1], bgr[2] = p[2];
  }
}

// Run-length decodes `total` bytes of pixels, each `pixel_bytes` long, in
// file order; false when the data end first.
bool Unpack(ByteReader& in, size_t total, int pixel_bytes, std::vector<uint8_t>& out) {
  const size_t size = static_cast<size_t>(pixel_bytes);
  out.resize(total);
  size_t done = 0;
  while (done < total) {
    const uint8_t packet = in.U8();
    const size_t count = std::min<size_t>((packet & 0x7Fu) + 1u, (total - done) / size);
    if (packet & 0x80u) {
      const std::span<const uint8_t> value = in.Bytes(size);
      if (!in.Ok()) return false;
      for (size_t i = 0; i < count; ++i, done += size) std::memcpy(out.data() + done, value.data(), size);
    } else {
      const std::span<const uint8_t> values = in.Bytes(count * size);
      if (!in.Ok()) return false;
      std::memcpy(out.data() + done, values.data(), values.size());
      done += values.size();
    }
  }
  return true;
}

// One stored row (in file order) as a picture row of `out_bytes` per pixel.
void ConvertRow(const TgaHeader& h, int pixel_bytes, int out_bytes, const uint8_t* from, uint8_t* to) {
  if (!h.RightToLeft() && pixel_bytes == out_bytes) {
    std::memcpy(to, from, static_cast<size_t>(h.width) * static_cast<size_t>(pixel_bytes));
    return;
  }
  for (size_t x = 0; x < h.width; ++x, from += pixel_bytes) {
    uint8_t* p = to + (h.RightToLeft() ? h.width - 1 - x : x) * static_cast<size_t>(out_bytes);
    if (out_bytes == 1)
      p[0] = from[0];
    else if (out_bytes == 4)
      std::memcpy(p, from, 4);
    else
      ColourOf(from, h.depth, p);
  }
}

// Both entry points: `in_place` lets the picture point into `file` when
// its rows can be drawn as they stand.
std::optional<DecodedPicture> Decode(std::span<const uint8_t> file, bool in_place, DecodeNotes* notes) {
  ByteReader in(file);
  TgaHeader h;
  h.id_length = in.U8();
  h.map_type = in.U8();
  h.type = in.U8();
  h.map_first = in.U16();
  h.map_length = in.U16();
  h.map_entry_bits = in.U8();
  in.Skip(4);  // origin
  h.width = in.U16();
  h.height = in.U16();
  h.depth = in.U8();
  h.descriptor = in.U8();
  if (!in.Ok() || !Supported(h) || !SizeAllowed(h.width, h.height, notes)) return std::nullopt;
  in.Skip(h.id_length);

  // The colour map (skipped when the picture does not use it).
  std::vector<platform::DibColour> colours;
  if (h.map_type == 1) {
    const size_t entry_bytes = (static_cast<size_t>(h.map_entry_bits) + 7) / 8;
    const std::span<const uint8_t> map = in.Bytes(entry_bytes * h.map_length);
    if (!in.Ok()) return std::nullopt;
    if (h.BaseType() == kColourMapped) {
      colours.resize(256);
      for (size_t i = 0; i < h.map_length; ++i) {
        const size_t index = h.map_first + i;
        if (index >= colours.size()) break;
        uint8_t bgr[3];
        ColourOf(map.data() + i * entry_bytes, h.map_entry_bits, bgr);
        colours[index] = platform::DibColour{bgr[0], bgr[1], bgr[2], 0};
      }
    }
  } else if (h.map_type != 0) {
    return std::nullopt;
  }
  if (h.BaseType() == kGrey) {
    colours.resize(256);
    for (int i = 0; i < 256; ++i) {
      const uint8_t v = static_cast<uint8_t>(i);
      colours[static_cast<size_t>(i)] = platform::DibColour{v, v, v, 0};
    }
  }

  const int pixel_bytes = (h.depth + 7) / 8;
  const int64_t limit = h.Rle() ? kRlePixelsPerByte : 1;
  if (!FileCanHold(h.width, h.height, in.Remaining() / static_cast<size_t>(pixel_bytes) + 1, limit))
    return std::nullopt;
  const size_t row_bytes = static_cast<size_t>(h.width) * static_cast<size_t>(pixel_bytes);
  const size_t total = row_bytes * h.height;
  std::span<const uint8_t> stored;
  std::vector<uint8_t> unpacked;
  if (h.Rle()) {
    if (!Unpack(in, total, pixel_bytes, unpacked)) return std::nullopt;
    stored = unpacked;
  } else {
    stored = in.Bytes(total);
    if (!in.Ok()) return std::nullopt;
  }

  DecodedPicture picture;
  platform::Dib& dib = picture.dib;
  dib.width = h.width;
  dib.height = h.TopDown() ? -static_cast<int32_t>(h.height) : h.height;
  dib.bit_count = static_cast<uint16_t>(!colours.empty() ? 8 : h.depth == 32 ? 32 : 24);
  dib.colours = std::move(colours);
  const int out_bytes = dib.bit_count / 8;
  const size_t stride = platform::DibStride(dib.width, dib.bit_count);
  // Rows that are already picture rows (left to right, of the picture's
  // pixel size and padded to four bytes by their own length) are drawn from
  // where they lie: the file, or the unpacked runs.
  if (!h.RightToLeft() && pixel_bytes == out_bytes && stride == row_bytes) {
    if (h.Rle()) {
      picture.storage = std::move(unpacked);
      dib.bits = picture.storage;
      return picture;
    }
    if (in_place) {
      dib.bits = stored;
      return picture;
    }
  }
  picture.storage.resize(stride * h.height);
  for (size_t row = 0; row < h.height; ++row)
    ConvertRow(h, pixel_bytes, out_bytes, stored.data() + row * row_bytes, picture.storage.data() + row * stride);
  dib.bits = picture.storage;
  return picture;
}

}  // namespace

std::optional<DecodedPicture> DecodeTga(std::span<const uint8_t> file, DecodeNotes* notes) {
  return Decode(file, false, notes);
}

std::optional<DecodedPicture> DecodeTgaInPlace(std::span<const uint8_t> file, DecodeNotes* notes) {
  return Decode(file, true, notes);
}

std::vector<uint8_t> EncodeTga(const platform::Surface& surface) {
  const int32_t w = surface.Width(), h = surface.Height();
  std::vector<uint8_t> out(kHeaderBytes, 0);
  out[2] = kTrueColour;
  out[12] = static_cast<uint8_t>(w), out[13] = static_cast<uint8_t>(w >> 8);
  out[14] = static_cast<uint8_t>(h), out[15] = static_cast<uint8_t>(h >> 8);
  out[16] = 24;
  const size_t row_bytes = static_cast<size_t>(w) * 3;
  out.resize(kHeaderBytes + row_bytes * static_cast<size_t>(h));
  uint8_t* at = out.data() + kHeaderBytes;
  for (int32_t y = h - 1; y >= 0; --y, at += row_bytes) ReadWriterRowBgr(surface, y, at);
  return out;
}

}  // namespace zv::codecs
