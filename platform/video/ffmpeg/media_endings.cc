#include "platform/video/media_endings.h"

#include <algorithm>
#include <string_view>

#include "platform/video/ffmpeg/ffmpeg_handles.h"

namespace zv::platform {
namespace {

// Single pictures and picture sequences: "image2", "png_pipe", ...
bool ReadsPictures(std::string_view format) {
  return format.starts_with("image2") || format.ends_with("_pipe");
}

std::vector<std::string> ListEndings() {
  std::vector<std::string> endings;
  void* at = nullptr;
  // Without the decoder's library there is nothing it reads.
  const AvFormatLibrary* library = nullptr;
  try {
    library = &AvFormat();
  } catch (const LibraryMissing&) {
    return endings;
  }
  while (const AVInputFormat* format = library->av_demuxer_iterate(&at)) {
    if (!format->extensions || ReadsPictures(format->name)) continue;
    std::string_view list = format->extensions;
    while (!list.empty()) {
      const size_t comma = std::min(list.find(','), list.size());
      std::string ending(list.substr(0, comma));
      std::transform(ending.begin(), ending.end(), ending.begin(),
                     [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
      if (!ending.empty()) endings.push_back(std::move(ending));
      list.remove_prefix(std::min(comma + 1, list.size()));
    }
  }
  std::sort(endings.begin(), endings.end());
  endings.erase(std::unique(endings.begin(), endings.end()), endings.end());
  return endings;
}

}  // namespace

const std::vector<std::string>& MediaDecoderEndings() {
  static const std::vector<std::string> endings = ListEndings();
  return endings;
}

}  // namespace zv::platform
