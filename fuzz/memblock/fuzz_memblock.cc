// Arbitrary bytes as a memory block: made into the screen, a bitmap and an
// image of a headless display at 16 and at 32 bits (and, when that worked,
// back into a block that must equal the bytes it came from), and read by
// the mesh and sound layouts' parsers.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>

#include "display/display.h"
#include "display/display_service_adapter.h"
#include "display/graphics.h"
#include "platform/clock/clock.h"
#include "platform/present/headless/headless_presenter.h"
#include "platform/window/headless/headless_window.h"
#include "runtime/runtime_state.h"
#include "services/memory/memory_blocks.h"
#include "services/memory/mesh_layout.h"
#include "services/memory/pixel_conversions.h"
#include "services/memory/pixel_layout.h"
#include "services/memory/sound_layout.h"

namespace zv::fuzz {
namespace {

class QuietHost final : public VmHost {
 public:
  uint32_t NowMs() override { return clock.NowMs(); }
  void PostQuit() override {}
  platform::ManualClock clock;
};

// A started headless display of one depth with its 2D drawing and blocks.
struct Environment {
  explicit Environment(int32_t depth)
      : window(host.clock),
        display(vm, runtime, Platform()),
        graphics(display, platform::CreateTextService()),
        adapter(display, &graphics) {
    vm.runtime = &runtime;
    vm.display = &adapter;
    vm.memory_blocks = &memory;
    display.SetClients(&graphics);
    adapter.SetFullScreenFlag(true);
    if (!adapter.CreateDirectDrawObject(false, true) || !adapter.SetDisplayMode(640, 480, depth)) std::abort();
    adapter.ResetDrawState(depth);
    if (!adapter.CreateSurfacesAndDevice(640, 480)) std::abort();
    display.SetDrawTargets();
    graphics.ResetRecordPools();
    graphics.ResetDrawState();
    graphics.ResetRuntimeState();
  }

  DisplayPlatform Platform() {
    DisplayPlatform p;
    p.presenter = &presenter;
    p.window = &window;
    p.sleep = [](uint32_t) {};
    return p;
  }

  HandlerTable handlers;
  QuietHost host;
  Vm vm{handlers, host};
  RuntimeState runtime;
  platform::HeadlessPresenter presenter;
  platform::HeadlessWindow window;
  Display display;
  Graphics graphics;
  DisplayServiceAdapter adapter;
  MemoryBlocks memory;
};

Environment* sixteen = nullptr;
Environment* thirty_two = nullptr;

constexpr int32_t kBlock = 1;
constexpr int32_t kBack = 2;
constexpr int32_t kBitmap = 5;
constexpr int32_t kImage = 9;

// A successful conversion into a surface of the block's own size must come
// back out as the same bytes.
void ExpectSameBlock(MemblockTable& table, std::span<const uint8_t> data) {
  const BlockMemory* back = table.Peek(kBack);
  if (!back) std::abort();
  const std::optional<PixelMemblockLayout> layout = ReadPixelLayout(data);
  const uint64_t used = PixelMemblockLayout::kHeaderBytes + layout->PixelBytes();
  if (back->size() != used || std::memcmp(back->data(), data.data(), used) != 0) std::abort();
}

void ConvertPixels(Environment& env, std::span<const uint8_t> data) {
  Vm& vm = env.vm;
  MemblockTable& table = env.memory.Table();
  if (!table.Make(kBlock, static_cast<uint32_t>(data.size()))) return;
  std::memcpy(table.Peek(kBlock)->data(), data.data(), data.size());

  MakeBitmapFromMemblock(vm, kBlock, 0);
  if (MakeBitmapFromMemblock(vm, kBlock, kBitmap) && MakeMemblockFromBitmap(vm, kBack, kBitmap))
    ExpectSameBlock(table, data);
  int32_t image = env.graphics.Pools().image_ids.Get(kImage);
  const bool made = MakeImageFromMemblock(vm, kBlock, image);
  env.graphics.Pools().image_ids.Set(kImage, image);
  if (made && MakeMemblockFromImage(vm, kBack, image)) ExpectSameBlock(table, data);
  // Again into the image it now is: the record stays.
  const int32_t kept = image;
  if (made && (!MakeImageFromMemblock(vm, kBlock, image) || image != kept)) std::abort();

  vm.errors = ErrorState{};
  env.memory.FreeMemoryBlocks();
}

}  // namespace
}  // namespace zv::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  zv::fuzz::sixteen = new zv::fuzz::Environment(16);
  zv::fuzz::thirty_two = new zv::fuzz::Environment(32);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > zv::MemblockTable::kMaxSize) return 0;
  const std::span<const uint8_t> block(data, size);
  zv::fuzz::ConvertPixels(*zv::fuzz::sixteen, block);
  zv::fuzz::ConvertPixels(*zv::fuzz::thirty_two, block);
  (void)zv::ReadMeshLayout(block);
  zv::SoundMemblockLayout sound;
  (void)zv::ReadSoundLayout(block, &sound);
  return 0;
}
