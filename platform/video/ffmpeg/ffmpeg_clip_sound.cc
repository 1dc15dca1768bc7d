#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/video/clip_sound.h"
#include "platform/video/ffmpeg/ffmpeg_handles.h"
#include "platform/video/ffmpeg/media_file.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace zv::platform {
namespace {

using ffmpeg::CodecHandle;
using ffmpeg::FormatHandle;
using ffmpeg::FrameHandle;
using ffmpeg::PacketHandle;
using ffmpeg::ResamplerHandle;

// Decoded frames longer than this, or tracks of more channels or stranger
// rates, are not believed: a damaged header must not make the resampler ask
// for gigabytes.
constexpr int kMaxFrameSamples = 1 << 20;
constexpr int kMaxChannels = 64;
constexpr int kMaxTrackRate = 768000;
// A stated length beyond a week is taken for a damaged header.
constexpr int64_t kLongestStatedMs = int64_t{7} * 24 * 3600 * 1000;

// What the resampler was made for; a decoder may change it within a track.
struct InputFormat {
  int rate = 0;
  int format = -1;
  AVChannelLayout layout{};
  bool operator==(const InputFormat& o) const {
    return rate == o.rate && format == o.format && AvUtil().av_channel_layout_compare(&layout, &o.layout) == 0;
  }
};

// The layout a frame says it has; a count of channels in no known order is
// taken in the usual order for that count.
AVChannelLayout LayoutOf(const AVChannelLayout& given) {
  AVChannelLayout layout{};
  if (given.order == AV_CHANNEL_ORDER_UNSPEC || AvUtil().av_channel_layout_check(&given) == 0) {
    AvUtil().av_channel_layout_default(&layout, given.nb_channels);
  } else {
    AvUtil().av_channel_layout_copy(&layout, &given);
  }
  return layout;
}

// A clip's sound track over the decoder library, read forwards and
// converted to 16-bit stereo at the asked rate. It has a demuxer of its own,
// so that it can be read on another thread than the clip's pictures.
class FfmpegClipSound final : public ClipSound {
 public:
  FfmpegClipSound(std::string path, int32_t rate) : path_(std::move(path)), rate_(rate) {}
  ~FfmpegClipSound() override { AvUtil().av_channel_layout_uninit(&input_.layout); }

  // Opens the track and decodes its first frames; false when there is no
  // sound in the file that decodes.
  bool Open() {
    format_ = ffmpeg::OpenLocalMedia(path_);
    if (!format_ || !OpenTrack()) return false;
    stated_length_ms_ = LengthFromHeaders();
    return Refill();
  }

  int32_t Read(int16_t* out, int32_t frames) override {
    if (out == nullptr || frames <= 0) return 0;
    int32_t done = 0;
    while (done < frames) {
      if (pending_at_ >= pending_.size() && !Refill()) break;
      const size_t take = std::min((pending_.size() - pending_at_) / 2, static_cast<size_t>(frames - done));
      std::memcpy(out + static_cast<size_t>(done) * 2, pending_.data() + pending_at_, take * 2 * sizeof(int16_t));
      pending_at_ += take * 2;
      done += static_cast<int32_t>(take);
    }
    return done;
  }

  bool Rewind() override {
    pending_.clear();
    pending_at_ = 0;
    AVStream* stream = format_->streams[stream_index_];
    const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    const bool seeked = AvFormat().av_seek_frame(format_.get(), stream_index_, start, AVSEEK_FLAG_BACKWARD) >= 0 ||
                        AvFormat().av_seek_frame(format_.get(), -1, 0, AVSEEK_FLAG_BYTE) >= 0;
    if (seeked) {
      AvCodec().avcodec_flush_buffers(codec_.get());
      // A new resampler: the old one may hold the end of the last pass.
      if (MakeResampler(input_)) {
        draining_ = flushed_ = false;
        Refill();
        return true;
      }
    }
    // The container cannot go back: read the file from its start again.
    FfmpegClipSound again(path_, rate_);
    if (!again.Open()) {
      flushed_ = true;
      return false;
    }
    Swap(again);
    return true;
  }

  int64_t StatedLengthMs() const override { return stated_length_ms_; }

