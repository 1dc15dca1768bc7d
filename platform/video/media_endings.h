#pragma once

#include <string>
#include <vector>

namespace zv::platform {

// The endings (lower case, without the dot) of the files the media decoder
// reads as music or video, as its formats name them. Pictures are the
// image loaders' business: the decoder's image formats are left out.
const std::vector<std::string>& MediaDecoderEndings();

}  // namespace zv::platform
