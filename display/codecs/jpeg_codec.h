#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "display/codecs/decoded_picture.h"
#include "platform/surface/surface.h"

namespace zv::codecs {

struct DecodeNotes;

// Where the last JPEG load got to, for the error report.
namespace jpeg_step {
constexpr int32_t kDecodeStarted = 16001;
constexpr int32_t kInDecoder = 16002;
constexpr int32_t kNotOpened = 16003;
constexpr int32_t kErrorHandlingReady = 16004;
constexpr int32_t kLibraryError = 16005;
constexpr int32_t kDecompressionStarted = 16006;
constexpr int32_t kDecodingFinished = 16007;
constexpr int32_t kBackFromDecoder = 16008;
constexpr int32_t kDecodingFailed = 16009;
constexpr int32_t kNoSurface = 16010;
constexpr int32_t kHeaderBuilt = 16011;
constexpr int32_t kPictureDrawn = 16012;
constexpr int32_t kLoadFinished = 16013;
}  // namespace jpeg_step

// A baseline or progressive JPEG in colour, grey or CMYK. `step` (when
// given) follows the decoder's progress with the codes above.
std::optional<DecodedPicture> DecodeJpeg(std::span<const uint8_t> file, DecodeNotes* notes = nullptr);

// The surface as a baseline JPEG of quality 100; empty when it cannot be
// coded.
std::vector<uint8_t> EncodeJpeg(const platform::Surface& surface);

}  // namespace zv::codecs
