#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "audio/library/channel.h"
#include "audio/library/output_driver.h"
#include "audio/library/sample.h"
#include "platform/audio3d/audio3d_device.h"

namespace zv {

// The 3D device driver's state, shared by its parts: the device core
// (audio3d_driver.cc), the hardware channels and the listener
// (audio3d_channels.cc), and the reverb (audio3d_reverb.cc).
struct Audio3DDriverState {
  std::unique_ptr<platform::Audio3DDevice> device;
  // Orders the threads that reach the device's buffers and voices; held by
  // the operations for their whole body (they nest).
  std::recursive_mutex lock;
  // What the reverb probe found: 0 no reverb, 1 the four-value set, 2 both
  // sets; and which of the detailed set's properties may be read and set.
  int32_t reverb_version = 0;
  uint32_t detailed_mask = 0;
  // The room as last set, and the two values it does not keep itself.
  platform::RoomReverb room;
  int32_t environment = 0;
  float environment_size = 7.5f;
};

Audio3DDriverState& Audio3D();
using Audio3DGuard = std::lock_guard<std::recursive_mutex>;

// A sample of the 3D device: its data as the library writes it (signed),
// and the device's buffer that the voices play.
struct VoiceSample {
  std::vector<uint8_t> bytes;
  std::unique_ptr<platform::VoiceBuffer> buffer;
};
VoiceSample* VoiceSampleOf(SampleRecord& sample);

// Hardware channels: each plays its sample on a voice of the device.
void AttachHardwareChannelOps(ChannelRecord& channel);
// The listener slots (7 to 12).
void FillAudio3DListenerSlots(OutputDriver& driver);
// The reverb slots (13 to 17).
void FillAudio3DReverbSlots(OutputDriver& driver);
// Channel operation 12: how much of a hardware channel goes into the room.
bool SetHardwareChannelReverbMix(ChannelRecord& channel, float mix);
// Switches the room off before the device goes.
void SilenceAudio3DReverb();

}  // namespace zv
