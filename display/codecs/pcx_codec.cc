#include "display/codecs/pcx_codec.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "display/codecs/byte_reader.h"
#include "display/codecs/codec_limits.h"
#include "display/codecs/pixel_rows.h"

namespace zv::codecs {
namespace {

constexpr size_t kHeaderBytes = 128;
constexpr size_t kPaletteBytes = 768;
// A run of two bytes gives at most 63 bytes.
constexpr int64_t kRleBytesPerByte = 63;

struct PcxHeader {
  int32_t bits_per_plane = 0, planes = 0, bytes_per_line = 0;
  int32_t width = 0, height = 0;
  int32_t LineBytes() const { return bytes_per_line * planes; }
  int32_t Bits() const { return bits_per_plane * planes; }
};

// The bit depth the picture is drawn at: 1, 4, 8 or 24.
int32_t DibBits(int32_t bits) {
  if (bits <= 1) return 1;
  if (bits <= 4) return 4;
  if (bits <= 8) return 8;
  return 24;
}

std::vector<platform::DibColour> ColourTable(std::span<const uint8_t> file, int32_t bits) {
  std::vector<platform::DibColour> colours(256);
  auto fill = [&](const uint8_t* rgb, size_t count) {
    for (size_t i = 0; i < count; ++i) colours[i] = platform::DibColour{rgb[3 * i + 2], rgb[3 * i + 1], rgb[3 * i], 0};
  };
  if (bits == 1) {
    colours[1] = platform::DibColour{255, 255, 255, 0};
  } else if (bits == 4) {
    fill(file.data() + 16, 16);
  } else if (bits == 8 && file.size() >= kHeaderBytes + kPaletteBytes + 1 &&
             file[file.size() - kPaletteBytes - 1] == 12) {
    fill(file.data() + file.size() - kPaletteBytes, 256);
  }
  return colours;
}

// Run-length decodes one line of `count` bytes from `data` at `at`, and
// moves `at` past it; false when the data end first. A code of 192 or more
// repeats the next byte (code - 192) times; any other byte stands for
// itself.
bool DecodeLine(std::span<const uint8_t> data, size_t& at, uint8_t* line, size_t count) {
  const uint8_t* in = data.data() + at;
  const uint8_t* const end = data.data() + data.size();
  size_t done = 0;
  while (done < count) {
    if (in == end) return false;
    const uint8_t code = *in++;
    if (code < 192) {
      line[done++] = code;
      continue;
    }
    if (in == end) return false;
    const size_t run = std::min<size_t>(code & 63u, count - done);
    std::memset(line + done, *in++, run);
    done += run;
  }
  at = static_cast<size_t>(in - data.data());
  return true;
}

// Sixteen-colour planes (one bit per plane) gathered into 4-bit pixels, two
// per byte.
void GatherPlanes(const PcxHeader& h, const uint8_t* line, uint8_t* out) {
  size_t o = 0;
  for (int32_t x = 0; x < h.bytes_per_line; ++x)
    for (int k = 0; k < 8; k += 2) {
      uint8_t byte = 0;
      for (int32_t p = 0; p < h.planes; ++p) {
        const uint8_t plane = line[static_cast<size_t>(p) * h.bytes_per_line + x];
        if (plane & (1u << (7 - k))) byte |= static_cast<uint8_t>(0x10u << p);
        if (plane & (1u << (6 - k))) byte |= static_cast<uint8_t>(1u << p);
      }
      out[o++] = byte;
    }
}

}  // namespace

std::optional<DecodedPicture> DecodePcx(std::span<const uint8_t> file, DecodeNotes* notes) {
  ByteReader in(file);
  const uint8_t manufacturer = in.U8();
  in.Skip(2);
  PcxHeader h;
  h.bits_per_plane = in.U8();
  const int32_t xmin = in.U16(), ymin = in.U16(), xmax = in.U16(), ymax = in.U16();
  in.Seek(65);
  h.planes = in.U8();
  h.bytes_per_line = in.U16();
  if (!in.Ok() || file.size() < kHeaderBytes || manufacturer != 10) return std::nullopt;
  h.width = xmax - xmin + 1;
  h.height = ymax - ymin + 1;
  if (!SizeAllowed(h.width, h.height, notes) || h.planes < 1 || h.bits_per_plane < 1) return std::nullopt;
  // Each plane's line must hold the picture's width; a shorter line would
  // let a few bytes of data stand for a picture of any width.
  if (static_cast<int64_t>(h.bytes_per_line) * 8 < static_cast<int64_t>(h.width) * h.bits_per_plane)
    return std::nullopt;
  const size_t data_bytes = file.size() - kHeaderBytes;
  if (static_cast<int64_t>(h.LineBytes()) * h.height > static_cast<int64_t>(data_bytes) * kRleBytesPerByte)
    return std::nullopt;

  // Two to four planes of more than 8 bits a pixel together are red, green
  // and blue bytes (a fourth plane is left unused); they make 32-bit
  // pixels, which draw without a table.
  const bool planar_colour = h.planes >= 2 && h.planes <= 4 && DibBits(h.Bits()) == 24;
  DecodedPicture picture;
  platform::Dib& dib = picture.dib;
  dib.width = h.width;
  dib.height = -h.height;  // lines come top first
  dib.bit_count = static_cast<uint16_t>(planar_colour ? 32 : DibBits(h.Bits()));
  if (dib.bit_count <= 8) dib.colours = ColourTable(file, dib.bit_count);
  const size_t row_size = platform::DibStride(dib.width, dib.bit_count);
  const size_t line_bytes = static_cast<size_t>(h.LineBytes());
  const size_t buffer = std::max({line_bytes, row_size, static_cast<size_t>(h.bytes_per_line) * 4});
  std::vector<uint8_t> line(buffer, 0), assembly(buffer, 0), zeros(planar_colour ? buffer : 0, 0);
  picture.storage.assign(row_size * static_cast<size_t>(h.height), 0);

  size_t at = kHeaderBytes;
  for (int32_t y = 0; y < h.height; ++y) {
    if (!DecodeLine(file, at, line.data(), line_bytes)) return std::nullopt;
    uint8_t* row = picture.storage.data() + static_cast<size_t>(y) * row_size;
    if (planar_colour) {
      // Red, green and blue planes become blue, green, red, 0 (a plane
      // that a two-plane line lacks reads as 0).
      const size_t plane = static_cast<size_t>(h.bytes_per_line);
      const uint8_t* red = line.data();
      const uint8_t* green = red + plane;
      const uint8_t* blue = green + plane;
      InterleavePlanes(blue, green, red, zeros.data(), std::min(static_cast<size_t>(h.width), plane), row);
    } else if (h.planes == 1) {
      std::memcpy(row, line.data(), row_size);
    } else if (h.planes <= 4) {
      std::fill(assembly.begin(), assembly.end(), 0);
      GatherPlanes(h, line.data(), assembly.data());
      std::memcpy(row, assembly.data(), row_size);
    }
  }
  dib.bits = picture.storage;
  return picture;
}

}  // namespace zv::codecs
