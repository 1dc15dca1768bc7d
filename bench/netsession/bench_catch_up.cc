// A host sends a guaranteed block to everybody 8 times a second while its
// one member stands still (as a stopped process or a suspended laptop
// would: it takes nothing for that long), then goes on; both take their
// traffic once per 25 ms frame, as a program at the start-up frame rate
// does. "backlog_ms": from the member running again until it has every
// block sent while it stood still; "late_ms": how late the blocks sent
// from 2 s after it ran again arrive, at worst, over the next 4 s. A link
// that catches up at its speed delivers a 20 s backlog of small blocks in
// well under a second and the later ones on time.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/netsession/net_session.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace zv::platform;
constexpr auto kFrame = std::chrono::milliseconds(25);
const Guid kApp = {0x51};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void BM_CatchUpAfterStandingStill(benchmark::State& state) {
  const int still_s = static_cast<int>(state.range(0));
  const size_t block = static_cast<size_t>(state.range(1));
  SessionNetworkOptions options;
  options.loopback_only = true;
  options.port = 30677;
  options.find_wait_ms = 300;
  auto network = CreateEnetSessionNetwork(options);
  for (auto _ : state) {
    auto host = network->Open(0, "");
    if (host->Host(kApp, SessionDescription{{}, "Bench", kSessionMigrateHost, 0, 4}) != SessionError::kNone ||
        !host->CreatePlayer("host", true)) {
      state.SkipWithError("could not host");
      return;
    }
    std::mutex lock;
    std::atomic<bool> stop{false};
    // The host's program: a block every 125 ms, stamped with when it went.
    std::thread host_loop([&] {
      auto next = Clock::now();
      while (!stop) {
        std::lock_guard guard(lock);
        host->Service();
        while (host->Receive()) {
        }
        if (Clock::now() >= next) {
          next += std::chrono::milliseconds(125);
          std::vector<uint8_t> bytes(std::max<size_t>(block, sizeof(int64_t)));
          const int64_t sent = Clock::now().time_since_epoch().count();
          std::memcpy(bytes.data(), &sent, sizeof sent);
          host->Send(kServerPlayer, kAllPlayers, bytes, true);
        }
        std::this_thread::sleep_for(kFrame);
      }
    });
    auto member = network->Open(0, "");
    auto found = member->FindSessions(kApp);
    if (!found || found->size() != 1 || member->Join(kApp, (*found)[0].instance, "bob").error != SessionError::kNone) {
      stop = true;
      host_loop.join();
      state.SkipWithError("could not join");
      return;
    }
    // Its program reads everything each frame; `until` ends the frames.
    auto frames = [&](Clock::time_point until, auto on_block) {
      while (Clock::now() < until) {
        member->Service();
        while (std::optional<SessionEvent> e = member->Receive()) {
          if (e->type != SessionEvent::Type::kMessage || e->data.size() < sizeof(int64_t)) continue;
          int64_t sent = 0;
          std::memcpy(&sent, e->data.data(), sizeof sent);
          on_block(Clock::time_point(Clock::duration(sent)));
        }
        std::this_thread::sleep_for(kFrame);
      }
    };
    frames(Clock::now() + std::chrono::seconds(2), [](Clock::time_point) {});
    const auto stood = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(still_s));
    const auto resumed = Clock::now();
    double backlog = 0, late = 0;
    frames(resumed + std::chrono::seconds(6), [&](Clock::time_point sent) {
      const auto now = Clock::now();
      if (sent < resumed && sent >= stood) backlog = std::max(backlog, Ms(now - resumed));
      if (sent >= resumed + std::chrono::seconds(2)) late = std::max(late, Ms(now - sent));
    });
    state.counters["backlog_ms"] = backlog;
    state.counters["late_ms"] = late;
    member->Close();
    stop = true;
    host_loop.join();
    host->Close();
  }
}
BENCHMARK(BM_CatchUpAfterStandingStill)
    ->ArgNames({"still_s", "block_bytes"})
    ->Args({3, 8})
    ->Args({3, 16000})
    ->Args({20, 8})
    ->Args({20, 16000})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
