#pragma once

#include <string>

#include "platform/video/ffmpeg/ffmpeg_handles.h"

namespace zv::platform::ffmpeg {

// Consecutive decoding failures after which a stream counts as undecodable.
constexpr int kDecodeErrorLimit = 64;

// Opens a local media file and reads what streams it holds; null when the
// file cannot be opened or read as media. A clip names no other resource
// that may be fetched: only local files are read.
FormatHandle OpenLocalMedia(const std::string& path);

}  // namespace zv::platform::ffmpeg