 private:
  // The track's own duration, else the container's; -1 for none, or for
  // one no file could hold.
  int64_t LengthFromHeaders() const {
    const AVStream* stream = format_->streams[stream_index_];
    int64_t ms = -1;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0 && stream->time_base.num > 0 &&
        stream->time_base.den > 0)
      ms = AvUtil().av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000});
    else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0)
      ms = AvUtil().av_rescale(format_->duration, 1000, AV_TIME_BASE);
    return ms >= 0 && ms <= kLongestStatedMs ? ms : -1;
  }

  bool OpenTrack() {
    const AVCodec* decoder = nullptr;
    stream_index_ = AvFormat().av_find_best_stream(format_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (stream_index_ < 0 || decoder == nullptr) return false;
    const AVCodecParameters* parameters = format_->streams[stream_index_]->codecpar;
    if (parameters->ch_layout.nb_channels < 1 || parameters->ch_layout.nb_channels > kMaxChannels ||
        parameters->sample_rate < 1 || parameters->sample_rate > kMaxTrackRate)
      return false;
    codec_.reset(AvCodec().avcodec_alloc_context3(decoder));
    if (!codec_ || AvCodec().avcodec_parameters_to_context(codec_.get(), parameters) < 0) return false;
    // Decoding stays on the caller's thread.
    codec_->thread_count = 1;
    if (AvCodec().avcodec_open2(codec_.get(), decoder, nullptr) < 0) return false;
    // Everything but the sound is skipped by the demuxer.
    for (unsigned i = 0; i < format_->nb_streams; ++i)
      if (static_cast<int>(i) != stream_index_) format_->streams[i]->discard = AVDISCARD_ALL;
    packet_.reset(AvCodec().av_packet_alloc());
    frame_.reset(AvUtil().av_frame_alloc());
    return packet_ && frame_;
  }

  bool MakeResampler(const InputFormat& input) {
    if (input.rate < 1 || input.rate > kMaxTrackRate || input.layout.nb_channels < 1 ||
        input.layout.nb_channels > kMaxChannels || input.format < 0)
      return false;
    SwrContext* raw = nullptr;
    // The library takes the layouts by pointer to non-const; it reads them only.
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    AVChannelLayout layout = input.layout;
    if (SwResample().swr_alloc_set_opts2(&raw, &stereo, AV_SAMPLE_FMT_S16, rate_, &layout,
                                         static_cast<AVSampleFormat>(input.format), input.rate, 0, nullptr) < 0)
      return false;
    ResamplerHandle resampler(raw);
    if (SwResample().swr_init(resampler.get()) < 0) return false;
    resampler_ = std::move(resampler);
    if (&input != &input_) {
      AvUtil().av_channel_layout_uninit(&input_.layout);
      input_.rate = input.rate;
      input_.format = input.format;
      AvUtil().av_channel_layout_copy(&input_.layout, &input.layout);
    }
    return true;
  }

  // The converted frames of one decoded frame into `pending_`.
  bool Convert(const AVFrame& frame) {
    if (frame.nb_samples <= 0 || frame.nb_samples > kMaxFrameSamples) return false;
    InputFormat input;
    input.rate = frame.sample_rate > 0 ? frame.sample_rate : codec_->sample_rate;
    input.format = frame.format;
    input.layout = LayoutOf(frame.ch_layout.nb_channels > 0 ? frame.ch_layout : codec_->ch_layout);
    const bool ready = (resampler_ && input == input_) || MakeResampler(input);
    AvUtil().av_channel_layout_uninit(&input.layout);
    if (!ready) return false;
    return Take(const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
  }

  // Runs the resampler over `samples` input samples (none: what it holds).
  bool Take(const uint8_t** in, int samples) {
    const int room = SwResample().swr_get_out_samples(resampler_.get(), samples);
    if (room < 0 || room > kMaxFrameSamples * 4) return false;
    pending_.resize(static_cast<size_t>(room) * 2 + 2);
    auto* out = reinterpret_cast<uint8_t*>(pending_.data());
    const int made = SwResample().swr_convert(resampler_.get(), &out, room + 1, in, samples);
    pending_.resize(made > 0 ? static_cast<size_t>(made) * 2 : 0);
    pending_at_ = 0;
    return made >= 0;
  }

  // Decodes on until some converted frames wait in `pending_`; false at the
  // end of the track.
  bool Refill() {
    pending_.clear();
    pending_at_ = 0;
    int failures = 0;
    while (!flushed_) {
      const int got = AvCodec().avcodec_receive_frame(codec_.get(), frame_.get());
      if (got == 0) {
        const bool converted = Convert(*frame_);
        AvUtil().av_frame_unref(frame_.get());
        if (converted && !pending_.empty()) return true;
        if (!converted && ++failures > ffmpeg::kDecodeErrorLimit) break;
        continue;
      }
      if (got == AVERROR_EOF || (got == AVERROR(EAGAIN) && draining_)) break;
      if (got != AVERROR(EAGAIN)) {
        // A frame that did not decode; the decoder goes on with the next.
        if (++failures > ffmpeg::kDecodeErrorLimit) break;
        continue;
      }
      if (AvFormat().av_read_frame(format_.get(), packet_.get()) < 0) {
        // The end of the file: let the decoder give up what it still holds.
        draining_ = true;
        AvCodec().avcodec_send_packet(codec_.get(), nullptr);
        continue;
      }
      const bool refused =
          packet_->stream_index == stream_index_ && AvCodec().avcodec_send_packet(codec_.get(), packet_.get()) < 0;
      AvCodec().av_packet_unref(packet_.get());
      if (refused && ++failures > ffmpeg::kDecodeErrorLimit) break;
    }
    // The end: what the resampler still holds is the last of the track.
    if (flushed_ || !resampler_) return false;
    flushed_ = true;
    return Take(nullptr, 0) && !pending_.empty();
  }

  void Swap(FfmpegClipSound& other) {
    std::swap(format_, other.format_);
    std::swap(codec_, other.codec_);
    std::swap(packet_, other.packet_);
    std::swap(frame_, other.frame_);
    std::swap(resampler_, other.resampler_);
    std::swap(input_, other.input_);
    std::swap(stream_index_, other.stream_index_);
    std::swap(draining_, other.draining_);
    std::swap(flushed_, other.flushed_);
    std::swap(pending_, other.pending_);
    std::swap(pending_at_, other.pending_at_);
  }

  std::string path_;
  int32_t rate_;
  FormatHandle format_;
  CodecHandle codec_;
  PacketHandle packet_;
  FrameHandle frame_;
  ResamplerHandle resampler_;
  InputFormat input_;
  int stream_index_ = -1;
  bool draining_ = false;  // the file is read out
  bool flushed_ = false;   // the resampler has given up its last frames
  std::vector<int16_t> pending_;  // converted frames not yet read
  size_t pending_at_ = 0;
  int64_t stated_length_ms_ = -1;
};

}  // namespace

std::unique_ptr<ClipSound> OpenClipSound(const std::string& path, int32_t rate) {
  if (rate < 8000 || rate > 192000) return nullptr;
  auto sound = std::make_unique<FfmpegClipSound>(path, rate);
  if (!sound->Open()) return nullptr;
  return sound;
}

}  // namespace zv::platform
