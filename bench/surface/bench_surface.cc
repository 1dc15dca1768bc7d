// Blit throughput of the software surfaces: whole-screen copies (the
// presentation and bitmap copies), clears of the screen, and small
// colour-keyed blits (sprites and image pastes); and the cost of making a
// surface through the display device while thousands of others live. Run
// single-threaded:
// bench_surface --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/surface/draw_device.h"
#include "platform/surface/surface.h"

namespace {

using zv::platform::BltFx;
using zv::platform::ColorKey;
using zv::platform::PixelFormat;
using zv::platform::Surface;
using zv::platform::SurfaceDesc;
using zv::platform::SurfacePtr;

SurfacePtr Make(int32_t w, int32_t h, const PixelFormat& format) {
  SurfaceDesc desc;
  desc.width = w;
  desc.height = h;
  desc.format = format;
  SurfacePtr s = Surface::Create(desc);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) s->SetPixelAt(x, y, static_cast<uint32_t>((x * 7 + y * 13) % 5));
  return s;
}

PixelFormat FormatOf(int64_t bits) { return PixelFormat::ForDepth(static_cast<int>(bits)); }

void FullScreenBltFast(benchmark::State& state) {
  PixelFormat f = FormatOf(state.range(0));
  SurfacePtr src = Make(640, 480, f), dst = Make(640, 480, f);
  for (auto _ : state) {
    benchmark::DoNotOptimize(dst->BltFast(0, 0, src.get(), nullptr, 0));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * 640 * 480 * f.BytesPerPixel());
}
BENCHMARK(FullScreenBltFast)->Arg(32)->Arg(16);

void FullScreenBlt(benchmark::State& state) {
  PixelFormat f = FormatOf(state.range(0));
  SurfacePtr src = Make(640, 480, f), dst = Make(640, 480, f);
  for (auto _ : state) {
    benchmark::DoNotOptimize(dst->Blt(nullptr, src.get(), nullptr, zv::platform::kBltWait));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(FullScreenBlt)->Arg(32);

void KeyedSprite32x32(benchmark::State& state) {
  PixelFormat f = FormatOf(state.range(0));
  SurfacePtr sprite = Make(32, 32, f), screen = Make(640, 480, f);
  sprite->SetColorKey(ColorKey{0, 0});
  int32_t x = 0, y = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        screen->BltFast(x, y, sprite.get(), nullptr, zv::platform::kBltFastSrcColorKey));
    x = (x + 37) % (640 - 32);
    y = (y + 23) % (480 - 32);
  }
  benchmark::ClobberMemory();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(KeyedSprite32x32)->Arg(32)->Arg(16);

// The sprite path: one Blt with the key and a mirror effect.
void KeyedMirroredSprite32x32(benchmark::State& state) {
  PixelFormat f = FormatOf(state.range(0));
  SurfacePtr sprite = Make(32, 32, f), screen = Make(640, 480, f);
  sprite->SetColorKey(ColorKey{0, 0});
  BltFx fx;
  fx.mirror_left_right = true;
  zv::platform::Rect dest{100, 100, 132, 132};
  for (auto _ : state) {
    benchmark::DoNotOptimize(screen->Blt(&dest, sprite.get(), nullptr,
                                         zv::platform::kBltKeySrc | zv::platform::kBltFx, &fx));
  }
  benchmark::ClobberMemory();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(KeyedMirroredSprite32x32)->Arg(32)->Arg(16);

// A clear of the whole screen (cls) over what the frame drew: the second
// argument's picture is copied in before each clear, the copy timed too.
// 0: a screen that holds the colour (nothing copied), 1: a picture in every
// pixel, 2: rows of the colour each with one other pixel at its end (the
// clear reads each row whole). The third is the colour: 0 black, 1 blue.
void ClearScreen(benchmark::State& state) {
  PixelFormat f = FormatOf(state.range(0));
  SurfacePtr screen = Make(640, 480, f), picture = Make(640, 480, f);
  BltFx fill;
  fill.fill_color = state.range(2) == 0 ? 0 : f.blue_mask;
  screen->Blt(nullptr, nullptr, nullptr, zv::platform::kBltColorFill, &fill);
  if (state.range(1) == 2) {
    picture->Blt(nullptr, nullptr, nullptr, zv::platform::kBltColorFill, &fill);
    for (int32_t y = 0; y < 480; ++y) picture->SetPixelAt(639, y, f.red_mask);
  }
  for (auto _ : state) {
    if (state.range(1) != 0) screen->BltFast(0, 0, picture.get(), nullptr, 0);
    benchmark::DoNotOptimize(screen->Blt(nullptr, nullptr, nullptr, zv::platform::kBltColorFill, &fill));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ClearScreen)->ArgsProduct({{16, 32}, {0, 1, 2}, {0, 1}});

// Makes an 8 x 8 surface through the display device and lets it go again,
// while as many others as the argument says live (as a program's sprite
// backgrounds do). The time per surface should not grow with their number.
void CreateSurfaceAmongLive(benchmark::State& state) {
  zv::platform::DrawDevice device(zv::platform::EnumerateAdapters().front(),
                                  zv::platform::DisplayMode{1024, 768, 32});
  SurfaceDesc desc;
  desc.width = 8;
  desc.height = 8;
  std::vector<SurfacePtr> live;
  for (int64_t i = 0; i < state.range(0); ++i) live.push_back(device.CreateSurface(desc));
  for (auto _ : state) benchmark::DoNotOptimize(device.CreateSurface(desc));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CreateSurfaceAmongLive)->Arg(1000)->Arg(4000)->Arg(16000)->Arg(65000);

}  // namespace

BENCHMARK_MAIN();
