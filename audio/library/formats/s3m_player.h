#pragma once

#include "audio/library/formats/song.h"

namespace zv {

// The S3M player: the song's tick function.
void S3mTick(Song& song);

}  // namespace zv
