#include "audio/library/formats/mpeg_frame_sync.h"

#include "audio/library/formats/mpeg_header.h"

namespace zv {
namespace {

// Sync, version, layer and sampling-rate bits.
constexpr uint32_t kStreamBits = 0xFFFE0C00u;

// The header at `at`, when it is a valid one of the stream `stream` (any
// stream when 0).
bool StreamHeaderAt(const MpegPeek& peek, int64_t at, uint32_t stream, MpegHeader& header) {
  uint8_t bytes[4];
  return peek(at, bytes) && ReadMpegHeader(bytes, header) && (stream == 0 || SameMpegStream(header.word, stream));
}

}  // namespace

bool SameMpegStream(uint32_t a, uint32_t b) { return ((a ^ b) & kStreamBits) == 0; }

int64_t FindMpegFrame(const MpegPeek& peek, int64_t from, const MpegFrameSearch& search) {
  const int64_t last = search.reach < search.end - from ? from + search.reach : search.end;
  for (int64_t at = from; at < last; ++at) {
    MpegHeader header;
    if (!StreamHeaderAt(peek, at, search.stream, header)) continue;
    const uint32_t stream = header.word;
    int64_t next = at + 4 + header.frame_size;
    int confirmed = 0;
    while (confirmed < search.confirmations && next != search.end && StreamHeaderAt(peek, next, stream, header)) {
      next += 4 + header.frame_size;
      ++confirmed;
    }
    if (confirmed == search.confirmations || next == search.end) return at;
  }
  return -1;
}

}  // namespace zv
