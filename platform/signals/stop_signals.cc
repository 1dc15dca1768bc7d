#include "platform/signals/stop_signals.h"

#include <signal.h>

#include <csignal>
#include <cstdio>

namespace zv::platform {
namespace {

// Written by the handler, read by the main loop: the one thing a handler
// may safely do.
volatile std::sig_atomic_t g_stop_signal = 0;

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void NoteStopSignal(int signal_number) { g_stop_signal = signal_number; }

}  // namespace

void CatchStopSignals() {
  for (int signal_number : kStopSignals) {
    struct sigaction current {};
    if (::sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    struct sigaction noted {};
    noted.sa_handler = NoteStopSignal;
    sigemptyset(&noted.sa_mask);
    // Interrupted reads and writes go on: nothing else needs to notice.
    noted.sa_flags = SA_RESTART;
    ::sigaction(signal_number, &noted, nullptr);
  }
}

int StopSignal() { return g_stop_signal; }

void EndByStopSignal() {
  const int signal_number = g_stop_signal;
  if (signal_number == 0) return;
  std::fflush(nullptr);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void ClearStopSignal() { g_stop_signal = 0; }

}  // namespace zv::platform
