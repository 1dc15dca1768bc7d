// What a stretch of the calling thread's life cost it, as the scheduler
// counts it: the time it ran on a processor, and the time it was blocked
// (in a poll, a timed wait, on the disk). A loaded machine adds a third
// part, the time the thread waits its turn for a processor, and barely
// changes the other two. So a bound on what a call costs in running or
// blocked time is a promise of the call itself, which holds however busy
// the machine is, where a bound on the time that passed is not.
#pragma once

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

namespace zv::test {

inline double RunningSecondsSoFar() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The calling thread's time on a processor plus its time waiting for one;
// nothing where the kernel keeps no such count.
inline std::optional<double> ScheduledSecondsSoFar() {
  std::FILE* file = std::fopen("/proc/thread-self/schedstat", "r");
  if (file == nullptr) return std::nullopt;
  unsigned long long running_ns = 0;
  unsigned long long waiting_ns = 0;
  const bool read = std::fscanf(file, "%llu %llu", &running_ns, &waiting_ns) == 2;
  std::fclose(file);
  if (!read) return std::nullopt;
  return static_cast<double>(running_ns + waiting_ns) / 1e9;
}

// Started on the thread it measures.
class ThreadTimer {
 public:
  ThreadTimer() : start_(Clock::now()), running_(RunningSecondsSoFar()), scheduled_(ScheduledSecondsSoFar()) {}

  double RunningSeconds() const { return RunningSecondsSoFar() - running_; }

  // Where the kernel keeps no count of the waits for a processor, all the
  // time that passed counts as blocked.
  double BlockedSeconds() const {
    const double passed = std::chrono::duration<double>(Clock::now() - start_).count();
    const std::optional<double> scheduled = ScheduledSecondsSoFar();
    if (!scheduled_ || !scheduled) return passed;
    return std::max(0.0, passed - (*scheduled - *scheduled_));
  }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point start_;
  double running_;
  std::optional<double> scheduled_;
};

template <typename Call>
double RunningSecondsOf(Call&& call) {
  const ThreadTimer timer;
  call();
  return timer.RunningSeconds();
}

template <typename Call>
double BlockedSecondsOf(Call&& call) {
  const ThreadTimer timer;
  call();
  return timer.BlockedSeconds();
}

}  // namespace zv::test
