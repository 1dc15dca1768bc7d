// Draw records queued and performed per second on a 640x480 screen: dots,
// lines, boxes and 20-character texts. The display presents by blitting,
// so every record is performed once.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "display/display.h"
#include "display/display_service_adapter.h"
#include "display/graphics.h"
#include "platform/present/headless/headless_presenter.h"
#include "platform/window/headless/headless_window.h"
#include "runtime/runtime_state.h"
#include "tests/support/fake_host.h"

namespace zv {
namespace {

constexpr int kBatch = 10000;

// A display started as the start-up starts it, with its 2D drawing.
struct Screen {
  explicit Screen(int32_t depth)
      : vm(handlers, host), window(host.clock), display(vm, Runtime(), Platform()),
        graphics(display, platform::CreateTextService()), adapter(display, &graphics) {
    vm.runtime = &runtime;
    vm.display = &adapter;
    display.SetClients(&graphics);
    adapter.SetFullScreenFlag(true);
    adapter.CreateDirectDrawObject(false, true);
    adapter.SetDisplayMode(640, 480, depth);
    adapter.ResetDrawState(depth);
    adapter.CreateSurfacesAndDevice(640, 480);
    graphics.ResetRecordPools();
    graphics.ResetDrawState();
    graphics.ResetRuntimeState();
  }
  ~Screen() { display.SetClients(nullptr); }

  RuntimeState& Runtime() {
    runtime.settings.blit_flip_mode = 1;
    return runtime;
  }
  DisplayPlatform Platform() {
    DisplayPlatform p;
    p.presenter = &presenter;
    p.window = &window;
    return p;
  }

  HandlerTable handlers;
  test::FakeHost host;
  Vm vm;
  RuntimeState runtime;
  platform::HeadlessPresenter presenter;
  platform::HeadlessWindow window;
  Display display;
  Graphics graphics;
  DisplayServiceAdapter adapter;
};

template <typename QueueOne>
void RunBatches(benchmark::State& state, QueueOne queue_one) {
  Screen screen(static_cast<int32_t>(state.range(0)));
  std::mt19937 random(12345);
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) queue_one(screen.graphics, random);
    screen.graphics.ExecuteDrawingQueue();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

int32_t Coord(std::mt19937& r, int32_t limit) { return static_cast<int32_t>(r() % static_cast<uint32_t>(limit)); }

void BM_Dots(benchmark::State& state) {
  RunBatches(state, [](Graphics& g, std::mt19937& r) { g.Queue().QueueDot(Coord(r, 640), Coord(r, 480)); });
}

void BM_Lines(benchmark::State& state) {
  RunBatches(state, [](Graphics& g, std::mt19937& r) {
    g.Queue().QueueLine(Coord(r, 640), Coord(r, 480), Coord(r, 640), Coord(r, 480));
  });
}

void BM_Boxes(benchmark::State& state) {
  RunBatches(state, [](Graphics& g, std::mt19937& r) {
    const int32_t x = Coord(r, 640), y = Coord(r, 480);
    g.Queue().QueueBox(x, y, x + 1 + Coord(r, 64), y + 1 + Coord(r, 64));
  });
}

void BM_ConsoleTexts(benchmark::State& state) {
  RunBatches(state, [](Graphics& g, std::mt19937& r) {
    int32_t x = Coord(r, 560), y = Coord(r, 460);
    g.QueueTextOutput("Twenty characters!!!", x, y, TextFlow{true, false, false});
  });
}

void BM_ArialTexts(benchmark::State& state) {
  RunBatches(state, [first = true](Graphics& g, std::mt19937& r) mutable {
    if (first) {
      g.Queue().QueueTextFont("arial", 0);
      g.Queue().QueueTextSize(14);
      first = false;
    }
    g.Queue().QueueTextAt(Coord(r, 560), Coord(r, 460), "Twenty characters!!!", false);
  });
}

BENCHMARK(BM_Dots)->Arg(16)->Arg(32);
BENCHMARK(BM_Lines)->Arg(16)->Arg(32);
BENCHMARK(BM_Boxes)->Arg(16)->Arg(32);
BENCHMARK(BM_ConsoleTexts)->Arg(16)->Arg(32);
BENCHMARK(BM_ArialTexts)->Arg(16)->Arg(32);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
