#include "display/display_commands.h"

#include <sys/sysinfo.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>

#include "display/bitmap_commands.h"
#include "display/display.h"
#include "display/text_commands.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {
namespace {

namespace op = display_opcode;

constexpr int32_t kBadSize = 1501;
constexpr int32_t kBadDepth = 1502;
constexpr int32_t kCardNotUsed = 9011;
constexpr int32_t kTextureMemoryFailed = 9012;
constexpr int32_t kVideoMemoryFailed = 9013;
constexpr size_t kCardNameLimit = 255;

bool ValidDepth(int32_t depth) { return depth == 16 || depth == 24 || depth == 32; }

int32_t ClampToInt(uint64_t bytes) {
  return static_cast<int32_t>(std::min<uint64_t>(bytes, std::numeric_limits<int32_t>::max()));
}

// A display change to the mode the program sees; `fallback` is what the
// software-renderer flag becomes when the change falls back.
void ChangeToProgramMode(Display& d, int32_t fallback) {
  SurfaceState& s = d.Surfaces();
  int32_t w = s.program_width, h = s.program_height, depth = s.program_depth;
  d.ChangeDisplayMode(s.program_width, s.program_height, s.program_depth, s.software_renderer, w,
                      h, depth, fallback);
}

// ---- Modes and screen queries -------------------------------------------------------

void CmdChecklistDisplayModes(Vm& vm) {
  Display* d = FindDisplay(vm);
  if (!d) return;
  Checklist& list = vm.checklist;
  list.count = 0;
  list.values_valid = true;
  list.texts_valid = true;
  list.made = false;
  if (!d->Device().device) return;
  d->Device().device->EnumDisplayModes([&](const platform::DisplayMode& m) {
    if (m.bits < 16) return true;
    char text[48];
    std::snprintf(text, sizeof text, "%dx%dx%d", m.width, m.height, m.bits);
    list.Add(ChecklistEntry{m.width, m.height, m.bits, -1, text});
    return true;
  });
  list.made = true;
}

void CmdSetDisplayMode(Vm& vm) {
  int32_t width = vm.NextInt();
  int32_t height = vm.NextInt();
  int32_t depth = vm.NextInt();
  vm.yield = true;
  Display* d = FindDisplay(vm);
  if (!d) return;
  if (!ValidDepth(depth)) return vm.RunError(kBadDepth);
  if (width < 1 || height < 1) return vm.RunError(kBadSize);
  SurfaceState& s = d->Surfaces();
  int32_t software = s.software_renderer;
  if (d->ChangeDisplayMode(width, height, depth, s.software_renderer, s.program_width,
                           s.program_height, s.program_depth, software)) {
    s.program_width = width;
    s.program_height = height;
    s.program_depth = depth;
    s.screen_depth = static_cast<int16_t>(depth);
  }
}

template <int32_t (*Read)(Display&)>
void ScreenQuery(Vm& vm) {
  Slot result = vm.NextSlot();
  if (Display* d = FindDisplay(vm)) vm.SetInt(result, Read(*d));
}

int32_t ScreenWidth(Display& d) { return d.Surfaces().program_width; }
int32_t ScreenHeight(Display& d) { return d.Surfaces().program_height; }
int32_t ScreenDepth(Display& d) { return d.Surfaces().program_depth; }
int32_t ScreenInVideoMemory(Display& d) { return d.Surfaces().system_memory ? 0 : 1; }
int32_t ScreenFps(Display& d) { return d.Presentation().frames_per_second; }
int32_t ScreenInvalid(Display& d) { return std::exchange(d.Surfaces().display_changed, false); }
int32_t SoftwareRenderer(Display& d) { return d.Surfaces().software_renderer == 1 ? 1 : 0; }
int32_t TnLInUse(Display& d) { return d.Device3D().DeviceName() == "T&L" ? 1 : 0; }

void FnDisplayModeAvailable(Vm& vm) {
  Slot result = vm.NextSlot();
  int32_t width = vm.NextInt();
  int32_t height = vm.NextInt();
  int32_t depth = vm.NextInt();
  Display* d = FindDisplay(vm);
  if (!d) return;
  if (!ValidDepth(depth)) return vm.RunError(kBadDepth);
  if (width < 1 || height < 1) return vm.RunError(kBadSize);
  if (!d->Device().device) return;
  bool found = false;
  d->Device().device->EnumDisplayModes([&](const platform::DisplayMode& m) {
    if (m.bits < 16) return true;
    found = m.width == width && m.height == height && m.bits == depth;
    return !found;
  });
  vm.SetInt(result, found ? 1 : 0);
}

// ---- The pixel lock ------------------------------------------------------------------

void CmdLockPixels(Vm& vm) {
  if (Display* d = FindDisplay(vm)) d->LockPixels();
}

void CmdUnlockPixels(Vm& vm) {
  if (Display* d = FindDisplay(vm)) d->UnlockPixels();
}

template <int32_t PixelLock::*Field>
void LockQuery(Vm& vm) {
  Slot result = vm.NextSlot();
  Display* d = FindDisplay(vm);
  if (!d) return;
  const PixelLock& lock = d->Lock();
  vm.SetInt(result, lock.Held() ? lock.*Field : -1);
}

void FnPixelsPointer(Vm& vm) {
  Slot result = vm.NextSlot();
  Display* d = FindDisplay(vm);
  if (!d) return;
  vm.SetInt(result, d->Lock().Held() ? static_cast<int32_t>(d->Lock().pixels) : -1);
}

// ---- Card and renderer -----------------------------------------------------------------

void CmdUseSoftwareRenderer(Vm& vm) {
  if (Display* d = FindDisplay(vm)) {
    d->Surfaces().software_renderer = 1;
    ChangeToProgramMode(*d, 0);
  }
}

void CmdUseHardwareRenderer(Vm& vm) {
  if (Display* d = FindDisplay(vm)) {
    d->Surfaces().software_renderer = 0;
    ChangeToProgramMode(*d, 1);
  }
}

void CmdChecklistGraphicsCards(Vm& vm) {
  Display* d = FindDisplay(vm);
  if (!d) return;
  Checklist& list = vm.checklist;
  list.count = 0;
  list.values_valid = false;
  list.texts_valid = true;
  for (const platform::DisplayAdapter& card : d->EnumerateCards()) {
    ChecklistEntry entry = list.At(static_cast<size_t>(list.count));
    entry.text = card.description;
    list.Add(std::move(entry));
  }
  list.made = true;
}

void CmdSetGraphicsCard(Vm& vm) {
  std::string name(vm.NextString().substr(0, kCardNameLimit));
  Display* d = FindDisplay(vm);
  if (!d) return;
  d->Device().wanted_card = name;
  ChangeToProgramMode(*d, d->Surfaces().software_renderer);
  if (d->Device().card_in_use != name) vm.RunError(kCardNotUsed);
}

void CmdAlwaysActiveOn(Vm& vm) {
  if (vm.runtime) vm.runtime->window.always_active = true;
}

void CmdAlwaysActiveOff(Vm& vm) {
  if (vm.runtime) vm.runtime->window.always_active = false;
}

void CmdDisableTnL(Vm& vm) {
  if (Display* d = FindDisplay(vm)) {
    d->Device().use_tnl = false;
    ChangeToProgramMode(*d, 0);
  }
}

void CmdEnableTnL(Vm& vm) {
  if (Display* d = FindDisplay(vm)) {
    d->Device().use_tnl = true;
    ChangeToProgramMode(*d, 0);
  }
}

void CmdEvictManagedTextures(Vm& vm) {
  if (Display* d = FindDisplay(vm)) d->Device3D().EvictManagedTextures();
}

// ---- Memory -----------------------------------------------------------------------------

template <int32_t Error>
void FreeVideoMemory(Vm& vm) {
  Slot result = vm.NextSlot();
  Display* d = FindDisplay(vm);
  if (!d) return;
  uint64_t free = 0;
  if (!d->Device().device ||
      platform::Failed(d->Device().device->GetAvailableMemory(platform::MemoryPool::kVideo,
                                                              nullptr, &free)))
    return vm.RunError(Error);
  vm.SetInt(result, ClampToInt(free));
}

void FnFreeSystemMemory(Vm& vm) {
  Slot result = vm.NextSlot();
  struct sysinfo info {};
  uint64_t free = 0;
  if (sysinfo(&info) == 0)
    free = (static_cast<uint64_t>(info.freeram) + info.freeswap) * info.mem_unit;
  vm.SetInt(result, ClampToInt(free));
}

void FnCurrentGraphicsCard(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  if (Display* d = FindDisplay(vm)) vm.SetString(result, d->Device().card_in_use);
}

// ---- The window -----------------------------------------------------------------------

void CmdWindowOn(Vm& vm) {
  Display* d = FindDisplay(vm);
  if (!d) return;
  d->SetFullScreenFlag(0);
  ChangeToProgramMode(*d, 0);
  WindowLayout& w = d->Layout();
  w.windowed = true;
  w.clear_borders = false;
  w.title.clear();
  w.show_state = show_state::kDefault;
  w.width = d->Surfaces().screen_width;
  w.height = d->Surfaces().screen_height;
  w.program_icon = false;
  w.frame_width = 8;
  w.caption_height = 19;
  w.x = w.frame_width / 2;
  w.y = w.caption_height + w.frame_width / 2;
  w.style = window_style::kOverlapped;
  d->ApplyWindowStyle(true, true);
}

void CmdWindowOff(Vm& vm) {
  Display* d = FindDisplay(vm);
  if (!d) return;
  WindowLayout& w = d->Layout();
  w.windowed = false;
  w.clear_borders = true;
  w.x = w.y = 0;
  w.title = "Zentrovex";
  w.show_state = show_state::kDefault;
  platform::DisplayMode desktop = d->Presenter().Desktop();
  w.width = desktop.width;
  w.height = desktop.height;
  w.program_icon = true;
  w.frame_width = w.caption_height = 0;
  w.style = window_style::kFullScreen;
  d->ApplyWindowStyle(true, true);
  d->SetFullScreenFlag(1);
  ChangeToProgramMode(*d, 0);
}

void CmdSetWindowLayout(Vm& vm) {
  int32_t style = vm.NextInt();
  int32_t caption = vm.NextInt();
  int32_t icon = vm.NextInt();
  Display* d = FindDisplay(vm);
  if (!d) return;
  WindowLayout& w = d->Layout();
  if (style == 1) {
    w.frame_width = 8;
    w.caption_height = 19;
    w.style = window_style::kOverlapped;
  } else {
    w.frame_width = w.caption_height = 0;
    w.style = window_style::kPopup;
  }
  if (caption == 1) {
    w.frame_width = 8;
    w.caption_height = 19;
    w.style |= window_style::kCaption;
  }
  w.program_icon = icon == 1;
  d->ApplyWindowStyle(true, true);
}

void CmdSetWindowPosition(Vm& vm) {
  int32_t x = vm.NextInt();
  int32_t y = vm.NextInt();
  if (Display* d = FindDisplay(vm)) {
    d->Layout().x = x;
    d->Layout().y = y;
    d->ApplyWindowStyle(true, true);
  }
}

void CmdSetWindowSize(Vm& vm) {
  int32_t width = vm.NextInt();
  int32_t height = vm.NextInt();
  if (Display* d = FindDisplay(vm)) {
    d->Layout().width = width;
    d->Layout().height = height;
    d->ApplyWindowStyle(true, true);
  }
}

void CmdSetWindowTitle(Vm& vm) {
  std::string title(vm.NextString());
  if (Display* d = FindDisplay(vm)) {
    d->Layout().title = std::move(title);
    d->ApplyWindowStyle(true, false);
  }
}

template <int32_t State>
void SetShowState(Vm& vm) {
  if (Display* d = FindDisplay(vm)) {
    d->Layout().show_state = State;
    d->ApplyWindowStyle(false, true);
  }
}

}  // namespace

