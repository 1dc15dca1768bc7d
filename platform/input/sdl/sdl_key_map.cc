#include <SDL_scancode.h>

#include "platform/input/key_codes.h"
#include "platform/input/sdl/sdl_input.h"

namespace zv::platform {
namespace {

struct KeyPair {
  SDL_Scancode sdl;
  uint8_t scan;
};

// Both name keys by their place on the keyboard, so the map holds whatever
// the layout.
constexpr KeyPair kKeys[] = {
    {SDL_SCANCODE_A, scan::kA}, {SDL_SCANCODE_B, scan::kB}, {SDL_SCANCODE_C, scan::kC},
    {SDL_SCANCODE_D, scan::kD}, {SDL_SCANCODE_E, scan::kE}, {SDL_SCANCODE_F, scan::kF},
    {SDL_SCANCODE_G, scan::kG}, {SDL_SCANCODE_H, scan::kH}, {SDL_SCANCODE_I, scan::kI},
    {SDL_SCANCODE_J, scan::kJ}, {SDL_SCANCODE_K, scan::kK}, {SDL_SCANCODE_L, scan::kL},
    {SDL_SCANCODE_M, scan::kM}, {SDL_SCANCODE_N, scan::kN}, {SDL_SCANCODE_O, scan::kO},
    {SDL_SCANCODE_P, scan::kP}, {SDL_SCANCODE_Q, scan::kQ}, {SDL_SCANCODE_R, scan::kR},
    {SDL_SCANCODE_S, scan::kS}, {SDL_SCANCODE_T, scan::kT}, {SDL_SCANCODE_U, scan::kU},
    {SDL_SCANCODE_V, scan::kV}, {SDL_SCANCODE_W, scan::kW}, {SDL_SCANCODE_X, scan::kX},
    {SDL_SCANCODE_Y, scan::kY}, {SDL_SCANCODE_Z, scan::kZ},

    {SDL_SCANCODE_1, scan::k1}, {SDL_SCANCODE_2, scan::k2}, {SDL_SCANCODE_3, scan::k3},
    {SDL_SCANCODE_4, scan::k4}, {SDL_SCANCODE_5, scan::k5}, {SDL_SCANCODE_6, scan::k6},
    {SDL_SCANCODE_7, scan::k7}, {SDL_SCANCODE_8, scan::k8}, {SDL_SCANCODE_9, scan::k9},
    {SDL_SCANCODE_0, scan::k0},

    {SDL_SCANCODE_RETURN, scan::kEnter},
    {SDL_SCANCODE_ESCAPE, scan::kEscape},
    {SDL_SCANCODE_BACKSPACE, scan::kBackspace},
    {SDL_SCANCODE_TAB, scan::kTab},
    {SDL_SCANCODE_SPACE, scan::kSpace},
    {SDL_SCANCODE_MINUS, scan::kMinus},
    {SDL_SCANCODE_EQUALS, scan::kEquals},
    {SDL_SCANCODE_LEFTBRACKET, scan::kLeftBracket},
    {SDL_SCANCODE_RIGHTBRACKET, scan::kRightBracket},
    {SDL_SCANCODE_BACKSLASH, scan::kBackslash},
    {SDL_SCANCODE_NONUSHASH, scan::kBackslash},  // the same place on ISO keyboards
    {SDL_SCANCODE_SEMICOLON, scan::kSemicolon},
    {SDL_SCANCODE_APOSTROPHE, scan::kApostrophe},
    {SDL_SCANCODE_GRAVE, scan::kGrave},
    {SDL_SCANCODE_COMMA, scan::kComma},
    {SDL_SCANCODE_PERIOD, scan::kPeriod},
    {SDL_SCANCODE_SLASH, scan::kSlash},
    {SDL_SCANCODE_CAPSLOCK, scan::kCapsLock},

    {SDL_SCANCODE_F1, scan::kF1}, {SDL_SCANCODE_F2, scan::kF1 + 1}, {SDL_SCANCODE_F3, scan::kF1 + 2},
    {SDL_SCANCODE_F4, scan::kF1 + 3}, {SDL_SCANCODE_F5, scan::kF1 + 4}, {SDL_SCANCODE_F6, scan::kF1 + 5},
    {SDL_SCANCODE_F7, scan::kF1 + 6}, {SDL_SCANCODE_F8, scan::kF1 + 7}, {SDL_SCANCODE_F9, scan::kF1 + 8},
    {SDL_SCANCODE_F10, scan::kF10}, {SDL_SCANCODE_F11, scan::kF11}, {SDL_SCANCODE_F12, scan::kF12},
    {SDL_SCANCODE_F13, scan::kF13}, {SDL_SCANCODE_F14, scan::kF14}, {SDL_SCANCODE_F15, scan::kF15},

    {SDL_SCANCODE_PRINTSCREEN, scan::kPrintScreen},
    {SDL_SCANCODE_SCROLLLOCK, scan::kScrollLock},
    {SDL_SCANCODE_PAUSE, scan::kPause},
    {SDL_SCANCODE_INSERT, scan::kInsert},
    {SDL_SCANCODE_HOME, scan::kHome},
    {SDL_SCANCODE_PAGEUP, scan::kPageUp},
    {SDL_SCANCODE_DELETE, scan::kDelete},
    {SDL_SCANCODE_END, scan::kEnd},
    {SDL_SCANCODE_PAGEDOWN, scan::kPageDown},
    {SDL_SCANCODE_RIGHT, scan::kRight},
    {SDL_SCANCODE_LEFT, scan::kLeft},
    {SDL_SCANCODE_DOWN, scan::kDown},
    {SDL_SCANCODE_UP, scan::kUp},

    {SDL_SCANCODE_NUMLOCKCLEAR, scan::kNumLock},
    {SDL_SCANCODE_KP_DIVIDE, scan::kKeypadDivide},
    {SDL_SCANCODE_KP_MULTIPLY, scan::kKeypadMultiply},
    {SDL_SCANCODE_KP_MINUS, scan::kKeypadMinus},
    {SDL_SCANCODE_KP_PLUS, scan::kKeypadPlus},
    {SDL_SCANCODE_KP_ENTER, scan::kKeypadEnter},
    {SDL_SCANCODE_KP_1, scan::kKeypad1}, {SDL_SCANCODE_KP_2, scan::kKeypad2},
    {SDL_SCANCODE_KP_3, scan::kKeypad3}, {SDL_SCANCODE_KP_4, scan::kKeypad4},
    {SDL_SCANCODE_KP_5, scan::kKeypad5}, {SDL_SCANCODE_KP_6, scan::kKeypad6},
    {SDL_SCANCODE_KP_7, scan::kKeypad7}, {SDL_SCANCODE_KP_8, scan::kKeypad8},
    {SDL_SCANCODE_KP_9, scan::kKeypad9}, {SDL_SCANCODE_KP_0, scan::kKeypad0},
    {SDL_SCANCODE_KP_PERIOD, scan::kKeypadPeriod},
    {SDL_SCANCODE_KP_EQUALS, scan::kKeypadEquals},
    {SDL_SCANCODE_KP_COMMA, scan::kKeypadComma},

    {SDL_SCANCODE_NONUSBACKSLASH, scan::kIsoBackslash},
    {SDL_SCANCODE_APPLICATION, scan::kMenu},
    {SDL_SCANCODE_POWER, scan::kPower},
    {SDL_SCANCODE_INTERNATIONAL1, scan::kRo},
    {SDL_SCANCODE_INTERNATIONAL2, scan::kKana},
    {SDL_SCANCODE_INTERNATIONAL3, scan::kYen},
    {SDL_SCANCODE_INTERNATIONAL4, scan::kConvert},
    {SDL_SCANCODE_INTERNATIONAL5, scan::kNoConvert},

    {SDL_SCANCODE_LCTRL, scan::kLeftControl},
    {SDL_SCANCODE_LSHIFT, scan::kLeftShift},
    {SDL_SCANCODE_LALT, scan::kLeftAlt},
    {SDL_SCANCODE_LGUI, scan::kLeftSystem},
    {SDL_SCANCODE_RCTRL, scan::kRightControl},
    {SDL_SCANCODE_RSHIFT, scan::kRightShift},
    {SDL_SCANCODE_RALT, scan::kRightAlt},
    {SDL_SCANCODE_RGUI, scan::kRightSystem},
};

struct ScanCodeTable {
  uint8_t codes[SDL_NUM_SCANCODES] = {};
  constexpr ScanCodeTable() {
    for (const KeyPair& k : kKeys) codes[k.sdl] = k.scan;
  }
};
constexpr ScanCodeTable kTable;

}  // namespace

uint8_t ScanCodeOfSdlScancode(int sdl_scancode) {
  if (sdl_scancode < 0 || sdl_scancode >= SDL_NUM_SCANCODES) return 0;
  return kTable.codes[sdl_scancode];
}

}  // namespace zv::platform
