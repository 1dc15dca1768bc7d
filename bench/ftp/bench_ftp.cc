// A whole download of a 10 KB file from an FTP server on this machine, one
// after another over one connection, each timed: from a server that ends
// the transfer at once, and from one whose closing reply comes 20 ms after
// the data, as from a server further away. "slowest_ms" is the slowest of
// the 20; every one should take well under 50 ms.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/ftp/ftp_client.h"
#include "tests/platform/ftp/local_ftp_server.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kFileBytes = 10 * 1024;

void BM_WholeDownload10KB(benchmark::State& state) {
  zv::test::LocalFtpServer server("", static_cast<int>(state.range(0)));
  if (!server.Running()) {
    state.SkipWithError(server.Problem().c_str());
    return;
  }
  server.PutFile("ten.bin", std::string(kFileBytes, 'x'));
  auto client = zv::platform::CreateCurlFtpClient(zv::platform::FtpClientOptions{2000, 3000});
  if (!client->Connect(zv::platform::FtpServer{"127.0.0.1", server.Port(), "user", "secret"})) {
    state.SkipWithError("no connection to the server");
    return;
  }
  double slowest = 0;
  for (auto _ : state) {
    size_t got = 0;
    const auto start = Clock::now();
    const bool done = client->Download("ten.bin", [&](std::span<const uint8_t> bytes) {
      got += bytes.size();
      return true;
    });
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!done || got != kFileBytes) {
      state.SkipWithError("the download failed");
      break;
    }
    slowest = std::max(slowest, seconds);
    state.SetIterationTime(seconds);
  }
  state.counters["slowest_ms"] = slowest * 1000;
}
BENCHMARK(BM_WholeDownload10KB)
    ->ArgName("late_reply_ms")
    ->Arg(0)
    ->Arg(20)
    ->Iterations(20)
    ->Repetitions(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
