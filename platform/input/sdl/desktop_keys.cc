// The keys the X server holds down, for a keyboard whose window has lost
// the focus: SDL lets go of every key then, and once the focus is back it
// takes a key still held for up until it is pressed again.
#include <X11/keysym.h>

#include "platform/input/key_codes.h"
#include "platform/input/sdl/sdl_devices.h"
#include "platform/window/sdl/sdl_library.h"
#include "platform/window/sdl/x11_library.h"

namespace zv::platform::sdl_input {
namespace {

// The X servers of Linux desktops number each key as the kernel does, plus
// 8. The kernel numbers the keys of the main block by their scan codes;
// the others are these.
constexpr int kKernelOffset = 8;

struct KernelKey {
  int kernel;
  uint8_t scan;
};

constexpr KernelKey kOtherKeys[] = {
    {86, scan::kIsoBackslash},  {87, scan::kF11},         {88, scan::kF12},          {89, scan::kRo},
    {92, scan::kConvert},       {93, scan::kKana},        {94, scan::kNoConvert},    {96, scan::kKeypadEnter},
    {97, scan::kRightControl},  {98, scan::kKeypadDivide}, {99, scan::kPrintScreen}, {100, scan::kRightAlt},
    {102, scan::kHome},         {103, scan::kUp},         {104, scan::kPageUp},      {105, scan::kLeft},
    {106, scan::kRight},        {107, scan::kEnd},        {108, scan::kDown},        {109, scan::kPageDown},
    {110, scan::kInsert},       {111, scan::kDelete},     {116, scan::kPower},       {117, scan::kKeypadEquals},
    {119, scan::kPause},        {121, scan::kKeypadComma}, {124, scan::kYen},        {125, scan::kLeftSystem},
    {126, scan::kRightSystem},  {127, scan::kMenu},       {183, scan::kF13},         {184, scan::kF14},
    {185, scan::kF15},
};

uint8_t ScanCodeOfKernelKey(int kernel) {
  if (kernel >= scan::kEscape && kernel <= scan::kKeypadPeriod) return static_cast<uint8_t>(kernel);
  for (const KernelKey& key : kOtherKeys)
    if (key.kernel == kernel) return key.scan;
  return 0;
}

// Whether the server numbers its keys so: a server that does not is asked
// nothing, and its keys are all let go with the focus.
bool NumbersKeysAsTheKernel(Display* display) {
  const auto code_of = [display](KeySym key) { return X11().XKeysymToKeycode(display, key); };
  return code_of(XK_Escape) == 1 + kKernelOffset && code_of(XK_Up) == 103 + kKernelOffset &&
         code_of(XK_Control_R) == 97 + kKernelOffset;
}

Display* DisplayOf(Uint32 window_id) {
  SDL_Window* window = Sdl().SDL_GetWindowFromID(window_id);
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window == nullptr || !Sdl().SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
    return nullptr;
  return info.info.x11.display;
}

}  // namespace

std::optional<std::bitset<256>> KeysHeldOnDesktop(Uint32 window_id) {
  Display* display = DisplayOf(window_id);
  if (display == nullptr || !NumbersKeysAsTheKernel(display)) return std::nullopt;
  char keys[32] = {};
  X11().XQueryKeymap(display, keys);
  std::bitset<256> held;
  for (int keycode = kKernelOffset; keycode < 256; ++keycode)
    if (keys[keycode / 8] & (1 << (keycode % 8)))
      if (const uint8_t code = ScanCodeOfKernelKey(keycode - kKernelOffset)) held.set(code);
  return held;
}

}  // namespace zv::platform::sdl_input
