#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "audio/library/channel.h"
#include "audio/library/output_driver.h"
#include "audio/library/sample.h"

namespace zv::platform {
class AudioBackend;
class Audio3DBackend;
}

namespace zv {

// The sound library's one set of state, shared by its parts (not by its
// callers, who go through the public functions).
struct AudioLibraryState {
  int32_t output_type = -1;
  OutputDriver* driver = nullptr;
  int32_t driver_index = -1;
  int32_t mixer_type = 4;
  int32_t mix_rate = 44100;
  int32_t buffer_setting = -1;   // milliseconds, doubled; -1 default
  int32_t max_hardware_channels = 99999;
  int32_t min_hardware_channels = 0;
  std::atomic<int32_t> master_volume{255};
  std::atomic<float> pan_separation{1.0f};
  uint32_t window = 0;
  uint32_t init_flags = 0;
  std::atomic<bool> initialised{false};

  std::vector<std::string> driver_names;
  bool driver_list_current = false;
  std::vector<std::string> record_driver_names;

  int32_t software_channels = 0;
  int32_t hardware_channels = 0;
  int32_t total_channels = 0;
  bool large_buffer = false;

  std::vector<SampleRecord*> samples;  // the managed sample table; empty when not made
  bool sample_table_made = false;
  std::unique_ptr<ChannelRecord[]> channels;  // total + 1 records
  SampleRecord* mix_buffer = nullptr;
  ChannelRecord mixer_channel;
  ChannelRange software_range;
  ChannelRange hardware_range;

  platform::AudioBackend* backend = nullptr;
  platform::Audio3DBackend* backend3d = nullptr;
};

AudioLibraryState& Lib();

// Fills the output-driver name list when it is stale; false without a driver.
bool RefreshDriverList();

}  // namespace zv
