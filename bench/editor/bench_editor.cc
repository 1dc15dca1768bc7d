// Loading a 50,000-line program into the editor and drawing its first
// screen (the goal is under 100 ms), and the parts of that: reading the
// file and drawing one frame. A key typed into a 100,000-line program and
// its frame, with its changes kept (every 2 s of the editor's clock) and
// without (the clock stands still, so no keep falls due): keeping costs
// the keys nothing. bench/editor/key_echo.sh times the echo in a real
// window against another build.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>

#include "editor/editor.h"
#include "editor/editor_session.h"
#include "platform/clock/clock.h"
#include "platform/present/headless/headless_presenter.h"
#include "platform/window/headless/headless_window.h"

namespace {

using namespace zv;

constexpr int kLines = 50000;

// A program of everyday lines: comments, loops, prints, indented blocks.
std::string WriteProgram(const platform::TempFolder& temp, int lines = kLines) {
  const std::string path = temp.File("big" + std::to_string(lines) + ".kqa");
  std::ofstream out(path, std::ios::binary);
  out << "Rem * Title  : Big\r\n";
  for (int i = 0; i < lines; ++i) {
    switch (i % 5) {
      case 0: out << "rem section " << i << " of the program\r\n"; break;
      case 1: out << "for i = 1 to " << i << "\r\n"; break;
      case 2: out << "\tprint \"line \" + str$(i) : x# = x# + 0.5\r\n"; break;
      case 3: out << "next i\r\n"; break;
      default: out << "if score > " << i << " then gosub bonus_" << i % 97 << "\r\n"; break;
    }
  }
  return path;
}

struct EditorUnderTest {
  EditorUnderTest() {
    auto presenter = std::make_unique<platform::HeadlessPresenter>();
    display = std::make_unique<editor::EditorDisplay>(std::move(presenter));
    text = platform::CreateTextService();
    editor::EditorOptions options;
    options.app_folder = temp.Path();
    options.clock = &clock;
    editor = std::make_unique<editor::Editor>(*display, window, clipboard, *text, options);
    path = WriteProgram(temp);
  }
  platform::TempFolder temp;
  platform::ManualClock clock;
  platform::HeadlessWindow window{clock};
  platform::MemoryClipboard clipboard;
  std::unique_ptr<editor::EditorDisplay> display;
  std::unique_ptr<platform::TextService> text;
  std::unique_ptr<editor::Editor> editor;
  std::string path;
};

void BM_LoadAndDrawFirstScreen(benchmark::State& state) {
  EditorUnderTest t;
  for (auto _ : state) {
    if (!t.editor->OpenFile(t.path)) state.SkipWithError("cannot load");
    t.editor->Frame();
  }
  state.counters["lines"] = t.editor->Live().buffer.LineCount();
}
BENCHMARK(BM_LoadAndDrawFirstScreen)->Unit(benchmark::kMillisecond);

void BM_ReadSourceFile(benchmark::State& state) {
  EditorUnderTest t;
  for (auto _ : state) benchmark::DoNotOptimize(editor::LoadSourceFile(t.path));
}
BENCHMARK(BM_ReadSourceFile)->Unit(benchmark::kMillisecond);

void BM_DrawFullFrame(benchmark::State& state) {
  EditorUnderTest t;
  t.editor->OpenFile(t.path);
  for (auto _ : state) {
    t.editor->View().MarkRowsDirty();
    t.editor->Frame();
  }
}
BENCHMARK(BM_DrawFullFrame)->Unit(benchmark::kMillisecond);

void BM_KeyEchoIn100000Lines(benchmark::State& state) {
  const bool keeping = state.range(0) != 0;
  EditorUnderTest t;
  // The program's folder is the test's own: its autosaves go there.
  if (!t.editor->OpenFile(WriteProgram(t.temp, 100000))) state.SkipWithError("cannot load");
  t.editor->Frame();
  double worst = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    t.window.Type("x", t.clock.NowMs());
    platform::WindowEvent event;
    while (t.window.PollEvent(&event)) t.editor->HandleEvent(event);
    t.editor->Frame();
    worst = std::max(worst, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (keeping) t.clock.Advance(editor::kEditorFrameMs);
  }
  t.editor->FinishKeeping();
  state.counters["worst_ms"] = worst;
}
BENCHMARK(BM_KeyEchoIn100000Lines)->ArgName("keeping")->Arg(0)->Arg(1)->Iterations(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
