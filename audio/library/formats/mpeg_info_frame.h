#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace zv {

// What the tag frame that encoders put first in a layer III stream says: an
// Info (constant bitrate) or Xing (variable bitrate) frame, which holds no
// sound, and the encoder delay and padding that its encoder's extension
// states: samples per channel that the encoder added before the sound and
// after it.
struct MpegInfoFrame {
  int32_t delay = 0;
  int32_t padding = 0;
  bool gapless = false;  // whether delay and padding were stated
};

// Reads `frame` (a whole frame, header first) as such a tag frame; nothing
// when it is a frame of sound.
std::optional<MpegInfoFrame> ReadMpegInfoFrame(std::span<const uint8_t> frame);

// A decoder's output lags its input by this many samples per channel (the
// polyphase filter bank's delay), which the stated delay leaves out.
inline constexpr int32_t kMpegDecoderDelay = 529;

}  // namespace zv
