#pragma once

#include <cstdint>
#include <mutex>

#include "audio/library/channel.h"
#include "audio/library/sample.h"

namespace zv {

struct DspUnit;

// The lock that orders the mixer thread and everyone who changes what it
// walks: the DSP chain, the voice lists, voice state and sample memory.
// The mixer holds it while it runs the chain for one block; others hold it
// only while they change something. It is recursive, so that code running
// inside the chain (song ticks) may call channel functions.
std::recursive_mutex& MixerMutex();
using MixerGuard = std::lock_guard<std::recursive_mutex>;

// Set-up after the driver's Init: block and buffer lengths, mixing routine,
// work buffer, the four built-in units. False with last error 3 or 12.
bool SetupMixer(int32_t mix_rate);
// Frees the work buffer and every DSP unit (after the thread stopped).
void ShutdownMixer();
// Counts the mixer's shutdowns: a unit made before the last one was freed
// with it.
int32_t GetMixerGeneration();
bool StartMixerThread();
void StopMixerThread();

// Runs the DSP chain over one block of the output buffer.
void MixBlock(int32_t sample_offset, int32_t sample_count);
// Silences the work buffer and the output buffer.
void ClearMixBuffers();

void AttachSoftwareSampleOps(SampleRecord& sample);
void AttachSoftwareChannelOps(ChannelRecord& channel);

int32_t GetMixBlockLength();    // frames per block (1104 at 44100 Hz)
int32_t GetMixBufferLength();   // frames of the whole output buffer
int32_t GetMixBlockCount();
// The block the mixer fills next (0..count-1).
int32_t GetMixerNextBlock();
// The output buffer's length in milliseconds.
int32_t GetOutputBufferMs();
float GetMixerCpuLoad();

// Mixes every voice of `list` into `frames` work-buffer frames at `buffer`
// with the current mixing routine (the song engine mixes its own lists).
void MixVoiceList(void* buffer, VoiceLink& list, int32_t frames);
// Moves a voice to the tail of `list` (or back to the idle list) and marks
// whether a list of its owner keeps it.
void MoveVoiceToList(ChannelRecord& channel, VoiceLink& list);
void ReturnVoiceToIdleList(ChannelRecord& channel);

// The mixer's reverb (its unit runs after the songs, before the output).
// Values equal to the leave-unchanged marks keep the current ones; a level
// of 0 switches it off.
void SetMixerReverb(int32_t environment, float level, float decay_time, float damping);
void GetMixerReverb(int32_t* environment, float* level, float* decay_time, float* damping);
// Where channel-mix units send their voices for the reverb in this block,
// or null while the reverb is off.
float* GetReverbSendBus(int32_t frames);

// Mixes raw sample data once into a caller's buffer of work-buffer frames
// (in the format of the chosen mixer family, mix_routines.h).
bool MixBuffers(void* destination, const void* data, int32_t length, int32_t frequency, int32_t volume,
                int32_t pan, uint32_t mode);

// Offline mixing: with it set before InitAudio, no mixer thread runs and
// MixOffline produces the output, block after block, into memory.
void SetOfflineMixing(bool offline);
bool OfflineMixing();
// Mixes `frames` frames of 16-bit stereo output into `out` (2 values a
// frame). False when the library is not initialised for offline mixing.
bool MixOffline(int16_t* out, int32_t frames);

}  // namespace zv
