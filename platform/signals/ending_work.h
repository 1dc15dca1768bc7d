#pragma once

#include <functional>

namespace zv::platform {

// What must be done before the process ends by a way its own code does not
// reach on its way out: a thread that ends it by a stop signal while the
// main thread waits without a bound on an X server gone silent, or Xlib,
// which ends it once the connection to the X server is lost. Whoever holds
// what the user would lose, or made what must not outlive the process,
// registers the work for as long as it lives (a run started from the
// editor beside the editor's own); those ends run every holder's first. It
// runs on whichever thread ends the process, never in a signal handler,
// while the main thread may be anywhere, so it touches no window and
// nothing the main thread changes unguarded.
class EndingWork {
 public:
  // `keep` keeps what would be lost; it runs as soon as a stop signal is
  // noted, and again right before such an end, so it must bear being run
  // more than once. `clean_up` (removing the process's temporary folder)
  // runs right before such an end only.
  EndingWork(std::function<void()> keep, std::function<void()> clean_up);
  // Waits for a run of the work under way.
  ~EndingWork();
  EndingWork(const EndingWork&) = delete;
  EndingWork& operator=(const EndingWork&) = delete;

 private:
  friend void KeepForEnding();
  friend void DoEndingWork();
  std::function<void()> keep_;
  std::function<void()> clean_up_;
};

// From any thread, once a stop signal is noted: the registered keeps.
void KeepForEnding();
// Right before an end that the process's own way out does not reach: the
// registered keeps, then their clean-ups.
void DoEndingWork();

}  // namespace zv::platform
