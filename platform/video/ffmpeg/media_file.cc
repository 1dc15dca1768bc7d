#include "platform/video/ffmpeg/media_file.h"

#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace zv::platform::ffmpeg {
namespace {

// A damaged clip makes the decoders complain on every packet; the commands
// report what matters themselves.
void SilenceLibraryLog() {
  static std::once_flag once;
  std::call_once(once, [] { AvUtil().av_log_set_level(AV_LOG_QUIET); });
}

}  // namespace

FormatHandle OpenLocalMedia(const std::string& path) {
  // Every library a clip's pictures and sound go through, so that a
  // missing one stops the command that opens the clip, not a later frame.
  AvFormat(), AvCodec(), SwScale(), SwResample();
  SilenceLibraryLog();
  AVFormatContext* raw = nullptr;
  AVDictionary* options = nullptr;
  AvUtil().av_dict_set(&options, "protocol_whitelist", "file", 0);
  // Named as a file, so that a name that begins like a protocol ("C:x.avi")
  // is not taken for one.
  const int opened = AvFormat().avformat_open_input(&raw, ("file:" + path).c_str(), nullptr, &options);
  AvUtil().av_dict_free(&options);
  if (opened < 0) return nullptr;
  FormatHandle format(raw);
  if (AvFormat().avformat_find_stream_info(format.get(), nullptr) < 0) return nullptr;
  return format;
}

}  // namespace zv::platform::ffmpeg
