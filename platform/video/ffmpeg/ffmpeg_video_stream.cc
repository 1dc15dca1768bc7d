#include <utility>

#include "platform/clock/clock.h"
#include "platform/video/ffmpeg/clip_decoder.h"
#include "platform/video/ffmpeg/frame_converter.h"
#include "platform/video/video_stream.h"

namespace zv::platform {
namespace {

using ffmpeg::ClipDecoder;
using ffmpeg::FrameHandle;

// A clip over the decoder library. Frame n falls due n / rate seconds after
// the start of the clip's time, which runs only while the clip runs.
class FfmpegVideoStream final : public VideoStream {
 public:
  FfmpegVideoStream(std::string path, std::unique_ptr<ClipDecoder> clip)
      : path_(std::move(path)), clip_(std::move(clip)) {
    TakeFirstFrame();
  }

  bool HasVideo() const override { return clip_->HasVideo() && current_ != nullptr; }
  int32_t Width() const override { return clip_->Width(); }
  int32_t Height() const override { return clip_->Height(); }
  double FrameRate() const override { return av_q2d(clip_->FrameRate()); }

  void Run(uint32_t now_ms) override {
    if (running_) return;
    running_ = true;
    run_start_ms_ = now_ms;
  }
  void Stop(uint32_t now_ms) override {
    if (!running_) return;
    held_ms_ += ElapsedMs(run_start_ms_, now_ms);
    running_ = false;
  }
  bool Running() const override { return running_; }

  bool SeekToStart(uint32_t now_ms) override {
    held_ms_ = 0;
    run_start_ms_ = now_ms;
    if (!clip_->HasVideo()) return true;
    if (!clip_->Rewind()) {
      // The container could not seek back to the first frame: read the
      // clip from its beginning again.
      std::unique_ptr<ClipDecoder> again = ClipDecoder::Open(path_);
      if (!again || !again->HasVideo()) return false;
      clip_ = std::move(again);
    }
    TakeFirstFrame();
    return current_ != nullptr;
  }

  VideoUpdate Update(uint32_t now_ms, const LockedRegion& target) override {
    if (!HasVideo()) return VideoUpdate::kError;
    const int64_t due = DueFrame(now_ms);
    while (current_index_ < due) {
      switch (clip_->DecodeNext(next_.get())) {
        case ClipDecoder::Next::kFrame:
          std::swap(current_, next_);
          ++current_index_;
          break;
        case ClipDecoder::Next::kEnd:
          return VideoUpdate::kEnd;
        case ClipDecoder::Next::kError:
          return VideoUpdate::kError;
      }
    }
    return converter_.Convert(*current_, target) ? VideoUpdate::kFrame : VideoUpdate::kError;
  }

 private:
  void TakeFirstFrame() {
    current_index_ = 0;
    if (!clip_->HasVideo()) return;
    if (!current_) current_.reset(AvUtil().av_frame_alloc());
    if (!next_) next_.reset(AvUtil().av_frame_alloc());
    if (!current_ || !next_) {
      current_.reset();
      return;
    }
    AvUtil().av_frame_unref(current_.get());
    AvUtil().av_frame_move_ref(current_.get(), clip_->FirstFrame());
  }

  // The number of the frame due at `now_ms` of the clip's time.
  int64_t DueFrame(uint32_t now_ms) const {
    int64_t ms = held_ms_ + (running_ ? ElapsedMs(run_start_ms_, now_ms) : 0);
    AVRational rate = clip_->FrameRate();
    return ms * rate.num / (int64_t{rate.den} * 1000);
  }

  std::string path_;
  std::unique_ptr<ClipDecoder> clip_;
  ffmpeg::FrameConverter converter_;
  FrameHandle current_, next_;
  int64_t current_index_ = 0;
  bool running_ = false;
  uint32_t run_start_ms_ = 0;
  int64_t held_ms_ = 0;  // clip time gathered before the last run
};

}  // namespace

std::unique_ptr<VideoStream> OpenVideoStream(const std::string& path) {
  std::unique_ptr<ClipDecoder> clip = ClipDecoder::Open(path);
  if (!clip) return nullptr;
  return std::make_unique<FfmpegVideoStream>(path, std::move(clip));
}

}  // namespace zv::platform
