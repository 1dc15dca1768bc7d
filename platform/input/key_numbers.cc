#include "platform/input/key_numbers.h"

#include <array>

#include "platform/input/key_codes.h"
#include "platform/window/window.h"

namespace zv::platform {
namespace {

struct KeyPair {
  uint8_t scan_code;
  int key_number;
};

constexpr KeyPair kKeys[] = {
    {scan::kQ, 'Q'}, {scan::kW, 'W'}, {scan::kE, 'E'}, {scan::kR, 'R'}, {scan::kT, 'T'},
    {scan::kY, 'Y'}, {scan::kU, 'U'}, {scan::kI, 'I'}, {scan::kO, 'O'}, {scan::kP, 'P'},
    {scan::kA, 'A'}, {scan::kS, 'S'}, {scan::kD, 'D'}, {scan::kF, 'F'}, {scan::kG, 'G'},
    {scan::kH, 'H'}, {scan::kJ, 'J'}, {scan::kK, 'K'}, {scan::kL, 'L'}, {scan::kZ, 'Z'},
    {scan::kX, 'X'}, {scan::kC, 'C'}, {scan::kV, 'V'}, {scan::kB, 'B'}, {scan::kN, 'N'},
    {scan::kM, 'M'},
    {scan::k1, '1'}, {scan::k2, '2'}, {scan::k3, '3'}, {scan::k4, '4'}, {scan::k5, '5'},
    {scan::k6, '6'}, {scan::k7, '7'}, {scan::k8, '8'}, {scan::k9, '9'}, {scan::k0, '0'},
    {scan::kBackspace, key::kBackspace}, {scan::kTab, key::kTab},
    {scan::kEnter, key::kEnter}, {scan::kKeypadEnter, key::kEnter},
    {scan::kLeftShift, key::kShift}, {scan::kRightShift, key::kShift},
    {scan::kLeftControl, key::kControl}, {scan::kRightControl, key::kControl},
    {scan::kLeftAlt, key::kAlt}, {scan::kRightAlt, key::kAlt},
    {scan::kPause, 19}, {scan::kCapsLock, 20},
    {scan::kEscape, key::kEscape}, {scan::kSpace, key::kSpace},
    {scan::kPageUp, 33}, {scan::kPageDown, 34}, {scan::kEnd, 35}, {scan::kHome, 36},
    {scan::kLeft, key::kLeft}, {scan::kUp, key::kUp}, {scan::kRight, key::kRight}, {scan::kDown, key::kDown},
    {scan::kInsert, 45}, {scan::kDelete, key::kDelete},
    {scan::kKeypad0, 96}, {scan::kKeypad1, 97}, {scan::kKeypad2, 98}, {scan::kKeypad3, 99},
    {scan::kKeypad4, 100}, {scan::kKeypad5, 101}, {scan::kKeypad6, 102}, {scan::kKeypad7, 103},
    {scan::kKeypad8, 104}, {scan::kKeypad9, 105},
    {scan::kKeypadMultiply, 106}, {scan::kKeypadPlus, 107}, {scan::kKeypadMinus, 109},
    {scan::kKeypadPeriod, 110}, {scan::kKeypadDivide, 111}, {scan::kKeypadEquals, 146}, {scan::kKeypadComma, 108},
    {scan::kSemicolon, 186}, {scan::kEquals, 187}, {scan::kComma, 188}, {scan::kMinus, 189},
    {scan::kPeriod, 190}, {scan::kSlash, 191}, {scan::kGrave, 192}, {scan::kLeftBracket, 219},
    {scan::kBackslash, 220}, {scan::kYen, 220}, {scan::kRightBracket, 221}, {scan::kApostrophe, 222},
    {scan::kIsoBackslash, 226}, {scan::kRo, 226},
    {scan::kF1, key::kF1}, {scan::kF1 + 1, key::kF1 + 1}, {scan::kF1 + 2, key::kF1 + 2},
    {scan::kF1 + 3, key::kF1 + 3}, {scan::kF1 + 4, key::kF1 + 4}, {scan::kF1 + 5, key::kF1 + 5},
    {scan::kF1 + 6, key::kF1 + 6}, {scan::kF1 + 7, key::kF1 + 7}, {scan::kF1 + 8, key::kF1 + 8},
    {scan::kF10, key::kF1 + 9}, {scan::kF11, key::kF11}, {scan::kF12, key::kF12},
};

struct KeyNumberTable {
  std::array<int, 256> numbers{};
  constexpr KeyNumberTable() {
    for (const KeyPair& k : kKeys) numbers[k.scan_code] = k.key_number;
  }
};
constexpr KeyNumberTable kTable;

}  // namespace

int KeyNumberOfScanCode(uint8_t scan_code) { return kTable.numbers[scan_code]; }

}  // namespace zv::platform
