#include "platform/video/ffmpeg/clip_decoder.h"

#include "platform/video/ffmpeg/media_file.h"

namespace zv::platform::ffmpeg {
namespace {

bool SensibleSize(int width, int height) {
  return width > 0 && height > 0 && width <= ClipDecoder::kMaxSide && height <= ClipDecoder::kMaxSide;
}

// The stream's frame rate, or 25 frames a second when it names none; kept
// within 0.1 to 1000 frames a second and to small terms, so that frame
// times computed from it cannot overflow.
AVRational SaneRate(AVRational rate) {
  if (rate.num <= 0 || rate.den <= 0) return AVRational{25, 1};
  if (rate.num > int64_t{1000} * rate.den) return AVRational{1000, 1};
  if (int64_t{10} * rate.num < rate.den) return AVRational{1, 10};
  AVRational reduced{};
  AvUtil().av_reduce(&reduced.num, &reduced.den, rate.num, rate.den, 1000000);
  return reduced.num > 0 && reduced.den > 0 ? reduced : AVRational{25, 1};
}

}  // namespace

std::unique_ptr<ClipDecoder> ClipDecoder::Open(const std::string& path) {
  std::unique_ptr<ClipDecoder> clip(new ClipDecoder());
  if (!clip->OpenContainer(path)) return nullptr;
  clip->has_video_ = clip->OpenVideo() && clip->ReadFirstFrame();
  if (clip->has_video_) clip->first_timestamp_ = clip->first_->best_effort_timestamp;
  return clip;
}

bool ClipDecoder::OpenContainer(const std::string& path) {
  format_ = OpenLocalMedia(path);
  if (!format_) return false;
  packet_.reset(AvCodec().av_packet_alloc());
  first_.reset(AvUtil().av_frame_alloc());
  return packet_ && first_;
}

bool ClipDecoder::OpenVideo() {
  const AVCodec* decoder = nullptr;
  stream_index_ = AvFormat().av_find_best_stream(format_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  if (stream_index_ < 0 || decoder == nullptr) return false;
  AVStream* stream = format_->streams[stream_index_];
  if (!SensibleSize(stream->codecpar->width, stream->codecpar->height)) return false;
  codec_.reset(AvCodec().avcodec_alloc_context3(decoder));
  if (!codec_ || AvCodec().avcodec_parameters_to_context(codec_.get(), stream->codecpar) < 0) return false;
  // Decoding stays on the caller's thread, and its memory within reason.
  codec_->thread_count = 1;
  codec_->max_pixels = int64_t{kMaxSide} * kMaxSide;
  if (AvCodec().avcodec_open2(codec_.get(), decoder, nullptr) < 0) return false;
  rate_ = SaneRate(AvFormat().av_guess_frame_rate(format_.get(), stream, nullptr));
  // Everything but the video is skipped by the demuxer.
  for (unsigned i = 0; i < format_->nb_streams; ++i)
    if (static_cast<int>(i) != stream_index_) format_->streams[i]->discard = AVDISCARD_ALL;
  return true;
}

bool ClipDecoder::ReadFirstFrame() {
  if (DecodeNext(first_.get()) != Next::kFrame) return false;
  width_ = first_->width;
  height_ = first_->height;
  return true;
}

ClipDecoder::Next ClipDecoder::DecodeNext(AVFrame* frame) {
  if (!codec_) return Next::kError;
  int failures = 0;
  for (;;) {
    int got = AvCodec().avcodec_receive_frame(codec_.get(), frame);
    if (got == 0) {
      if (SensibleSize(frame->width, frame->height) && frame->format >= 0) return Next::kFrame;
      AvUtil().av_frame_unref(frame);
      if (++failures > kDecodeErrorLimit) return Next::kError;
      continue;
    }
    if (got == AVERROR_EOF) return Next::kEnd;
    if (got != AVERROR(EAGAIN)) {
      // A frame that did not decode; the decoder goes on with the next.
      if (++failures > kDecodeErrorLimit) return Next::kError;
      continue;
    }
    if (draining_) return Next::kEnd;
    int read = AvFormat().av_read_frame(format_.get(), packet_.get());
    if (read < 0) {
      // The end of the file (or of what can be read of it): let the decoder
      // give up the frames it still holds.
      draining_ = true;
      AvCodec().avcodec_send_packet(codec_.get(), nullptr);
      continue;
    }
    if (packet_->stream_index == stream_index_ && AvCodec().avcodec_send_packet(codec_.get(), packet_.get()) < 0 &&
        ++failures > kDecodeErrorLimit) {
      AvCodec().av_packet_unref(packet_.get());
      return Next::kError;
    }
    AvCodec().av_packet_unref(packet_.get());
  }
}

bool ClipDecoder::Rewind() {
  if (!has_video_) return false;
  AVStream* stream = format_->streams[stream_index_];
  int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
  if (AvFormat().av_seek_frame(format_.get(), stream_index_, start, AVSEEK_FLAG_BACKWARD) < 0 &&
      AvFormat().av_seek_frame(format_.get(), -1, 0, AVSEEK_FLAG_BYTE) < 0)
    return false;
  AvCodec().avcodec_flush_buffers(codec_.get());
  draining_ = false;
  // Some containers seek only near the start; the first frame must be the
  // one the clip began with.
  return DecodeNext(first_.get()) == Next::kFrame && first_->best_effort_timestamp == first_timestamp_;
}

}  // namespace zv::platform::ffmpeg
