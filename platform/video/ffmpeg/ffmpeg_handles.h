#pragma once

#include <memory>

#include "platform/video/ffmpeg/ffmpeg_libraries.h"

namespace zv::platform::ffmpeg {

// Owning handles for the decoder library's objects.
struct FormatCloser {
  void operator()(AVFormatContext* c) const { AvFormat().avformat_close_input(&c); }
};
struct CodecFreer {
  void operator()(AVCodecContext* c) const { AvCodec().avcodec_free_context(&c); }
};
struct FrameFreer {
  void operator()(AVFrame* f) const { AvUtil().av_frame_free(&f); }
};
struct PacketFreer {
  void operator()(AVPacket* p) const { AvCodec().av_packet_free(&p); }
};
struct ScalerFreer {
  void operator()(SwsContext* s) const { SwScale().sws_freeContext(s); }
};
struct ResamplerFreer {
  void operator()(SwrContext* s) const { SwResample().swr_free(&s); }
};

using FormatHandle = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecHandle = std::unique_ptr<AVCodecContext, CodecFreer>;
using FrameHandle = std::unique_ptr<AVFrame, FrameFreer>;
using PacketHandle = std::unique_ptr<AVPacket, PacketFreer>;
using ScalerHandle = std::unique_ptr<SwsContext, ScalerFreer>;
using ResamplerHandle = std::unique_ptr<SwrContext, ResamplerFreer>;

}  // namespace zv::platform::ffmpeg
