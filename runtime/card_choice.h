#pragma once

#include "platform/userstate/user_state.h"
#include "platform/window/window.h"
#include "runtime/display_seam.h"
#include "runtime/settings.h"

namespace zv {

class MessagePump;
class RuntimeHost;

// The section of the user-state file that remembers the display card.
constexpr char kStateSection[] = "ZentrovexStateData";
// BEST3DCARD holding this asks the user once which card to use.
constexpr char kAskForCard[] = "**ask**";
constexpr char kPrimaryCard[] = "Primary Display Driver";
constexpr size_t kMaxCards = 5;

// Reads the remembered card and depth; on "**ask**" shows the choice screen,
// probes the chosen card and remembers both. Tells the display the card.
void ChooseBest3DCard(Settings& settings, const platform::UserState& user_state, DisplayServices& display,
                      MessagePump& pump, RuntimeHost& host);

// Paints the screen of the current choice state over the window.
void PaintCardChoiceScreen(const Settings& settings, const platform::WindowRect& client, DisplayServices& display);

// What that screen shows, for a client area of the given size.
struct CardScreen {
  std::vector<WindowBox> boxes;
  std::vector<WindowText> texts;
};
CardScreen LayOutCardScreen(const Settings& settings, int32_t client_width, int32_t client_height,
                            DisplayServices& display);

}  // namespace zv
