#include "audio/library/audio_error.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace zv {
namespace {

std::atomic<int32_t> g_last_error{0};
std::atomic<std::thread::id> g_library_thread{};

}  // namespace

void SetAudioError(int32_t code) { g_last_error.store(code, std::memory_order_relaxed); }
int32_t GetAudioError() { return g_last_error.load(std::memory_order_relaxed); }
void ClearAudioError() { SetAudioError(audio_error::kNone); }

void ClearAudioErrorOnLibraryThread() {
  if (OnLibraryThread()) ClearAudioError();
}

void RecordLibraryThread() { g_library_thread.store(std::this_thread::get_id()); }
bool OnLibraryThread() { return g_library_thread.load() == std::this_thread::get_id(); }

}  // namespace zv
