#pragma once

#include <cstdint>

#include "audio/library/channel.h"
#include "audio/library/sample.h"

namespace zv {

// The thirteen values of the detailed reverb set, in their order.
struct ReverbProperties {
  int32_t environment = 0;
  int32_t room = 0;
  int32_t room_hf = 0;
  float room_rolloff = 0;
  float decay_time = 0;
  float decay_hf_ratio = 0;
  int32_t reflections = 0;
  float reflections_delay = 0;
  int32_t reverb = 0;
  float reverb_delay = 0;
  float environment_size = 0;
  float environment_diffusion = 0;
  float air_absorption_hf = 0;
};

// An output driver: its operations, one table per driver. Every slot is
// filled; what a driver does not support has a stub with the stated result.
struct OutputDriver {
  // Set to 1 by the library before Init; cleared when there are no
  // hardware channels. While 0 every sample is a software sample.
  uint32_t hardware_available = 0;

  // Fills the library's output-driver name list.
  void (*enumerate_drivers)() = nullptr;
  bool (*init)(int32_t mix_rate) = nullptr;
  void (*close)() = nullptr;
  void (*attach_sample_ops)(SampleRecord&) = nullptr;
  void (*attach_channel_ops)(ChannelRecord&) = nullptr;
  // The caller zeroes the word first.
  void (*get_driver_caps)(uint32_t* caps, int32_t driver) = nullptr;
  void (*commit_3d)() = nullptr;
  void (*set_listener_3d)(const float* position, const float* velocity, const float* front,
                          const float* top) = nullptr;
  // Reads the driver's listener back into the non-null pointers.
  void (*reserved_3d)(float* position, float* velocity, float* front, float* top) = nullptr;
  void (*set_doppler_factor_3d)(float) = nullptr;
  void (*set_distance_factor_3d)(float) = nullptr;
  void (*set_rolloff_factor_3d)(float) = nullptr;
  bool (*probe_reverb_support)() = nullptr;
  bool (*set_reverb)(int32_t environment, float volume, float decay_time, float damping) = nullptr;
  bool (*set_reverb_detailed)(const ReverbProperties&) = nullptr;
  bool (*get_reverb)(int32_t* environment, float* volume, float* decay_time, float* damping) = nullptr;
  bool (*get_reverb_detailed)(ReverbProperties*) = nullptr;
  // Slots 18 to 28: the same stubs in every driver; nothing calls them.
  intptr_t (*reserved[11])(void*) = {};
  void (*enumerate_record_drivers)() = nullptr;
  bool (*open_record_driver)(int32_t index) = nullptr;
  bool (*start_capture)(int32_t ring_length, int32_t bits, int32_t channel_layout, int32_t rate) = nullptr;
  bool (*stop_capture)() = nullptr;
  int32_t (*get_capture_position)() = nullptr;
  bool (*lock_capture)(int32_t offset, int32_t length, void** part1, void** part2, int32_t* length1,
                       int32_t* length2) = nullptr;
  bool (*unlock_capture)(void* part1, void* part2, int32_t length1, int32_t length2) = nullptr;
};

// The drivers: no sound (output type 0), wave-out over the platform's sound
// devices (1), and the 3D device driver with hardware channels, 3D and
// reverb (2, the default).
OutputDriver& NoSoundDriver();
OutputDriver& SdlWaveDriver();
OutputDriver& Audio3DDriver();

// The reverb parameter store that the no-sound and wave-out drivers keep:
// words as given, returned unchanged. Their four-value set also goes to the
// mixer's reverb, which plays it (StoreAndPlayReverb).
bool StoreReverb(int32_t environment, float volume, float decay_time, float damping);
bool StoreAndPlayReverb(int32_t environment, float volume, float decay_time, float damping);
bool StoreReverbDetailed(const ReverbProperties& properties);
bool ReadStoredReverb(int32_t* environment, float* volume, float* decay_time, float* damping);
bool ReadStoredReverbDetailed(ReverbProperties* properties);

// Stubs shared by the drivers.
void FillReservedSlots(OutputDriver& driver);
// The slots of a driver without hardware 3D or a reverb of its own (no
// sound, wave-out): no capabilities, 3D calls that do nothing, and the
// stored reverb that the mixer plays.
void FillSoftwareOnlySlots(OutputDriver& driver);
void FillNoSoundRecordingSlots(OutputDriver& driver);
// Recording through the platform's capture devices (the wave-out and 3D
// device drivers), and its end when a driver closes.
void FillDeviceRecordingSlots(OutputDriver& driver);
void CloseDeviceRecording();

}  // namespace zv
