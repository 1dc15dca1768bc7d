#pragma once

#include <cstdint>
#include <functional>

namespace zv {

// Reads the 4 bytes at `offset` of a stream's data into `bytes`; false where
// fewer than 4 are left.
using MpegPeek = std::function<bool(int64_t offset, uint8_t* bytes)>;

// Whether two frame headers belong to one stream: the same version, layer
// and sampling rate, which no frame of a stream changes.
bool SameMpegStream(uint32_t a, uint32_t b);

// How a search for a frame judges a candidate header.
struct MpegFrameSearch {
  int64_t end = 0;          // the data's length: no frame starts past it
  int64_t reach = INT64_MAX;  // candidates lie below `from` + reach
  uint32_t stream = 0;      // a header of the stream sought (0: any stream)
  int confirmations = 1;    // headers of its stream that must follow it
};

// The offset of the first frame at or after `from`: a valid header (of the
// stream sought) followed, frame after frame, by `confirmations` more
// headers of its stream, or by the end of the data. This is how a decoder
// finds its way back into a stream after a damaged header, or past tags and
// junk before the first frame: one lost frame, not the rest. -1 when there
// is none.
int64_t FindMpegFrame(const MpegPeek& peek, int64_t from, const MpegFrameSearch& search);

}  // namespace zv
