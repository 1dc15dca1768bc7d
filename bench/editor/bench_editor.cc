// Loading a 50,000-line program into the editor and drawing its first
// screen (the goal is under 100 ms), and the parts of that: reading the
// file and drawing one frame.
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>

#include "editor/editor.h"
#include "platform/clock/clock.h"
#include "platform/present/headless/headless_presenter.h"
#include "platform/window/headless/headless_window.h"

namespace {

using namespace zv;

constexpr int kLines = 50000;

// A program of everyday lines: comments, loops, prints, indented blocks.
std::string WriteProgram(const platform::TempFolder& temp) {
  const std::string path = temp.File("big.kqa");
  std::ofstream out(path, std::ios::binary);
  out << "Rem * Title  : Big\r\n";
  for (int i = 0; i < kLines; ++i) {
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

}  // namespace

BENCHMARK_MAIN();
