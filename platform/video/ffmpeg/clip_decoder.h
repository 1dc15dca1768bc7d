#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/video/ffmpeg/ffmpeg_handles.h"

namespace zv::platform::ffmpeg {

// The demuxer and video decoder of one clip, read forwards frame by frame.
// Nothing in the file is trusted: damaged packets are skipped, frames of an
// impossible size are dropped, and every loop ends with the file.
class ClipDecoder {
 public:
  // Frames wider or higher than this are refused (a damaged header must
  // not make the decoder ask for gigabytes).
  static constexpr int kMaxSide = 4096;

  // Null when the file cannot be opened as media. The decoder has video
  // only when a video stream's codec opened and gave a first frame, which
  // is then waiting in FirstFrame().
  static std::unique_ptr<ClipDecoder> Open(const std::string& path);

  bool HasVideo() const { return has_video_; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // Frames per second as a fraction, always positive.
  AVRational FrameRate() const { return rate_; }
  // The frame decoded first (by Open or by Rewind).
  AVFrame* FirstFrame() { return first_.get(); }

  enum class Next { kFrame, kEnd, kError };
  // The next frame of the video into `frame`.
  Next DecodeNext(AVFrame* frame);
  // Back to the first frame (decoded again into FirstFrame()); false when
  // the container cannot seek there.
  bool Rewind();

 private:
  ClipDecoder() = default;
  bool OpenContainer(const std::string& path);
  bool OpenVideo();
  bool ReadFirstFrame();

  FormatHandle format_;
  CodecHandle codec_;
  PacketHandle packet_;
  FrameHandle first_;
  int stream_index_ = -1;
  bool has_video_ = false;
  bool draining_ = false;
  int32_t width_ = 0, height_ = 0;
  AVRational rate_{25, 1};
  int64_t first_timestamp_ = AV_NOPTS_VALUE;
};

}  // namespace zv::platform::ffmpeg
