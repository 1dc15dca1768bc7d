#include "audio/library/recording.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "audio/library/audio_error.h"
#include "audio/library/library.h"
#include "audio/library/library_state.h"
#include "platform/clock/stop_flag.h"

namespace zv {
namespace {

struct RecordingState {
  int32_t selected = -1;
  std::atomic<bool> recording{false};
  std::thread thread;
  platform::StopFlag stop;
  std::atomic<uint32_t> write_position{0};
  int32_t ring_length = 0;
  bool loop = false;
  SampleRecord* sample = nullptr;
};

RecordingState& Recorder() {
  static RecordingState state;
  return state;
}

OutputDriver* Driver() {
  if (Lib().driver) return Lib().driver;
  SetAudioError(audio_error::kNotInitialised);
  return nullptr;
}

bool Enumerate() {
  OutputDriver* driver = Driver();
  if (!driver) return false;
  Lib().record_driver_names.clear();
  driver->enumerate_record_drivers();
  return true;
}

// Copies the bytes of c1|c2 into s1|s2, as far as both go; without looping
// nothing goes to s2 (the part that wraps to the sample's start).
void CopyParts(const uint8_t* c1, int32_t k1, const uint8_t* c2, int32_t k2, uint8_t* s1, int32_t t1, uint8_t* s2,
               int32_t t2, bool loop) {
  if (!loop) {
    s2 = nullptr;
    t2 = 0;
  }
  if (!c2) k2 = 0;
  if (!s2) t2 = 0;
  int64_t total = std::min<int64_t>(static_cast<int64_t>(k1) + k2, static_cast<int64_t>(t1) + t2);
  int64_t from = 0;
  while (from < total) {
    const uint8_t* src = from < k1 ? c1 + from : c2 + (from - k1);
    const int64_t src_left = from < k1 ? k1 - from : k1 + k2 - from;
    uint8_t* dst = from < t1 ? s1 + from : s2 + (from - t1);
    const int64_t dst_left = from < t1 ? t1 - from : t1 + t2 - from;
    const int64_t run = std::min({src_left, dst_left, total - from});
    std::memcpy(dst, src, static_cast<size_t>(run));
    from += run;
  }
}

void CopyFromRing(RecordingState& r, OutputDriver& driver, int32_t ring_at, int32_t n) {
  SampleRecord& s = *r.sample;
  const int32_t frame = SampleFrameBytes(s);
  const int32_t count = n * frame;
  void* c1 = nullptr;
  void* c2 = nullptr;
  int32_t k1 = 0, k2 = 0;
  void* s1 = nullptr;
  void* s2 = nullptr;
  int32_t t1 = 0, t2 = 0;
  const bool have_capture = driver.lock_capture(ring_at * frame, count, &c1, &c2, &k1, &k2);
  const bool have_target =
      s.ops.lock(s, static_cast<int32_t>(r.write_position.load()) * frame, count, &s1, &s2, &t1, &t2);
  if (have_capture && have_target && c1 && s1) {
    CopyParts(static_cast<const uint8_t*>(c1), k1, static_cast<const uint8_t*>(c2), k2, static_cast<uint8_t*>(s1), t1,
              static_cast<uint8_t*>(s2), t2, r.loop);
  }
  if (have_capture) driver.unlock_capture(c1, c2, k1, k2);
  if (have_target) s.ops.unlock(s, s1, s2, t1, t2);

  uint32_t position = r.write_position.load() + static_cast<uint32_t>(n);
  if (position >= static_cast<uint32_t>(s.length)) {
    if (r.loop) {
      position -= static_cast<uint32_t>(s.length);
    } else {
      r.recording = false;
    }
  }
  r.write_position = position;
}

void RecordingThreadMain(OutputDriver* driver) {
  RecordingState& r = Recorder();
  int32_t last = 0;
  while (r.recording) {
    const int32_t position = driver->get_capture_position();
    int32_t n = position - last;
    if (n < 0) n += r.ring_length;
    if (n > 0) CopyFromRing(r, *driver, last, n);
    last = position;
    if (r.stop.Nap(5)) break;
  }
}

}  // namespace

int32_t GetNumRecordDrivers() {
  ClearAudioErrorOnLibraryThread();
  if (!Enumerate()) return 0;
  return static_cast<int32_t>(Lib().record_driver_names.size());
}

const char* GetRecordDriverName(int32_t index) {
  ClearAudioErrorOnLibraryThread();
  if (!Enumerate()) return nullptr;
  const auto& names = Lib().record_driver_names;
  if (index < 0 || index >= static_cast<int32_t>(names.size())) return nullptr;
  return names[static_cast<size_t>(index)].c_str();
}

bool SetRecordDriver(int32_t index) {
  ClearAudioErrorOnLibraryThread();
  if (!Enumerate()) return false;
  if (index < 0 || index >= static_cast<int32_t>(Lib().record_driver_names.size())) index = 0;
  Recorder().selected = index;
  return Lib().driver->open_record_driver(index);
}

int32_t GetRecordDriver() { return Recorder().selected; }

bool StartRecording(SampleHandle sample, bool loop) {
  ClearAudioErrorOnLibraryThread();
  if (sample == nullptr || sample->length < 1) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  OutputDriver* driver = Driver();
  if (!driver) return false;
  RecordingState& r = Recorder();
  if (r.selected < 0) SetRecordDriver(-1);
  StopRecording();
  r.recording = true;
  r.write_position = 0;
  r.ring_length = std::max(sample->default_frequency * 500 / 1000, 1);
  r.loop = loop;
  r.sample = sample;
  if (!driver->start_capture(r.ring_length, sample->bits, sample->layout, sample->default_frequency)) {
    // The caller frees the sample when the start fails, so no thread may be
    // left writing into it.
    const int32_t reason = GetAudioError();
    r.recording = false;
    driver->stop_capture();
    r.sample = nullptr;
    SetAudioError(reason);
    return false;
  }
  r.stop.Reset();
  r.thread = CreateWorkerThread([driver] { RecordingThreadMain(driver); });
  if (!r.thread.joinable()) {
    r.recording = false;
    driver->stop_capture();
    SetAudioError(audio_error::kOutOfMemory);
    return false;
  }
  return true;
}

bool StopRecording() {
  RecordingState& r = Recorder();
  r.recording = false;
  r.stop.Stop();
  if (r.thread.joinable()) r.thread.join();
  if (Lib().driver) Lib().driver->stop_capture();
  return true;
}

uint32_t GetRecordPosition() { return Recorder().write_position; }

bool IsRecording() { return Recorder().recording; }

void CloseRecording() {
  StopRecording();
  Recorder().selected = -1;
  Recorder().sample = nullptr;
}

}  // namespace zv
