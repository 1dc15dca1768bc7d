#pragma once

#include <cstdint>

#include "audio/library/channel.h"
#include "audio/library/sample.h"

namespace zv::platform {
class AudioOutput;
}

namespace zv {

// The output buffer sample and the output channel over a device that plays
// one looping buffer (the wave-out device, or the 3D device's mix stream):
// the buffer is memory the device reads, the channel starts and stops the
// device and reads its play position. The driver in use names its device.
void SetStreamOutput(platform::AudioOutput* output);
void AttachStreamSampleOps(SampleRecord& sample);
void AttachStreamChannelOps(ChannelRecord& channel);

// Up to two parts covering `length` bytes from `offset` of a looping buffer
// of `size` bytes: the offset wraps, and a stretch past the end goes on from
// the start. False (parts empty) without a buffer.
bool LockLoopingBytes(uint8_t* base, int64_t size, int32_t offset, int32_t length, void** part1, void** part2,
                      int32_t* length1, int32_t* length2);

}  // namespace zv
