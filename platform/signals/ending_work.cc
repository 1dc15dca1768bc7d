#include "platform/signals/ending_work.h"

#include <mutex>
#include <utility>

namespace zv::platform {
namespace {

// The one holder: Xlib's handler for a lost connection is a plain function
// without a word of its own, so what it must do can only be found here.
struct Registered {
  std::mutex mutex;
  const EndingWork* work = nullptr;
};

Registered& TheRegistered() {
  static Registered registered;
  return registered;
}

}  // namespace

EndingWork::EndingWork(std::function<void()> keep, std::function<void()> clean_up)
    : keep_(std::move(keep)), clean_up_(std::move(clean_up)) {
  Registered& r = TheRegistered();
  const std::lock_guard<std::mutex> lock(r.mutex);
  r.work = this;
}

EndingWork::~EndingWork() {
  Registered& r = TheRegistered();
  const std::lock_guard<std::mutex> lock(r.mutex);
  if (r.work == this) r.work = nullptr;
}

void KeepForEnding() {
  Registered& r = TheRegistered();
  const std::lock_guard<std::mutex> lock(r.mutex);
  if (r.work && r.work->keep_) r.work->keep_();
}

void DoEndingWork() {
  Registered& r = TheRegistered();
  const std::lock_guard<std::mutex> lock(r.mutex);
  if (!r.work) return;
  if (r.work->keep_) r.work->keep_();
  if (r.work->clean_up_) r.work->clean_up_();
}

}  // namespace zv::platform
