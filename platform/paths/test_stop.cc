#include "platform/paths/test_stop.h"

#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <string>

namespace zv::platform {

void StopHereForTests(const char* moment) {
  // Looked up each time: a test's child process sets it after the fork.
  const char* const wanted = std::getenv("ZV_TEST_STOP_AT");
  if (!wanted) return;
  const std::string asked(wanted);
  const size_t mark = asked.find('#');
  if (asked.substr(0, mark) != moment) return;
  const int nth = mark == std::string::npos ? 1 : std::atoi(asked.c_str() + mark + 1);
  static std::atomic<int> reached{0};
  if (++reached == nth) ::raise(SIGSTOP);
}

}  // namespace zv::platform
