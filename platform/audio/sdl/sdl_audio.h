#pragma once

#include <memory>

#include "platform/audio/audio_device.h"

namespace zv::platform {

// The machine's sound devices through SDL's audio subsystem. With no device
// (or no SDL audio driver that works) it lists nothing and opens nothing,
// like the headless backend.
std::unique_ptr<AudioBackend> MakeSdlAudioBackend();

}  // namespace zv::platform
