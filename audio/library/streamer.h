#pragma once

#include <cstdint>

#include "audio/library/channel.h"
#include "audio/library/dsp_unit.h"
#include "audio/library/sample.h"

namespace zv {

// Long sounds played without loading them whole: a stream owns a looping
// sample of two halves (100 ms each for files) that plays on an ordinary
// channel, and the stream thread refills the half the channel has just
// left, reading and decoding the source (WAV of any format the reader
// knows, MPEG audio, raw PCM, a memory image, or a program's callback).
struct StreamRecord;

// Fills `bytes` bytes of the next half; false at the end of the data.
using StreamFillCallback = bool (*)(StreamRecord* stream, void* destination, int32_t bytes, void* user);
// Called once when a playing stream stops.
using StreamEndCallback = void (*)(StreamRecord* stream, void* unused, int32_t zero, void* user);
// Called when the stream's clock passes a cue point of its file.
using StreamSyncCallback = void (*)(StreamRecord* stream, const char* name, uint32_t offset, void* user);

void StartStreamer();
void StopStreamer();
// The streams' share of time, for the library's CPU figure.
int32_t GetStreamerCpu();

StreamRecord* CreateStream(StreamFillCallback fill, int32_t length_bytes, uint32_t mode, int32_t rate, void* user);
StreamRecord* OpenStream(const char* name, uint32_t mode);
StreamRecord* OpenStreamFile(const char* name, uint32_t mode);
StreamRecord* OpenStreamRaw(const char* name, uint32_t mode);
// `source` is a file name, or with mode 0x8000 a memory image of `length`
// bytes that stays the caller's until the stream is closed.
StreamRecord* OpenStreamEx(const void* source, uint32_t mode, int32_t length);

ChannelHandle PlayStream(ChannelHandle channel, StreamRecord* stream);
ChannelHandle PlayStreamEx(ChannelHandle channel, StreamRecord* stream, int32_t frequency, int32_t volume,
                           int32_t pan, const float* position, const float* velocity);
bool StopStream(StreamRecord* stream);
bool CloseStream(StreamRecord* stream);

bool SetStreamEndCallback(StreamRecord* stream, StreamEndCallback callback, void* user);
bool SetStreamSyncCallback(StreamRecord* stream, StreamSyncCallback callback, void* user);
bool SetStreamPaused(StreamRecord* stream, bool paused);
bool GetStreamPaused(StreamRecord* stream);
bool SetStreamPosition(StreamRecord* stream, int32_t bytes);
int32_t GetStreamPosition(StreamRecord* stream);
bool SetStreamTime(StreamRecord* stream, int32_t ms);
int32_t GetStreamTime(StreamRecord* stream);
int32_t GetStreamLength(StreamRecord* stream);
int32_t GetStreamLengthMs(StreamRecord* stream);
SampleHandle GetStreamSample(StreamRecord* stream);
// A unit that processes each half as it is filled (switched off at first).
DspUnit* CreateStreamDspUnit(StreamRecord* stream, DspCallback callback, int32_t priority, void* user);

}  // namespace zv
