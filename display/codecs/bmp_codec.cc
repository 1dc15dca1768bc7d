#include "display/codecs/bmp_codec.h"

#include "display/codecs/byte_reader.h"
#include "display/codecs/codec_limits.h"
#include "display/codecs/surface_rows.h"

namespace zv::codecs {
namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kInfoHeaderBytes = 40;

// Run-length data yields at most this many pixels per byte of data in any
// file a program would make (a run of 255 pixels takes two bytes).
constexpr int64_t kRlePixelsPerByte = 1024;

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFFu);
  Put16(out, v >> 16);
}

}  // namespace

std::optional<DecodedPicture> DecodeBmp(std::vector<uint8_t> file, DecodeNotes* notes) {
  std::optional<DecodedPicture> picture = DecodeBmpInPlace(file, notes);
  // Moving the vector keeps its buffer, so the bits still point into it.
  if (picture) picture->storage = std::move(file);
  return picture;
}

std::optional<DecodedPicture> DecodeBmpInPlace(std::span<const uint8_t> bytes, DecodeNotes* notes) {
  DecodedPicture picture;
  ByteReader header(bytes);
  const uint16_t magic = header.U16();
  header.Skip(8);
  const uint32_t bits_at = header.U32();
  if (!header.Ok() || magic != 0x4D42) return std::nullopt;
  if (!platform::ReadDibInfo(bytes.subspan(kFileHeaderBytes), &picture.dib)) return std::nullopt;
  if (bits_at > bytes.size()) return std::nullopt;
  picture.dib.bits = bytes.subspan(bits_at);

  const platform::Dib& dib = picture.dib;
  const bool rle = dib.compression == platform::dib_compression::kRle8 ||
                   dib.compression == platform::dib_compression::kRle4;
  if (rle) {
    if (!FileCanHold(dib.width, dib.Rows(), dib.bits.size(), kRlePixelsPerByte, notes) ||
        !platform::RleDataWhole(dib))
      return std::nullopt;
  } else {
    const size_t stride = platform::DibStride(dib.width, dib.bit_count);
    if (!SizeAllowed(dib.width, dib.Rows(), notes) || stride == 0 ||
        dib.bits.size() / stride < static_cast<size_t>(dib.Rows()))
      return std::nullopt;
  }
  return picture;
}

std::vector<uint8_t> EncodeBmp(const platform::Surface& surface) {
  const int32_t w = surface.Width(), h = surface.Height();
  const size_t stride = (static_cast<size_t>(w) * 3 + 3) / 4 * 4;
  const uint64_t file_size = kFileHeaderBytes + kInfoHeaderBytes + uint64_t{stride} * static_cast<uint64_t>(h);
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(file_size));
  // File header. Readers check the size field against the file; a picture
  // too large for it to hold keeps 0 there.
  Put16(out, 0x4D42);
  Put32(out, file_size <= UINT32_MAX ? static_cast<uint32_t>(file_size) : 0);
  Put32(out, 0);
  Put32(out, kFileHeaderBytes + kInfoHeaderBytes);
  Put32(out, kInfoHeaderBytes);
  Put32(out, static_cast<uint32_t>(w));
  Put32(out, static_cast<uint32_t>(h));
  Put16(out, 1);
  Put16(out, 24);
  for (int i = 0; i < 6; ++i) Put32(out, 0);
  std::vector<uint8_t> row(stride, 0);
  for (int32_t y = h - 1; y >= 0; --y) {
    ReadWriterRowBgr(surface, y, row.data());
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace zv::codecs
