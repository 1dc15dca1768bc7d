#include "platform/signals/ending_work.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace zv::platform {
namespace {

// The holders, the latest last: Xlib's handler for a lost connection is a
// plain function without a word of its own, so what it must do can only be
// found here.
struct Registered {
  std::mutex mutex;
  std::vector<const EndingWork*> works;
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
  r.works.push_back(this);
}

EndingWork::~EndingWork() {
  Registered& r = TheRegistered();
  const std::lock_guard<std::mutex> lock(r.mutex);
  r.works.erase(std::remove(r.works.begin(), r.works.end(), this), r.works.end());
}

void KeepForEnding() {
  Registered& r = TheRegistered();
  const std::lock_guard<std::mutex> lock(r.mutex);
  for (auto work = r.works.rbegin(); work != r.works.rend(); ++work)
    if ((*work)->keep_) (*work)->keep_();
}

void DoEndingWork() {
  Registered& r = TheRegistered();
  const std::lock_guard<std::mutex> lock(r.mutex);
  for (auto work = r.works.rbegin(); work != r.works.rend(); ++work)
    if ((*work)->keep_) (*work)->keep_();
  for (auto work = r.works.rbegin(); work != r.works.rend(); ++work)
    if ((*work)->clean_up_) (*work)->clean_up_();
}

}  // namespace zv::platform
