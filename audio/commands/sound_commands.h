#pragma once

#include "runtime/vm/vm.h"

namespace zv {

namespace sound_opcode {
constexpr int kLoadSound = 3001;
constexpr int kDeleteSound = 3002;
constexpr int kPlaySound = 3003;
constexpr int kStopSound = 3004;
constexpr int kPauseSound = 3005;
constexpr int kResumeSound = 3006;
constexpr int kLoopSound = 3007;
constexpr int kSetSoundVolume = 3008;
constexpr int kSetSoundSpeed = 3009;
constexpr int kSetSoundPan = 3010;
constexpr int kLoad3DSound = 3011;
constexpr int kPositionSound = 3012;
constexpr int kPositionListener = 3013;
constexpr int kRotateListener = 3014;
constexpr int kSetSoundDistanceFactor = 3015;
constexpr int kCloneSound = 3021;
constexpr int kPlaySoundFrom = 3022;
constexpr int kLoopSoundFrom = 3023;
constexpr int kLoopSoundRange = 3024;
constexpr int kLoopSoundRangeFrom = 3025;
constexpr int kLoadSoundWithPriority = 3026;
constexpr int kRecordSound = 3027;
constexpr int kStopRecordingSound = 3028;
constexpr int kSaveSound = 3029;
constexpr int kRecordSoundTimed = 3030;
constexpr int kSetSoundEnvironment = 3031;
constexpr int kSetSoundEnvironmentValues = 3032;
constexpr int kSetSoundEnvironmentDetailed = 3033;
constexpr int kSoundStubA = 3041;
constexpr int kSoundStubB = 3042;
constexpr int kSoundStubC = 3043;
constexpr int kSoundStubD = 3046;
constexpr int kSoundExist = 3051;
constexpr int kSoundPlaying = 3052;
constexpr int kSoundPaused = 3053;
constexpr int kSoundLooping = 3054;
constexpr int kSoundVolume = 3055;
constexpr int kSoundSpeed = 3056;
constexpr int kSoundPan = 3057;
constexpr int kSoundIs3D = 3058;
constexpr int kSoundPositionX = 3059;
constexpr int kSoundPositionY = 3060;
constexpr int kSoundPositionZ = 3061;
constexpr int kListenerPositionX = 3062;
constexpr int kListenerPositionY = 3063;
constexpr int kListenerPositionZ = 3064;
constexpr int kListenerAngleX = 3065;
constexpr int kListenerAngleY = 3066;
constexpr int kListenerAngleZ = 3067;
}  // namespace sound_opcode

namespace sound_error {
constexpr int32_t kNumber = 3001;
constexpr int32_t kLoadFailed = 3002;
constexpr int32_t kInUse = 3003;
constexpr int32_t kNotLoaded = 3004;
constexpr int32_t kVolumeRange = 3005;
constexpr int32_t kSpeedRange = 3006;
constexpr int32_t kPanRange = 3007;
constexpr int32_t kSaveFailed = 3008;
constexpr int32_t kCloneFailed = 3021;
constexpr int32_t kCloneSourceMissing = 3022;
constexpr int32_t kCloneOfItself = 3023;
constexpr int32_t kNotSupported = 3201;
}  // namespace sound_error

// Registers the sound commands (opcodes 3001 to 3067). They find the sound
// slots through vm.sound (a SoundCommandsService); with another service
// there they check their numbers and do nothing else.
void RegisterSoundHandlers(HandlerTable& table);

}  // namespace zv
