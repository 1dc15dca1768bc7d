#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/window/sdl/x_probe.h"

namespace zv::platform {

// Keeps watch over the X server while the main thread may wait on it:
// Xlib waits for the server's answers without a bound, and a stop signal
// (SIGTERM, Ctrl+C) cannot end such a wait, since the main thread notes the
// signal only between two waits. A thread of the watch asks the server for
// a sign of life (over a connection of its own, XProbe, kept open while the
// watch lives) and ends the process itself where the main thread cannot:
//  - during start-up, once the server has given no answer at all for
//    kSilence: with `start_failed_status` and a message naming the display,
//  - at any time, once a stop signal is 1 s old and the server has given no
//    answer since it came: by the signal, with a message.
// A slow server that answers is never cut. As soon as it sees a stop signal
// the watch keeps what the user would lose (KeepForEnding,
// platform/signals/ending_work.h), without waiting for the server; before
// ending the process it runs the whole ending work, then `before_end`
// (which removes what the run made), on its thread.
class XServerWatch {
 public:
  static constexpr std::chrono::seconds kSilence{10};

  // Watches the server that DISPLAY names, in any form X takes it; null
  // where it names none (XProbe::Named).
  static std::unique_ptr<XServerWatch> Start(int start_failed_status, std::function<void()> before_end);
  ~XServerWatch();
  XServerWatch(const XServerWatch&) = delete;
  XServerWatch& operator=(const XServerWatch&) = delete;

  // The window is up: from now on only a stop signal ends the process.
  void StartedUp();

 private:
  using Clock = std::chrono::steady_clock;

  XServerWatch(XProbe::Server server, int start_failed_status, std::function<void()> before_end);
  void Watch();
  // Whether the server answered before the bound, or before the watch was
  // stopped.
  bool Answers();
  // Waits `length`, or less when the watch is stopped; false once stopped.
  bool Sleep(Clock::duration length);
  [[noreturn]] void End(const std::string& message, int signal_number);

  XProbe probe_;  // the watch's thread alone uses it
  const int start_failed_status_;
  const std::function<void()> before_end_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool starting_ = true;
  std::thread thread_;
};

}  // namespace zv::platform
