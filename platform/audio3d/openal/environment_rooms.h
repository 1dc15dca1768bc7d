#pragma once

#include "platform/audio3d/audio3d_device.h"

namespace zv::platform {

// The rooms of the 26 environments (0 generic to 25 psychotic), as OpenAL's
// reverb presets give them; other numbers give the generic room.
RoomReverb OpenAlEnvironmentRoom(int environment);

}  // namespace zv::platform
