#include "platform/paths/test_stop.h"

#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace zv::platform {

void StopHereForTests(const char* moment) {
  // Looked up each time: a test's child process sets it after the fork.
  const char* const wanted = std::getenv("ZV_TEST_STOP_AT");
  static std::atomic<bool> stopped{false};
  if (!wanted || std::strcmp(wanted, moment) != 0 || stopped.exchange(true)) return;
  ::raise(SIGSTOP);
}

}  // namespace zv::platform
