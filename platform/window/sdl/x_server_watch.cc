#include "platform/window/sdl/x_server_watch.h"

#include <unistd.h>

#include <cstring>

#include "platform/signals/ending_work.h"
#include "platform/signals/stop_signals.h"

namespace zv::platform {
namespace {

// How long one sign of life is waited for, and how often it is asked for
// during start-up.
constexpr auto kAnswerWait = std::chrono::seconds(1);
constexpr auto kAskEvery = std::chrono::milliseconds(250);
constexpr auto kSignalGrace = std::chrono::seconds(1);
constexpr auto kLook = std::chrono::milliseconds(100);

std::string SignalName(int signal_number) {
  const char* abbreviation = ::sigabbrev_np(signal_number);
  return abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(signal_number);
}

void Say(const std::string& message) {
  const std::string line = "zentrovex: " + message + "\n";
  // From this thread only a plain write: the main thread may hold a lock
  // of the C streams.
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace

std::unique_ptr<XServerWatch> XServerWatch::Start(int start_failed_status, std::function<void()> before_end) {
  std::optional<XProbe::Server> server = XProbe::Named();
  if (!server) return nullptr;
  return std::unique_ptr<XServerWatch>(new XServerWatch(std::move(*server), start_failed_status, std::move(before_end)));
}

XServerWatch::XServerWatch(XProbe::Server server, int start_failed_status, std::function<void()> before_end)
    : probe_(std::move(server)), start_failed_status_(start_failed_status), before_end_(std::move(before_end)) {
  thread_ = std::thread([this] { Watch(); });
}

XServerWatch::~XServerWatch() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void XServerWatch::StartedUp() {
  const std::lock_guard<std::mutex> lock(mutex_);
  starting_ = false;
}

void XServerWatch::Watch() {
  Clock::time_point last_answer = Clock::now();
  std::optional<Clock::time_point> signal_came;
  for (;;) {
    bool starting;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      starting = starting_;
    }
    if (StopSignal() != 0 && !signal_came) {
      signal_came = Clock::now();
      // What the user would lose is kept at once, whatever the server does.
      KeepForEnding();
    }
    // Asked for only while something hangs on the answer.
    const bool ask = starting || signal_came;
    if (ask && Answers()) last_answer = Clock::now();
    if (!ask) probe_.Drain();
    const Clock::time_point now = Clock::now();
    if (signal_came && now - *signal_came >= kSignalGrace && last_answer < *signal_came)
      End("stopped by " + SignalName(StopSignal()) + " while the X server on DISPLAY=" + probe_.DisplayName() +
              " gave no answer",
          StopSignal());
    if (starting && now - last_answer >= kSilence)
      End("cannot open a window on DISPLAY=" + probe_.DisplayName() + ": the X server gave no answer for " +
              std::to_string(kSilence.count()) + " s",
          0);
    if (!Sleep(ask ? Clock::duration(kAskEvery) : Clock::duration(kLook))) return;
  }
}

bool XServerWatch::Answers() {
  return probe_.Answers(Clock::now() + kAnswerWait, [this] {
    const std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
  });
}

bool XServerWatch::Sleep(Clock::duration length) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !wake_.wait_for(lock, length, [this] { return stopping_; });
}

void XServerWatch::End(const std::string& message, int signal_number) {
  Say(message);
  DoEndingWork();
  if (before_end_) before_end_();
  if (signal_number != 0) EndNowBySignal(signal_number);
  ::_exit(start_failed_status_);
}

}  // namespace zv::platform
