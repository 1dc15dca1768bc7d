#pragma once

#include <cstdint>
#include <functional>
#include <thread>

namespace zv::platform {
class AudioBackend;
class Audio3DBackend;
}

namespace zv {

struct ReverbProperties;
struct SampleRecord;

// Output types. The automatic choice takes the 3D device driver when there
// is a 3D sound device, else wave-out.
inline constexpr int32_t kOutputAuto = -1;
inline constexpr int32_t kOutputNoSound = 0;
inline constexpr int32_t kOutputWave = 1;
inline constexpr int32_t kOutputDirect = 2;

inline constexpr float kAudioLibraryVersion = 3.33f;

// The devices behind the SDL output driver and recording: the SDL backend
// in a real run, the headless one (no devices) by default, an in-memory one
// in tests. Set before InitAudio; the caller keeps it alive.
void SetAudioBackend(platform::AudioBackend* backend);
platform::AudioBackend* GetAudioBackend();
// The devices behind the 3D device driver (output type 2): OpenAL's in a
// real run, none by default, a loopback device in tests. Set before
// InitAudio; the caller keeps it alive.
void SetAudio3DBackend(platform::Audio3DBackend* backend);
platform::Audio3DBackend* GetAudio3DBackend();

// Settings that must precede initialisation (false with last error 1 while
// the library is initialised).
bool SetOutputType(int32_t type);
bool SetDriver(int32_t index);
bool SetMixerType(int32_t type);
bool SetBufferSizeMs(int32_t ms);
bool SetWindowHandle(uint32_t window);
bool SetMinHardwareChannels(int32_t count);
bool SetMaxHardwareChannels(int32_t count);

// Settings that work at any time.
int32_t SetMasterVolume(int32_t volume);
void SetPanSeparation(float separation);

bool InitAudio(int32_t mix_rate, int32_t software_channels, uint32_t flags);
bool CloseAudio();
bool AudioInitialised();

int32_t GetOutputType();
int32_t GetDriver();
int32_t GetMixerType();
int32_t GetNumDrivers();
const char* GetDriverName(int32_t index);
bool GetOutputDriverCaps(int32_t index, uint32_t* caps);
int32_t GetOutputRate();
int32_t GetMaxChannels();
int32_t GetMaxSamples();
SampleRecord* GetSample(int32_t index);
int32_t GetChannelsPlaying();
int32_t GetNumHardwareChannels();
float GetMixerLoad();
int32_t GetMasterVolume();
float GetPanSeparation();
float GetLibraryVersion();
uint32_t GetInitFlags();
uint32_t GetWindowHandle();
int32_t GetBufferSetting();  // the stored (doubled) buffer length, -1 default

// Pass-through calls to the output driver's reverb slots.
bool SetReverbEnvironment(int32_t environment, float volume, float decay_time, float damping);
bool SetReverbProperties(const ReverbProperties& properties);
bool GetReverbEnvironment(int32_t* environment, float* volume, float* decay_time, float* damping);
bool GetReverbProperties(ReverbProperties* properties);

// The library's worker threads: every one is stopped by a flag that it
// polls and then joined, never killed.
std::thread::id GetCallerThreadId();
std::thread CreateWorkerThread(std::function<void()> routine);

}  // namespace zv
