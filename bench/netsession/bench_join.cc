// A machine joining a game hosted on this machine, over ENet on the
// loopback address: how long `join net game` waits (Join), the search
// before it apart. The host takes its traffic once a frame of `host_frame_ms`
// (1: a program that does little else; 16: one drawing 60 frames a second).
// A join first asks the host for a cookie bound to the port it joins from
// and then connects with it; bench_cookie measures the host's side of that.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/netsession/net_session.h"

namespace {

using namespace zv::platform;
const Guid kApp = {0x52};

void BM_Join(benchmark::State& state) {
  const auto frame = std::chrono::milliseconds(state.range(0));
  SessionNetworkOptions options;
  options.loopback_only = true;
  options.port = 30678;
  // A search of one machine ends at its answer: this only bounds a loaded
  // machine's.
  options.find_wait_ms = 3000;
  auto network = CreateEnetSessionNetwork(options);
  auto host = network->Open(0, "");
  if (host->Host(kApp, SessionDescription{{}, "Bench", kSessionMigrateHost, 0, 4}) != SessionError::kNone ||
      !host->CreatePlayer("host", true)) {
    state.SkipWithError("could not host");
    return;
  }
  std::atomic<bool> stop{false};
  std::thread host_loop([&] {
    while (!stop) {
      host->Service();
      while (host->Receive()) {
      }
      std::this_thread::sleep_for(frame);
    }
  });
  for (auto _ : state) {
    state.PauseTiming();
    auto member = network->Open(0, "");
    auto found = member->FindSessions(kApp);
    if (!found || found->size() != 1) {
      state.SkipWithError("nothing found");
      break;
    }
    state.ResumeTiming();
    const SessionError joined = member->Join(kApp, (*found)[0].instance, "bob").error;
    state.PauseTiming();
    if (joined != SessionError::kNone) {
      state.SkipWithError("could not join");
      break;
    }
    member->Close();
    state.ResumeTiming();
  }
  stop = true;
  host_loop.join();
  host->Close();
}
BENCHMARK(BM_Join)
    ->ArgName("host_frame_ms")
    ->Arg(1)
    ->Arg(16)
    ->Iterations(40)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
