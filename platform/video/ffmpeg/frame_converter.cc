#include "platform/video/ffmpeg/frame_converter.h"

namespace zv::platform::ffmpeg {
namespace {

struct Layout {
  int bits;
  uint32_t red, green, blue;
  AVPixelFormat format;
};

// Surface layouts by their masks; pixels are stored little-endian.
constexpr Layout kLayouts[] = {
    {32, 0xFF0000, 0x00FF00, 0x0000FF, AV_PIX_FMT_BGR0},
    {32, 0x0000FF, 0x00FF00, 0xFF0000, AV_PIX_FMT_RGB0},
    {24, 0xFF0000, 0x00FF00, 0x0000FF, AV_PIX_FMT_BGR24},
    {24, 0x0000FF, 0x00FF00, 0xFF0000, AV_PIX_FMT_RGB24},
    {16, 0xF800, 0x07E0, 0x001F, AV_PIX_FMT_RGB565LE},
    {16, 0x001F, 0x07E0, 0xF800, AV_PIX_FMT_BGR565LE},
    {16, 0x7C00, 0x03E0, 0x001F, AV_PIX_FMT_RGB555LE},
    {16, 0x001F, 0x03E0, 0x7C00, AV_PIX_FMT_BGR555LE},
};

constexpr int kScaleFlags = SWS_BILINEAR;

void StorePixel(uint8_t* at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

AVPixelFormat LibraryFormatOf(const PixelFormat& format) {
  // Palette index i of the 3-3-2 ramp is red (i >> 5), green (i >> 2) & 7,
  // blue i & 3: the library's RGB8.
  if (format.indexed) return format.bits == 8 ? AV_PIX_FMT_RGB8 : AV_PIX_FMT_NONE;
  if (format.depth || format.alpha_mask != 0) return AV_PIX_FMT_NONE;
  for (const Layout& l : kLayouts)
    if (l.bits == format.bits && l.red == format.red_mask && l.green == format.green_mask &&
        l.blue == format.blue_mask)
      return l.format;
  return AV_PIX_FMT_NONE;
}

bool FrameConverter::Convert(const AVFrame& frame, const LockedRegion& target) {
  if (target.bits == nullptr || target.width < 1 || target.height < 1) return false;
  AVPixelFormat out = LibraryFormatOf(target.format);
  if (out == AV_PIX_FMT_NONE) return ConvertPacked(frame, target);
  scaler_.reset(SwScale().sws_getCachedContext(scaler_.release(), frame.width, frame.height,
                                               static_cast<AVPixelFormat>(frame.format), target.width, target.height,
                                               out, kScaleFlags, nullptr, nullptr, nullptr));
  if (!scaler_) return false;
  uint8_t* planes[4] = {target.bits, nullptr, nullptr, nullptr};
  int pitches[4] = {target.pitch, 0, 0, 0};
  return SwScale().sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height, planes, pitches) > 0;
}

bool FrameConverter::ConvertPacked(const AVFrame& frame, const LockedRegion& target) {
  const int bytes = target.format.BytesPerPixel();
  if (target.format.indexed || target.format.depth || bytes < 1 || bytes > 4) return false;
  scaler_.reset(SwScale().sws_getCachedContext(scaler_.release(), frame.width, frame.height,
                                               static_cast<AVPixelFormat>(frame.format), target.width, target.height,
                                               AV_PIX_FMT_RGB24, kScaleFlags, nullptr, nullptr, nullptr));
  if (!scaler_) return false;
  const int row = target.width * 3;
  scratch_.resize(static_cast<size_t>(row) * target.height);
  uint8_t* planes[4] = {scratch_.data(), nullptr, nullptr, nullptr};
  int pitches[4] = {row, 0, 0, 0};
  if (SwScale().sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height, planes, pitches) <= 0)
    return false;
  for (int y = 0; y < target.height; ++y) {
    const uint8_t* in = scratch_.data() + static_cast<size_t>(y) * row;
    uint8_t* out = target.bits + static_cast<size_t>(y) * target.pitch;
    for (int x = 0; x < target.width; ++x, in += 3, out += bytes)
      StorePixel(out, PackRgb(target.format, in[0], in[1], in[2]), bytes);
  }
  return true;
}

}  // namespace zv::platform::ffmpeg
