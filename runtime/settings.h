#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/display_seam.h"

namespace zv {

class AttachedData;

// The two display choices handed from the settings to the display start.
struct DisplayChoices {
  bool full_screen = true;
  bool windowed = false;
};

// Window-mode states of the start-up.
namespace window_mode {
constexpr int32_t kFromSettings = 1;  // STARTUP gave the window's place and size
constexpr int32_t kStarting = 2;      // a game is starting: read the STARTUP keys
constexpr int32_t kPlaced = 3;        // the window has been placed from STARTUP
}  // namespace window_mode

// Settings read at start from SETUP.INI, the STARTUP section and the
// remembered display card.
struct Settings {
  int32_t blit_flip_mode = 0;
  int32_t overdraw_mode = 1;
  int32_t vb_create = 0;
  int32_t vb_usage = 0;
  int32_t overlay_3d = 0;
  bool debug_mode = false;
  bool trace_mode = false;
  bool runtime_test = false;

  int32_t window_mode_state = 0;
  int32_t window_left = 0;
  int32_t window_top = 0;
  int32_t window_width = 0;
  int32_t window_height = 0;

  // The display card: the cards found (at most five), the one chosen, and
  // the colour depth worked at.
  std::vector<std::string> cards;
  std::string chosen_card;
  int32_t working_depth = 16;
  // The one-time choice screen painted over the window: 1 choosing a card,
  // 2 showing what the probe found; showing stays set once it was shown.
  int32_t choice_screen_state = 0;
  bool choice_screen_showing = false;
  ProbeResult probe;
};

// Reads section SETTINGS of SETUP.INI in `app_folder` (RUNTIMETEST from the
// one in `current_folder`). Both folders end with "/". A setting that asks
// for a log deletes KQ.LOG in the current folder first.
void ReadSetupIni(Settings& settings, DisplayChoices& choices, const std::string& app_folder,
                  const std::string& current_folder);

// Reads section STARTUP of "setup.ini" (an attached copy first) while a game
// starts (window-mode state 2): WINDOW=1 makes the display windowed at
// WINPOSX, WINPOSY, WINSIZEX, WINSIZEY.
void ReadStartupSettings(Settings& settings, DisplayChoices& choices, AttachedData* attached,
                         const std::string& current_folder);

}  // namespace zv
