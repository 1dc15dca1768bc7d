#include "platform/input/sdl/sdl_input.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/input/key_codes.h"
#include "platform/input/key_numbers.h"
#include "platform/window/sdl/sdl_window.h"

namespace zv::platform {
namespace {

struct KeyCase {
  SDL_Scancode sdl;
  uint8_t scan;
};

// The keys programs read, with the numbers they read them by.
TEST(SdlKeyMap, KeysProgramsUseGetTheirScanCodes) {
  const KeyCase cases[] = {
      {SDL_SCANCODE_A, 30},         {SDL_SCANCODE_Q, 16},          {SDL_SCANCODE_M, 50},
      {SDL_SCANCODE_Z, 44},         {SDL_SCANCODE_1, 2},           {SDL_SCANCODE_9, 10},
      {SDL_SCANCODE_0, 11},         {SDL_SCANCODE_UP, 200},        {SDL_SCANCODE_DOWN, 208},
      {SDL_SCANCODE_LEFT, 203},     {SDL_SCANCODE_RIGHT, 205},     {SDL_SCANCODE_SPACE, 57},
      {SDL_SCANCODE_RETURN, 28},    {SDL_SCANCODE_ESCAPE, 1},      {SDL_SCANCODE_LSHIFT, 42},
      {SDL_SCANCODE_RSHIFT, 54},    {SDL_SCANCODE_LCTRL, 29},      {SDL_SCANCODE_RCTRL, 157},
      {SDL_SCANCODE_LALT, 56},      {SDL_SCANCODE_RALT, 184},      {SDL_SCANCODE_F1, 59},
      {SDL_SCANCODE_F10, 68},       {SDL_SCANCODE_F11, 87},        {SDL_SCANCODE_F12, 88},
      {SDL_SCANCODE_KP_0, 82},      {SDL_SCANCODE_KP_1, 79},       {SDL_SCANCODE_KP_5, 76},
      {SDL_SCANCODE_KP_9, 73},      {SDL_SCANCODE_KP_ENTER, 156},  {SDL_SCANCODE_KP_DIVIDE, 181},
      {SDL_SCANCODE_KP_MULTIPLY, 55}, {SDL_SCANCODE_KP_MINUS, 74}, {SDL_SCANCODE_KP_PLUS, 78},
      {SDL_SCANCODE_KP_PERIOD, 83}, {SDL_SCANCODE_BACKSPACE, 14},  {SDL_SCANCODE_TAB, 15},
      {SDL_SCANCODE_HOME, 199},     {SDL_SCANCODE_END, 207},       {SDL_SCANCODE_PAGEUP, 201},
      {SDL_SCANCODE_PAGEDOWN, 209}, {SDL_SCANCODE_INSERT, 210},    {SDL_SCANCODE_DELETE, 211},
  };
  for (const KeyCase& c : cases)
    EXPECT_EQ(ScanCodeOfSdlScancode(c.sdl), c.scan) << SDL_GetScancodeName(c.sdl);
  EXPECT_EQ(ScanCodeOfSdlScancode(SDL_SCANCODE_F20), 0);
  EXPECT_EQ(ScanCodeOfSdlScancode(-1), 0);
  EXPECT_EQ(ScanCodeOfSdlScancode(SDL_NUM_SCANCODES), 0);
}

// Only the two names of the key beside Enter may share a code.
TEST(SdlKeyMap, NoTwoKeysShareAScanCode) {
  std::map<int, int> seen;
  for (int sdl = 0; sdl < SDL_NUM_SCANCODES; ++sdl) {
    const uint8_t code = ScanCodeOfSdlScancode(sdl);
    if (code == 0 || sdl == SDL_SCANCODE_NONUSHASH) continue;
    EXPECT_TRUE(seen.emplace(code, sdl).second)
        << SDL_GetScancodeName(static_cast<SDL_Scancode>(sdl)) << " and "
        << SDL_GetScancodeName(static_cast<SDL_Scancode>(seen[code])) << " share " << int{code};
  }
}

// A key found held in the keyboard state is the key the window's events
// name: every key the window numbers has a scan code that leads back to
// that number.
TEST(SdlKeyMap, EveryKeyTheWindowNumbersIsFoundByItsScanCode) {
  int numbered = 0;
  for (int sdl = 0; sdl < SDL_NUM_SCANCODES; ++sdl) {
    const int key_number = KeyNumberOfScancode(sdl);
    if (key_number == 0) continue;
    ++numbered;
    EXPECT_EQ(KeyNumberOfScanCode(ScanCodeOfSdlScancode(sdl)), key_number)
        << SDL_GetScancodeName(static_cast<SDL_Scancode>(sdl));
  }
  EXPECT_GT(numbered, 80);
  EXPECT_EQ(KeyNumberOfScanCode(0), 0);
}

// Every key a program can read that types a character has a number, so
// that a look at the key and what the key typed meet: those whose name is
// their character, the keypad's, the ISO key beside the left shift.
TEST(SdlKeyMap, EveryKeyThatTypesHasANumber) {
  int typing = 0;
  for (int sdl = 0; sdl < SDL_NUM_SCANCODES; ++sdl) {
    const std::string name = SDL_GetScancodeName(static_cast<SDL_Scancode>(sdl));
    const bool types = name.size() == 1 || (name.starts_with("Keypad ") && name.size() == 8) || name == "Space" ||
                       name == "Return" || name == "Tab" || name == "Backspace" || name == "Escape" ||
                       sdl == SDL_SCANCODE_NONUSBACKSLASH;
    if (!types || ScanCodeOfSdlScancode(sdl) == 0) continue;
    ++typing;
    EXPECT_NE(KeyNumberOfScancode(sdl), 0) << name;
  }
  EXPECT_GE(typing, 66);
}

class SdlInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    input = MakeSdlInput();
    if (!input->Open()) GTEST_SKIP() << "SDL's joystick system does not start here: " << SDL_GetError();
  }
  void TearDown() override {
    if (input) input->Close();
  }
  std::unique_ptr<InputSystem> input;
};

