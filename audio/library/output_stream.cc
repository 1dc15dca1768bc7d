#include "audio/library/output_stream.h"

#include <algorithm>
#include <new>

#include "audio/library/audio_error.h"
#include "platform/audio/audio_device.h"

namespace zv {
namespace {

platform::AudioOutput* g_output = nullptr;

int64_t BufferBytes(const SampleRecord& s) { return static_cast<int64_t>(s.length) * 4; }

bool BufferCreate(SampleRecord& s) {
  delete[] static_cast<uint8_t*>(s.driver_data);
  s.driver_data = new (std::nothrow) uint8_t[static_cast<size_t>(BufferBytes(s)) + 16]();
  if (s.driver_data == nullptr) {
    SetAudioError(audio_error::kOutOfMemory);
    return false;
  }
  if (g_output) g_output->SetBuffer(static_cast<const int16_t*>(s.driver_data), static_cast<uint32_t>(s.length));
  s.hardware = 1;
  return true;
}

void BufferRelease(SampleRecord& s) {
  if (g_output) g_output->SetBuffer(nullptr, 0);
  delete[] static_cast<uint8_t*>(s.driver_data);
  s.driver_data = nullptr;
  s.hardware = 0;
}

bool BufferUpload(SampleRecord&, const void*, size_t, uint32_t) { return true; }

bool BufferLock(SampleRecord& s, int32_t offset, int32_t length, void** p1, void** p2, int32_t* l1, int32_t* l2) {
  if (LockLoopingBytes(static_cast<uint8_t*>(s.driver_data), BufferBytes(s), offset, length, p1, p2, l1, l2))
    return true;
  SetAudioError(audio_error::kOutOfMemory);
  return false;
}

bool BufferUnlock(SampleRecord&, void*, void*, int32_t, int32_t) { return true; }

bool OutPrepare(ChannelRecord&, SampleRecord*) { return true; }
bool OutStart(DspUnit*, ChannelRecord&, SampleRecord*) {
  if (g_output) g_output->Start();
  return true;
}
void OutStop(ChannelRecord&) {
  if (g_output) g_output->Stop();
}
void OutSetInt(ChannelRecord&, int32_t) {}
bool OutSetPaused(ChannelRecord&, bool) { return true; }
uint32_t OutGetPosition(ChannelRecord& c) {
  if (c.sample == nullptr || g_output == nullptr) return 0;
  return g_output->FramesPlayed();
}
float OutGetLevel(ChannelRecord&) { return 0.0f; }
bool OutIsPlaying(ChannelRecord&) { return false; }
void OutSet3D(ChannelRecord&, const float*, const float*) {}
bool OutGet3D(ChannelRecord&, float*, float*) { return true; }
bool OutSetLevelScale(ChannelRecord&, float) { return true; }

}  // namespace

void SetStreamOutput(platform::AudioOutput* output) { g_output = output; }

void AttachStreamSampleOps(SampleRecord& s) {
  s.ops = SampleOps{BufferCreate, BufferRelease, BufferUpload, BufferLock, BufferUnlock};
}

void AttachStreamChannelOps(ChannelRecord& c) {
  c.ops = ChannelOps{OutPrepare,     OutStart,    OutStop,      OutSetInt, OutSetInt, OutSetInt,       OutSetPaused,
                     OutGetPosition, OutGetLevel, OutIsPlaying, OutSet3D,  OutGet3D,  OutSetLevelScale};
}

bool LockLoopingBytes(uint8_t* base, int64_t size, int32_t offset, int32_t length, void** p1, void** p2, int32_t* l1,
                      int32_t* l2) {
  if (base == nullptr || size <= 0 || length < 0) {
    *p1 = *p2 = nullptr;
    *l1 = *l2 = 0;
    return false;
  }
  const int64_t at = ((offset % size) + size) % size;
  const int64_t want = std::min<int64_t>(length, size);
  *p1 = base + at;
  if (at + want <= size) {
    *l1 = static_cast<int32_t>(want);
    *p2 = nullptr;
    *l2 = 0;
  } else {
    *l1 = static_cast<int32_t>(size - at);
    *p2 = base;
    *l2 = static_cast<int32_t>(want - *l1);
  }
  return true;
}

}  // namespace zv
