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
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

}  // namespace

FormatHandle OpenLocalMedia(const std::string& path) {
  SilenceLibraryLog();
  AVFormatContext* raw = nullptr;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  // Named as a file, so that a name that begins like a protocol ("C:x.avi")
  // is not taken for one.
  const int opened = avformat_open_input(&raw, ("file:" + path).c_str(), nullptr, &options);
  av_dict_free(&options);
  if (opened < 0) return nullptr;
  FormatHandle format(raw);
  if (avformat_find_stream_info(format.get(), nullptr) < 0) return nullptr;
  return format;
}

}  // namespace zv::platform::ffmpeg
