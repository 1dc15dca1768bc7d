#include "platform/audio/cdrom/cd_drive.h"

namespace zv::platform {

CdTime CdTime::FromFrames(int64_t frames) {
  if (frames < 0) frames = 0;
  CdTime t;
  t.frames = static_cast<int>(frames % 75);
  t.seconds = static_cast<int>((frames / 75) % 60);
  t.minutes = static_cast<int>(frames / 75 / 60);
  return t;
}

}  // namespace zv::platform
