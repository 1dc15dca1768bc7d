#pragma once

#include <cstdint>

namespace zv {

// Runtime errors of the memory-block commands and conversions.
namespace memblock_error {
constexpr int32_t kNumber = 5101;        // block number outside 1..255
constexpr int32_t kExists = 5102;        // making a block that exists
constexpr int32_t kMissing = 5103;       // no such block
constexpr int32_t kAllocation = 5104;    // no memory, or a surface would not lock
constexpr int32_t kOutside = 5105;       // offset, count or layout beyond the block
constexpr int32_t kZeroSize = 5106;
constexpr int32_t kByteValue = 5107;     // outside 0..255
constexpr int32_t kWordValue = 5108;     // outside 0..65535
constexpr int32_t kNegativeDword = 5109;
}  // namespace memblock_error

// Errors of the neighbours whose things convert to and from blocks.
namespace memblock_neighbour_error {
constexpr int32_t kOutOfMemory = 101;       // no record could be had
constexpr int32_t kImageFailed = 500;       // the block does not suit an image
constexpr int32_t kImageNumber = 501;       // outside 1..65535
constexpr int32_t kImageMissing = 502;
constexpr int32_t kBitmapFailed = 1000;     // the block does not suit a bitmap
constexpr int32_t kBitmapNumber = 1001;     // outside 0..31
constexpr int32_t kBitmapMissing = 1002;
constexpr int32_t kSoundNumber = 3001;      // outside 1..1025
constexpr int32_t kSoundMissing = 3004;     // not loaded, or the sound system refused
constexpr int32_t kMeshNumber = 7001;       // outside 1..65534
constexpr int32_t kMeshMissing = 7003;
constexpr int32_t kMeshNotChanged = 7028;   // missing, or the block's arrays exceed the mesh's
}  // namespace memblock_neighbour_error

}  // namespace zv
