#include "display/codecs/psd_codec.h"

#include <algorithm>
#include <vector>

#include "display/codecs/byte_reader.h"
#include "display/codecs/codec_limits.h"

namespace zv::codecs {
namespace {

// A PackBits run of two bytes gives at most 128 bytes.
constexpr int64_t kPackBitsBytesPerByte = 64;
constexpr int kStoredChannels = 4;

// Decodes one channel of `count` bytes into every fourth byte of `out`;
// false when the data end first.
bool UnpackChannel(ByteReader& in, size_t count, uint8_t* out) {
  size_t done = 0;
  while (done < count) {
    const uint8_t n = in.U8();
    if (!in.Ok()) return false;
    if (n < 128) {
      const size_t run = std::min<size_t>(n + 1u, count - done);
      const std::span<const uint8_t> literal = in.Bytes(n + 1u);
      if (!in.Ok()) return false;
      for (size_t i = 0; i < run; ++i) out[4 * (done + i)] = literal[i];
      done += run;
    } else if (n > 128) {
      const uint8_t value = in.U8();
      if (!in.Ok()) return false;
      const size_t run = std::min<size_t>(257u - n, count - done);
      for (size_t i = 0; i < run; ++i) out[4 * (done + i)] = value;
      done += run;
    }
  }
  return true;
}

bool CopyChannel(ByteReader& in, size_t count, uint8_t* out) {
  const std::span<const uint8_t> data = in.Bytes(count);
  if (!in.Ok()) return false;
  for (size_t i = 0; i < count; ++i) out[4 * i] = data[i];
  return true;
}

}  // namespace

std::optional<DecodedPicture> DecodePsd(std::span<const uint8_t> file) {
  ByteReader in(file);
  in.Skip(4);  // signature
  const uint16_t version = in.U16Be();
  in.Skip(6);
  const uint16_t channels = in.U16Be();
  const uint32_t height = in.U32Be();
  const uint32_t width = in.U32Be();
  const uint16_t depth = in.U16Be();
  const uint16_t mode = in.U16Be();
  if (!in.Ok() || version != 1 || channels > 16 || depth != 8 || mode != 3) return std::nullopt;
  if (!SizeAllowed(width, height)) return std::nullopt;
  for (int section = 0; section < 3; ++section) in.Skip(in.U32Be());
  const uint16_t compression = in.U16Be();
  if (!in.Ok() || compression > 1) return std::nullopt;

  const size_t count = static_cast<size_t>(width) * height;
  const int present = std::min<int>(channels, kStoredChannels);
  if (compression == 1) {
    in.Skip(static_cast<size_t>(height) * channels * 2);
    if (present > 0 && !FileCanHold(width, height, in.Remaining() / static_cast<size_t>(present) + 1, kPackBitsBytesPerByte))
      return std::nullopt;
  } else if (in.Remaining() / count < static_cast<size_t>(present)) {
    return std::nullopt;
  }
  if (!in.Ok()) return std::nullopt;

  DecodedPicture picture;
  picture.storage.assign(count * 4, 0);
  // Channels red, green, blue, alpha land on bytes 2, 1, 0, 3 of each pixel.
  static constexpr int kByteOf[kStoredChannels] = {2, 1, 0, 3};
  for (int c = 0; c < kStoredChannels; ++c) {
    uint8_t* out = picture.storage.data() + kByteOf[c];
    if (c >= present) {
      if (c == 3)
        for (size_t i = 0; i < count; ++i) out[4 * i] = 255;
      continue;
    }
    const bool ok = compression == 1 ? UnpackChannel(in, count, out) : CopyChannel(in, count, out);
    if (!ok) return std::nullopt;
  }
  platform::Dib& dib = picture.dib;
  dib.width = static_cast<int32_t>(width);
  dib.height = -static_cast<int32_t>(height);
  dib.bit_count = 32;
  dib.bits = picture.storage;
  return picture;
}

}  // namespace zv::codecs
