#pragma once

#include <cstdint>

namespace zv {

// The sound library's last-error code: why the last call that failed did
// so. Library functions never throw; they return false, 0, -1 or null and
// leave one of these.
namespace audio_error {
inline constexpr int32_t kNone = 0;
inline constexpr int32_t kInitialised = 1;       // refused: the library is initialised
inline constexpr int32_t kNotInitialised = 2;    // or no output driver selected
inline constexpr int32_t kDeviceSetup = 3;       // output device or mixer could not be set up
inline constexpr int32_t kDeviceAllocated = 4;   // the device is in use by another program
inline constexpr int32_t kChannelStart = 5;      // a channel's start refused the sample
inline constexpr int32_t kPrimaryFormat = 6;
inline constexpr int32_t kCooperativeLevel = 7;
inline constexpr int32_t kDriverCall = 8;
inline constexpr int32_t kFileOpen = 9;
inline constexpr int32_t kBadFormat = 10;
inline constexpr int32_t kEmptyFile = 11;        // also an XM instrument with over 16 samples
inline constexpr int32_t kOutOfMemory = 12;      // or a thread could not be made
inline constexpr int32_t kSongSample = 13;
inline constexpr int32_t kBadParameter = 14;
inline constexpr int32_t kNoPropertySet = 15;    // no reverb property set on the device
inline constexpr int32_t kPropertyUnsupported = 16;
inline constexpr int32_t kNoChannel = 17;
inline constexpr int32_t kNotSupported = 18;     // not supported by the output driver
}  // namespace audio_error

void SetAudioError(int32_t code);
// The last error, left as it is.
int32_t GetAudioError();
// Clears the last error, whatever thread calls.
void ClearAudioError();
// Clears it only on the thread that last initialised the library, so that
// the mixer, stream and recording threads never wipe the main thread's code.
void ClearAudioErrorOnLibraryThread();

// Records the calling thread as the library's own (InitAudio does).
void RecordLibraryThread();
bool OnLibraryThread();

}  // namespace zv