void RegisterDisplayHandlers(HandlerTable& table) {
  table.Set(op::kChecklistDisplayModes, CmdChecklistDisplayModes);
  table.Set(op::kSetDisplayMode, CmdSetDisplayMode);
  table.Set(op::kScreenWidth, ScreenQuery<ScreenWidth>);
  table.Set(op::kScreenHeight, ScreenQuery<ScreenHeight>);
  table.Set(op::kScreenDepth, ScreenQuery<ScreenDepth>);
  table.Set(op::kScreenInVideoMemory, ScreenQuery<ScreenInVideoMemory>);
  table.Set(op::kScreenFps, ScreenQuery<ScreenFps>);
  table.Set(op::kScreenInvalid, ScreenQuery<ScreenInvalid>);
  table.Set(op::kDisplayModeAvailable, FnDisplayModeAvailable);

  table.Set(op::kLockPixels, CmdLockPixels);
  table.Set(op::kUnlockPixels, CmdUnlockPixels);
  table.Set(op::kPixelsPointer, FnPixelsPointer);
  table.Set(op::kPixelsWidth, LockQuery<&PixelLock::width>);
  table.Set(op::kPixelsHeight, LockQuery<&PixelLock::height>);
  table.Set(op::kPixelsDepth, LockQuery<&PixelLock::depth>);
  table.Set(op::kPixelsPitch, LockQuery<&PixelLock::pitch>);

  table.Set(op::kUseSoftwareRenderer, CmdUseSoftwareRenderer);
  table.Set(op::kUseHardwareRenderer, CmdUseHardwareRenderer);
  table.Set(op::kChecklistGraphicsCards, CmdChecklistGraphicsCards);
  table.Set(op::kSetGraphicsCard, CmdSetGraphicsCard);
  table.Set(op::kAlwaysActiveOn, CmdAlwaysActiveOn);
  table.Set(op::kAlwaysActiveOff, CmdAlwaysActiveOff);
  table.Set(op::kDisableTnL, CmdDisableTnL);
  table.Set(op::kEnableTnL, CmdEnableTnL);
  table.Set(op::kEvictManagedTextures, CmdEvictManagedTextures);
  table.Set(op::kFreeTextureMemory, FreeVideoMemory<kTextureMemoryFailed>);
  table.Set(op::kFreeVideoMemory, FreeVideoMemory<kVideoMemoryFailed>);
  table.Set(op::kFreeSystemMemory, FnFreeSystemMemory);
  table.Set(op::kSoftwareRenderer, ScreenQuery<SoftwareRenderer>);
  table.Set(op::kCurrentGraphicsCard, FnCurrentGraphicsCard);
  table.Set(op::kTnLInUse, ScreenQuery<TnLInUse>);

  table.Set(op::kWindowOn, CmdWindowOn);
  table.Set(op::kWindowOff, CmdWindowOff);
  table.Set(op::kSetWindowLayout, CmdSetWindowLayout);
  table.Set(op::kSetWindowPosition, CmdSetWindowPosition);
  table.Set(op::kSetWindowSize, CmdSetWindowSize);
  table.Set(op::kHideWindow, SetShowState<show_state::kHide>);
  table.Set(op::kShowWindow, SetShowState<show_state::kShow>);
  table.Set(op::kSetWindowTitle, CmdSetWindowTitle);
  table.Set(op::kMinimiseWindow, SetShowState<show_state::kMinimised>);
  table.Set(op::kMaximiseWindow, SetShowState<show_state::kMaximised>);
  table.Set(op::kRestoreWindow, SetShowState<show_state::kNormal>);

  RegisterBitmapHandlers(table);
  RegisterTextHandlers(table);
}

}  // namespace zv
