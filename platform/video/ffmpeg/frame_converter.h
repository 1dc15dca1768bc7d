#pragma once

#include <cstdint>
#include <vector>

#include "platform/surface/surface.h"
#include "platform/video/ffmpeg/ffmpeg_handles.h"

namespace zv::platform::ffmpeg {

// Writes decoded frames into locked pixels of any surface format: the
// common RGB layouts directly, an 8-bit target as indices of the 3-3-2
// colour ramp, any other masks through a 32-bit copy packed pixel by pixel.
// A frame of another size is stretched to the target's.
class FrameConverter {
 public:
  // False when the frame's format cannot be converted or the target holds
  // no pixels.
  bool Convert(const AVFrame& frame, const LockedRegion& target);

 private:
  bool ConvertPacked(const AVFrame& frame, const LockedRegion& target);

  ScalerHandle scaler_;
  std::vector<uint8_t> scratch_;
};

// The decoder library's name for a surface format, or AV_PIX_FMT_NONE when
// it has none.
AVPixelFormat LibraryFormatOf(const PixelFormat& format);

}  // namespace zv::platform::ffmpeg
