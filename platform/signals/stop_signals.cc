#include "platform/signals/stop_signals.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace zv::platform {
namespace {

// Written by the handler, read by the main loop and by the X server's
// watch (a thread): a lock-free atomic is what a handler may safely write.
std::atomic<int> g_stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM};
// A closed pipe or socket and a file-size limit: the write fails (EPIPE,
// EFBIG) and the command that made it says so, as for a full disk.
constexpr int kFailedWriteSignals[] = {SIGPIPE, SIGXFSZ};

extern "C" void NoteStopSignal(int signal_number) { g_stop_signal = signal_number; }
// Caught rather than ignored: a program started from here begins with the
// default action again, as programs expect.
extern "C" void IgnoreSignal(int) {}

void Install(int signal_number, void (*handler)(int)) {
  struct sigaction current {};
  if (::sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
  struct sigaction caught {};
  caught.sa_handler = handler;
  sigemptyset(&caught.sa_mask);
  // Interrupted reads and writes go on: nothing else needs to notice.
  caught.sa_flags = SA_RESTART;
  ::sigaction(signal_number, &caught, nullptr);
}

}  // namespace

void CatchStopSignals() {
  for (int signal_number : kStopSignals) Install(signal_number, NoteStopSignal);
  for (int signal_number : kFailedWriteSignals) Install(signal_number, IgnoreSignal);
}

int StopSignal() { return g_stop_signal; }

void EndByStopSignal() {
  const int signal_number = g_stop_signal;
  if (signal_number == 0) return;
  std::fflush(nullptr);
  EndNowBySignal(signal_number);
}

void EndNowBySignal(int signal_number) {
  // SIGQUIT's default action also dumps core: a core file of the whole
  // address space in the program's folder for every Ctrl+\. The process has
  // already ended cleanly, so there is nothing to debug; without a core
  // limit the status still names the signal.
  struct rlimit no_core {};
  if (::getrlimit(RLIMIT_CORE, &no_core) == 0) {
    no_core.rlim_cur = 0;
    ::setrlimit(RLIMIT_CORE, &no_core);
  }
  std::signal(signal_number, SIG_DFL);
  // To the whole process: raised in a thread, a signal blocked there would wait.
  ::kill(::getpid(), signal_number);
  for (;;) ::pause();
}

void ClearStopSignal() { g_stop_signal = 0; }

}  // namespace zv::platform
