#include "audio/library/library.h"

#include <cmath>
#include <cstdlib>

#include "audio/library/audio_error.h"
#include "audio/library/cd_audio.h"
#include "audio/library/channel.h"
#include "audio/library/library_state.h"
#include "audio/library/mixer.h"
#include "audio/library/recording.h"
#include "audio/library/song_hooks.h"
#include "audio/library/sound3d.h"
#include "audio/library/streamer.h"
#include "platform/audio/headless/headless_audio.h"
#include "platform/audio3d/audio3d_device.h"

namespace zv {
namespace {

constexpr const char* kMixBufferName = "DEZUVA Primary MixBuffer";

bool RefuseWhileInitialised() {
  if (!Lib().initialised) return false;
  SetAudioError(audio_error::kInitialised);
  return true;
}

void ResetChannel(ChannelRecord& c, int32_t index) {
  c.index = index;
  c.reference = 1;
  c.sample = nullptr;
  c.priority = 0;
  c.frequency = 44100;
  c.volume = 255;
  c.pan = 128;
  c.mute = c.paused = c.mark = c.reserved = c.absolute_volume = c.song_owned = 0;
  c.ops.stop(c);
  c.ops.set_volume(c, 255);
  c.ops.set_frequency(c, 44100);
  c.ops.set_pan(c, 128);
}

bool MakeMixBufferSample() {
  AudioLibraryState& lib = Lib();
  SampleRecord* s = AllocSampleSlot(-2, sample_mode::kHardware | sample_mode::kDriverCreated);
  if (s == nullptr) return false;
  SetSampleName(*s, kMixBufferName);
  s->bits = 16;
  s->loop_mode = kLoopModeNormal;
  s->layout = static_cast<uint8_t>(sample_mode::kStereo);
  s->length = s->loop_length = GetMixBufferLength();
  s->loop_start = 0;
  s->default_frequency = lib.mix_rate;
  s->default_volume = 255;
  s->default_pan = -1;
  s->default_priority = 255;
  s->driver_created = 1;
  s->hardware = 0;
  lib.mix_buffer = s;
  return s->ops.create_data(*s);
}

}  // namespace

AudioLibraryState& Lib() {
  static AudioLibraryState state;
  return state;
}

bool RefreshDriverList() {
  AudioLibraryState& lib = Lib();
  if (lib.driver == nullptr) return false;
  if (lib.driver_list_current && !lib.driver_names.empty()) return true;
  lib.driver_names.clear();
  lib.driver->enumerate_drivers();
  lib.driver_list_current = true;
  return true;
}

void SetAudioBackend(platform::AudioBackend* backend) { Lib().backend = backend; }

platform::AudioBackend* GetAudioBackend() {
  static platform::HeadlessAudioBackend headless;
  return Lib().backend ? Lib().backend : &headless;
}

void SetAudio3DBackend(platform::Audio3DBackend* backend) { Lib().backend3d = backend; }

platform::Audio3DBackend* GetAudio3DBackend() {
  static platform::NoAudio3DBackend none;
  return Lib().backend3d ? Lib().backend3d : &none;
}

bool SetOutputType(int32_t type) {
  ClearAudioErrorOnLibraryThread();
  if (RefuseWhileInitialised()) return false;
  AudioLibraryState& lib = Lib();
  // A system without 3D sound devices plays through wave-out.
  if (type == kOutputAuto) type = GetAudio3DBackend()->Devices().empty() ? kOutputWave : kOutputDirect;
  if (type != lib.output_type || lib.driver == nullptr) {
    lib.output_type = type;
    // Type 3 had a table without a driver; it selects no sound like any
    // other unknown type, so that no call goes through an empty table.
    lib.driver = type == kOutputWave ? &SdlWaveDriver() : type == kOutputDirect ? &Audio3DDriver() : &NoSoundDriver();
    lib.driver_list_current = false;
  }
  return true;
}

bool SetDriver(int32_t index) {
  ClearAudioError();
  if (RefuseWhileInitialised()) return false;
  if (!RefreshDriverList()) {
    SetAudioError(audio_error::kNotInitialised);
    return false;
  }
  AudioLibraryState& lib = Lib();
  if (index >= 0 && index < static_cast<int32_t>(lib.driver_names.size())) {
    lib.driver_index = index;
  } else {
    SetOutputType(kOutputNoSound);
  }
  return true;
}

bool SetMixerType(int32_t type) {
  ClearAudioError();
  if (RefuseWhileInitialised()) return false;
  if (type < 0 || type > 8) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  Lib().mixer_type = type < 4 ? 4 : type;
  return true;
}

bool SetBufferSizeMs(int32_t ms) {
  ClearAudioError();
  if (RefuseWhileInitialised()) return false;
  if (ms < 50) ms = 50;
  Lib().buffer_setting = (ms / 25 * 25) * 2;
  return true;
}

bool SetWindowHandle(uint32_t window) {
  ClearAudioError();
  if (RefuseWhileInitialised()) return false;
  Lib().window = window;
  return true;
}

bool SetMinHardwareChannels(int32_t count) {
  ClearAudioErrorOnLibraryThread();
  if (RefuseWhileInitialised()) return false;
  if (count < 0) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  Lib().min_hardware_channels = count;
  return true;
}

bool SetMaxHardwareChannels(int32_t count) {
  ClearAudioErrorOnLibraryThread();
  if (RefuseWhileInitialised()) return false;
  if (count < 0) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  Lib().max_hardware_channels = count;
  return true;
}

int32_t SetMasterVolume(int32_t volume) {
  ClearAudioErrorOnLibraryThread();
  AudioLibraryState& lib = Lib();
  lib.master_volume = volume < 0 ? 0 : volume > 255 ? 255 : volume;
  for (int32_t i = 0; i < lib.total_channels && lib.channels; ++i) {
    const ChannelRecord& c = lib.channels[i];
    if (c.sample && !c.sample->used_by_song && !c.absolute_volume) SetChannelVolume(i, c.volume);
  }
  return lib.total_channels;
}

void SetPanSeparation(float separation) {
  if (!(separation >= 0.0f)) separation = 0.0f;
  if (separation > 1.0f) separation = 1.0f;
  Lib().pan_separation = separation;
}

bool InitAudio(int32_t mix_rate, int32_t software_channels, uint32_t flags) {
  ClearAudioError();
  if (software_channels < 1 || mix_rate < 1) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  CloseAudio();
  AudioLibraryState& lib = Lib();
  lib.initialised = false;
  RecordLibraryThread();
  ClearAudioError();
  lib.software_channels = software_channels;
  lib.mix_rate = mix_rate;
  lib.init_flags = flags;

  SetOutputType(lib.output_type);
  OutputDriver& driver = *lib.driver;
  driver.hardware_available = 1;
  lib.large_buffer = false;
  lib.hardware_channels = 0;
  // A failed start leaves nothing open behind it; the reason stays.
  auto fail = [] {
    const int32_t reason = GetAudioError();
    CloseAudio();
    SetAudioError(reason);
    return false;
  };
  if (!driver.init(mix_rate)) return fail();

  if (lib.hardware_channels > 0 && driver.probe_reverb_support() && lib.output_type == kOutputDirect)
    --lib.hardware_channels;
  if (lib.hardware_channels > lib.max_hardware_channels) lib.hardware_channels = lib.max_hardware_channels;
  if (lib.hardware_channels < lib.min_hardware_channels) lib.hardware_channels = 0;
  if (lib.hardware_channels < 1) driver.hardware_available = 0;

  if (lib.buffer_setting == -1) {
    const int32_t ms = lib.output_type == kOutputWave ? 200 : lib.large_buffer ? 200 : 50;
    lib.buffer_setting = ms * 2;
  }
  if (!SetupMixer(mix_rate)) return fail();

  lib.total_channels = lib.hardware_channels + lib.software_channels;
  lib.samples.assign(256, nullptr);
  lib.sample_table_made = true;
  lib.channels = std::make_unique<ChannelRecord[]>(static_cast<size_t>(lib.total_channels) + 1);
  for (int32_t i = 0; i < lib.total_channels; ++i) {
    ChannelRecord& c = lib.channels[i];
    if (i < lib.software_channels) {
      AttachSoftwareChannelOps(c);
    } else {
      driver.attach_channel_ops(c);
    }
    ResetChannel(c, i);
  }
  lib.software_range = ChannelRange{0, lib.software_channels - 1, 0};
  lib.hardware_range = ChannelRange{lib.software_channels, lib.total_channels - 1, lib.software_channels};

  if (!MakeMixBufferSample()) return fail();
  ChannelRecord& output = lib.mixer_channel;
  output.Unlink();
  output.index = kMixerChannel;
  driver.attach_channel_ops(output);

  lib.initialised = true;
  PlaySample(kMixerChannel, lib.mix_buffer);
  output.reserved = 1;

  if (GetSongHooks().reapply_song_tempos) GetSongHooks().reapply_song_tempos();
  if (!OfflineMixing()) StartMixerThread();
  Update3D();
  StartStreamer();
  // A process that ends without closing the library still stops and joins
  // its threads before the state they use goes away.
  static const bool close_at_exit = (std::atexit([] { CloseAudio(); }) == 0);
  (void)close_at_exit;
  return true;
}

bool CloseAudio() {
  ClearAudioError();
  AudioLibraryState& lib = Lib();
  const bool was_initialised = lib.initialised;
  if (was_initialised) {
    lib.driver_list_current = false;
    lib.buffer_setting = -1;
  }
  if (lib.channels) StopChannel(kAllChannels);
  CloseRecording();
  StopStreamer();
  StopMixerThread();
  if (was_initialised) StopChannel(kMixerChannel);
  lib.initialised = false;

  if (GetSongHooks().stop_all_songs) GetSongHooks().stop_all_songs();
  if (GetSongHooks().shutdown_midi) GetSongHooks().shutdown_midi();

  if (lib.mix_buffer) {
    FreeSample(lib.mix_buffer);
    lib.mix_buffer = nullptr;
  }
  for (SampleRecord*& s : lib.samples) {
    if (s) FreeSample(s);
  }
  lib.samples.clear();
  lib.sample_table_made = false;
  ShutdownMixer();

  if (lib.driver) lib.driver->close();
  lib.mixer_channel.Unlink();
  lib.mixer_channel.sample = nullptr;
  lib.channels.reset();
  lib.total_channels = lib.software_channels = lib.hardware_channels = 0;

  lib.driver_names.clear();
  lib.driver_list_current = false;
  lib.record_driver_names.clear();
  return CloseCdAudio();
}

bool AudioInitialised() { return Lib().initialised; }

int32_t GetOutputType() { return Lib().output_type; }
int32_t GetDriver() { return Lib().driver_index < 0 ? 0 : Lib().driver_index; }
int32_t GetMixerType() { return Lib().mixer_type; }

int32_t GetNumDrivers() {
  ClearAudioErrorOnLibraryThread();
  if (!RefreshDriverList()) return 0;
  return static_cast<int32_t>(Lib().driver_names.size());
}

const char* GetDriverName(int32_t index) {
  ClearAudioErrorOnLibraryThread();
  if (!RefreshDriverList()) return nullptr;
  AudioLibraryState& lib = Lib();
  if (index < 0) index = 0;
  if (index >= static_cast<int32_t>(lib.driver_names.size())) {
    SetAudioError(audio_error::kBadParameter);
    return nullptr;
  }
  return lib.driver_names[static_cast<size_t>(index)].c_str();
}

bool GetOutputDriverCaps(int32_t index, uint32_t* caps) {
  ClearAudioError();
  if (RefuseWhileInitialised()) return false;
  if (caps == nullptr) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  *caps = 0;
  if (!RefreshDriverList()) {
    SetAudioError(audio_error::kNotInitialised);
    return false;
  }
  Lib().driver->get_driver_caps(caps, index);
  return true;
}

int32_t GetOutputRate() { return Lib().mix_rate; }
int32_t GetMaxChannels() { return Lib().total_channels; }

int32_t GetMaxSamples() {
  ClearAudioErrorOnLibraryThread();
  if (!Lib().sample_table_made) {
    SetAudioError(audio_error::kNotInitialised);
    return 0;
  }
  return static_cast<int32_t>(Lib().samples.size());
}

SampleRecord* GetSample(int32_t index) {
  ClearAudioErrorOnLibraryThread();
  AudioLibraryState& lib = Lib();
  if (index < 0 || index >= static_cast<int32_t>(lib.samples.size())) {
    SetAudioError(audio_error::kBadParameter);
    return nullptr;
  }
  return lib.samples[static_cast<size_t>(index)];
}

int32_t GetChannelsPlaying() {
  int32_t playing = 0;
  for (int32_t i = 0; i < Lib().total_channels; ++i) {
    if (IsChannelPlaying(i)) ++playing;
  }
  return playing;
}

int32_t GetNumHardwareChannels() { return Lib().hardware_channels; }

float GetMixerLoad() {
  ClearAudioErrorOnLibraryThread();
  if (!Lib().initialised) {
    SetAudioError(audio_error::kNotInitialised);
    return 0.0f;
  }
  return GetMixerCpuLoad() + static_cast<float>(GetStreamerCpu());
}

int32_t GetMasterVolume() { return Lib().master_volume; }
float GetPanSeparation() { return Lib().pan_separation; }
float GetLibraryVersion() { return kAudioLibraryVersion; }
uint32_t GetInitFlags() { return Lib().init_flags; }
uint32_t GetWindowHandle() { return Lib().window; }
int32_t GetBufferSetting() { return Lib().buffer_setting; }

namespace {

OutputDriver* InitialisedDriver() {
  ClearAudioErrorOnLibraryThread();
  if (!Lib().initialised || Lib().driver == nullptr) {
    SetAudioError(audio_error::kNotInitialised);
    return nullptr;
  }
  return Lib().driver;
}

}  // namespace

bool SetReverbEnvironment(int32_t environment, float volume, float decay_time, float damping) {
  OutputDriver* driver = InitialisedDriver();
  return driver && driver->set_reverb(environment, volume, decay_time, damping);
}

bool SetReverbProperties(const ReverbProperties& properties) {
  OutputDriver* driver = InitialisedDriver();
  return driver && driver->set_reverb_detailed(properties);
}

bool GetReverbEnvironment(int32_t* environment, float* volume, float* decay_time, float* damping) {
  OutputDriver* driver = InitialisedDriver();
  return driver && driver->get_reverb(environment, volume, decay_time, damping);
}

bool GetReverbProperties(ReverbProperties* properties) {
  OutputDriver* driver = InitialisedDriver();
  return driver && driver->get_reverb_detailed(properties);
}

std::thread::id GetCallerThreadId() { return std::this_thread::get_id(); }

std::thread CreateWorkerThread(std::function<void()> routine) {
  try {
    return std::thread(std::move(routine));
  } catch (...) {
    SetAudioError(audio_error::kOutOfMemory);
    return std::thread();
  }
}

}  // namespace zv