TEST_F(SdlInputTest, WithoutTheWindowThereIsNoKeyboardOrMouse) {
  if (SDL_WasInit(SDL_INIT_VIDEO)) GTEST_SKIP() << "a window is open";
  EXPECT_EQ(input->OpenKeyboard(), nullptr);
  EXPECT_EQ(input->OpenMouse(), nullptr);
}

// SDL's own virtual joystick stands in for a real one.
TEST_F(SdlInputTest, AJoystickReadsItsAxesHatsAndButtons) {
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_FLIGHT_STICK;
  desc.naxes = 3;
  desc.nbuttons = 4;
  desc.nhats = 1;
  desc.name = "Test Stick";
  const int index = SDL_JoystickAttachVirtualEx(&desc);
  ASSERT_GE(index, 0) << SDL_GetError();
  SDL_Joystick* handle = SDL_JoystickOpen(index);
  ASSERT_NE(handle, nullptr);

  std::vector<ControllerInfo> found;
  ASSERT_TRUE(input->ListControllers(ControllerClass::kJoystick, false, &found));
  const ControllerInfo* stick = nullptr;
  for (const ControllerInfo& c : found)
    if (c.product_name == "Test Stick") stick = &c;
  ASSERT_NE(stick, nullptr);
  EXPECT_FALSE(stick->force_feedback);
  ASSERT_TRUE(input->ListControllers(ControllerClass::kOther, false, &found));
  EXPECT_TRUE(found.empty());

  input->ListControllers(ControllerClass::kJoystick, false, &found);
  std::unique_ptr<Joystick> device = input->OpenJoystick(*stick);
  ASSERT_NE(device, nullptr);
  device->SetAxisRange(Axis::kX, -1000, 1000);
  ASSERT_TRUE(device->Acquire());
  SDL_JoystickSetVirtualAxis(handle, 0, 32767);
  SDL_JoystickSetVirtualAxis(handle, 1, -32768);
  SDL_JoystickSetVirtualButton(handle, 2, SDL_PRESSED);
  SDL_JoystickSetVirtualHat(handle, 0, SDL_HAT_LEFTUP);
  device->Poll();
  JoystickState state;
  ASSERT_TRUE(device->ReadState(&state));
  EXPECT_EQ(state.x, 1000);
  EXPECT_EQ(state.y, 0) << "the whole range, from its low end";
  EXPECT_EQ(state.rx, 0) << "an axis the stick lacks";
  EXPECT_EQ(state.buttons[2], kKeyHeld);
  EXPECT_EQ(state.buttons[0], 0);
  EXPECT_EQ(state.pov[0], 31500u);
  EXPECT_EQ(state.pov[1], kPovCentred);

  std::vector<EffectKind> kinds;
  EXPECT_TRUE(device->ListPeriodicKinds(&kinds));
  EXPECT_TRUE(kinds.empty());
  std::unique_ptr<ForceEffect> effect;
  EXPECT_EQ(device->CreateEffect({}, &effect), EffectResult::kFailed);

  device.reset();
  SDL_JoystickClose(handle);
  SDL_JoystickDetachVirtual(index);
}

}  // namespace
}  // namespace zv::platform
