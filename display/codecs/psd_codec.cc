#include "display/codecs/psd_codec.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "display/codecs/byte_reader.h"
#include "display/codecs/codec_limits.h"
#include "display/codecs/pixel_rows.h"

namespace zv::codecs {
namespace {

// A PackBits run of two bytes gives at most 128 bytes.
constexpr int64_t kPackBitsBytesPerByte = 64;
constexpr int kStoredChannels = 4;

// Pixels are made a band at a time, so that the channels' pieces stay in
// the cache while they are interleaved.
constexpr size_t kBand = 4096;

// One channel of PackBits data, `count` bytes long, read a piece at a
// time. Runs may cross pieces, rows and (when a run is longer than the
// channel needs) the channel's end, whose extra bytes are skipped.
class ChannelReader {
 public:
  ChannelReader(std::span<const uint8_t> data, size_t at, size_t count)
      : begin_(data.data()), in_(data.data() + at), end_(data.data() + data.size()), left_(count) {}

  // The next `n` (at most what the channel still owes) bytes into `out`, or
  // past them when `out` is null; false when the data end first.
  bool Read(size_t n, uint8_t* out) {
    size_t done = 0;
    while (done < n) {
      if (literal_ > 0) {
        const size_t k = std::min(literal_, n - done);
        if (out) std::memcpy(out + done, in_, k);
        in_ += k;
        literal_ -= k;
        done += k;
        if (literal_ == 0) in_ += std::exchange(literal_tail_, 0);
        continue;
      }
      if (repeat_ > 0) {
        const size_t k = std::min(repeat_, n - done);
        if (out) std::memset(out + done, value_, k);
        repeat_ -= k;
        done += k;
        continue;
      }
      if (in_ == end_) return false;
      const uint8_t header = *in_++;
      const size_t owed = left_ - done;
      if (header < 128) {
        const size_t length = header + 1u;
        if (static_cast<size_t>(end_ - in_) < length) return false;
        literal_ = std::min(length, owed);
        literal_tail_ = length - literal_;
      } else if (header > 128) {
        if (in_ == end_) return false;
        value_ = *in_++;
        repeat_ = std::min<size_t>(257u - header, owed);
      }
    }
    left_ -= n;
    return true;
  }

  // Where the data after what was read begin.
  size_t Position() const { return static_cast<size_t>(in_ - begin_); }

 private:
  const uint8_t* begin_;
  const uint8_t* in_;
  const uint8_t* end_;
  size_t left_;
  size_t literal_ = 0, literal_tail_ = 0;  // of the literal run in progress
  size_t repeat_ = 0;
  uint8_t value_ = 0;
};

}  // namespace

std::optional<DecodedPicture> DecodePsd(std::span<const uint8_t> file, DecodeNotes* notes) {
  ByteReader in(file);
  in.Skip(4);  // signature
  const uint16_t version = in.U16Be();
  in.Skip(6);
  const uint16_t channels = in.U16Be();
  const uint32_t height = in.U32Be();
  const uint32_t width = in.U32Be();
  const uint16_t depth = in.U16Be();
  const uint16_t mode = in.U16Be();
  if (!in.Ok() || version != 1 || channels < 1 || channels > 16 || depth != 8 || mode != 3) return std::nullopt;
  if (!SizeAllowed(width, height, notes)) return std::nullopt;
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

  // Where each channel's data begin: a run-length one is read through to
  // find where the next begins (and to refuse data that end early).
  size_t starts[kStoredChannels] = {};
  size_t at = in.Position();
  for (int c = 0; c < present; ++c) {
    starts[c] = at;
    if (compression == 1) {
      ChannelReader through(file, at, count);
      if (!through.Read(count, nullptr)) return std::nullopt;
      at = through.Position();
    } else {
      at += count;
    }
  }

  // Then every band of pixels takes its piece of each channel: blue,
  // green, red and alpha bytes; a colour the file lacks is 0, a missing
  // alpha 255.
  std::vector<ChannelReader> readers;
  for (int c = 0; c < present && compression == 1; ++c) readers.emplace_back(file, starts[c], count);
  std::vector<uint8_t> pieces(kBand * (kStoredChannels + 2));
  uint8_t* const zeros = pieces.data() + kBand * kStoredChannels;
  uint8_t* const opaque = zeros + kBand;
  std::memset(opaque, 255, kBand);
  DecodedPicture picture;
  picture.storage.resize(count * 4);
  for (size_t first = 0; first < count; first += kBand) {
    const size_t n = std::min(kBand, count - first);
    const uint8_t* channel[kStoredChannels] = {zeros, zeros, zeros, opaque};
    for (int c = 0; c < present; ++c) {
      if (compression == 0) {
        channel[c] = file.data() + starts[c] + first;
        continue;
      }
      uint8_t* piece = pieces.data() + kBand * static_cast<size_t>(c);
      if (!readers[static_cast<size_t>(c)].Read(n, piece)) return std::nullopt;
      channel[c] = piece;
    }
    InterleavePlanes(channel[2], channel[1], channel[0], channel[3], n, picture.storage.data() + 4 * first);
  }
  picture.DescribeTopDown32(static_cast<int32_t>(width), static_cast<int32_t>(height));
  return picture;
}

}  // namespace zv::codecs
