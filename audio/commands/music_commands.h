#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The music commands: load (a file or a CD track), delete, play, loop,
// stop, pause, resume and set the volume of numbered music, and query it.
void RegisterMusicHandlers(HandlerTable& table);

namespace music_opcode {
constexpr int kLoadMusic = 3501;
constexpr int kDeleteMusic = 3502;
constexpr int kPlayMusic = 3503;
constexpr int kStopMusic = 3504;
constexpr int kPauseMusic = 3505;
constexpr int kResumeMusic = 3506;
constexpr int kLoopMusic = 3507;
constexpr int kSetMusicVolume = 3508;
constexpr int kSetMusicVolumeRaw = 3509;
constexpr int kMusicExist = 3551;
constexpr int kMusicPlaying = 3552;
constexpr int kMusicPaused = 3553;
constexpr int kMusicLooping = 3554;
constexpr int kLoadCdMusic = 3601;
}  // namespace music_opcode

namespace music_error {
constexpr int32_t kNumber = 3501;
constexpr int32_t kLoadFailed = 3502;
constexpr int32_t kNotLoaded = 3504;
constexpr int32_t kNotPlaying = 3507;
}  // namespace music_error

}  // namespace zv
