// Text measured and drawn per second by the text service, 20 characters at
// a time in Arial 14, by character set: Western (0), a single-byte national
// set (204, Cyrillic) and a double-byte set (128, Shift-JIS: ten pairs).
#include <benchmark/benchmark.h>

#include <string>

#include "platform/text/text_service.h"

namespace zv::platform {
namespace {

std::string TextFor(int32_t charset) {
  if (charset == 128) return "\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49";
  return "Twenty characters \xC0\xE9";
}

FontPtr OpenArial(TextService& service, int32_t charset) {
  FontRequest request;
  request.face = "Arial";
  request.height = 14;
  request.charset = charset;
  return service.CreateFont(request);
}

void BM_MeasureText(benchmark::State& state) {
  const auto service = CreateTextService();
  const FontPtr font = OpenArial(*service, static_cast<int32_t>(state.range(0)));
  const std::string text = TextFor(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(font->Measure(text));
  state.SetItemsProcessed(state.iterations());
}

void BM_DrawText(benchmark::State& state) {
  const auto service = CreateTextService();
  const FontPtr font = OpenArial(*service, static_cast<int32_t>(state.range(0)));
  const std::string text = TextFor(static_cast<int32_t>(state.range(0)));
  SurfaceDesc desc;
  desc.width = 640;
  desc.height = 480;
  desc.format = PixelFormat::Xrgb8888();
  const SurfacePtr surface = Surface::Create(desc);
  int32_t y = 0;
  for (auto _ : state) {
    font->Draw(*surface, 10, y, text, TextColours{0xFFFFFF, 0, false});
    y = (y + 17) % 460;
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_MeasureText)->Arg(0)->Arg(204)->Arg(128);
BENCHMARK(BM_DrawText)->Arg(0)->Arg(204)->Arg(128);

}  // namespace
}  // namespace zv::platform

BENCHMARK_MAIN();
