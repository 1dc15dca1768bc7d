#pragma once

#include <cstdint>

#include "audio/library/sample.h"

namespace zv {

// Recording into a sample from the output driver's capture device: a
// thread copies what has arrived every 5 ms, once through the sample or
// round and round when looping.
int32_t GetNumRecordDrivers();
const char* GetRecordDriverName(int32_t index);
bool SetRecordDriver(int32_t index);
int32_t GetRecordDriver();
bool StartRecording(SampleHandle sample, bool loop);
bool StopRecording();
// Frames written into the sample so far.
uint32_t GetRecordPosition();
bool IsRecording();
// Library shutdown: stops recording and forgets the chosen record driver
// (its list goes with the close), so the next recording opens one afresh.
void CloseRecording();

}  // namespace zv
