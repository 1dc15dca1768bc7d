#include "runtime/card_choice.h"

#include <cstdio>

#include "platform/paths/path_resolver.h"
#include "runtime/message_pump.h"
#include "runtime/vm/numeric/number_parse.h"

namespace zv {
namespace {

constexpr uint32_t kTitle = 0xFFC028;    // 255, 192, 40
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kPrompt = 0xF09614;   // 240, 150, 20
constexpr uint32_t kYes = 0xFFFF00;
constexpr uint32_t kNo = 0xFF0000;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kDarkGrey = 0x404040;

std::string Format(const char* format, auto... args) {
  char text[320];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

// Showing a window that is already on view brings no paint message, so the
// screen is painted as it is shown, and again on every paint message.
void ShowScreen(Settings& s, int32_t screen_state, RuntimeHost& host) {
  s.choice_screen_showing = true;
  s.choice_screen_state = screen_state;
  host.Window().Show();
  PaintCardChoiceScreen(s, host.Window().Placement(), host.Display());
}

// Waits for a digit from "1" to the card count; the first card when the
// run is asked to end meanwhile, so that closing the window cannot hang here.
std::string ChooseCardScreen(Settings& s, MessagePump& pump, RuntimeHost& host, RuntimeState& state) {
  if (s.cards.empty()) return kPrimaryCard;
  if (s.cards.size() == 1) return s.cards.front();
  ShowScreen(s, 1, host);
  for (;;) {
    pump.PumpMessagesSometimes();
    const int digit = state.console.last_key_char - '0';
    if (digit >= 1 && digit <= static_cast<int>(s.cards.size())) return s.cards[digit - 1];
    if (host.QuitPending()) return s.cards.front();
  }
}

void ShowProbeResult(Settings& s, const ProbeResult& probe, MessagePump& pump, RuntimeHost& host,
                     RuntimeState& state) {
  host.Clock().SleepMs(1000);
  pump.PumpMessagesSometimes();
  host.Clock().SleepMs(1000);
  s.probe = probe;
  ShowScreen(s, 2, host);
  state.console.last_key_char = 0;
  state.input.click_state = 0;
  while (state.console.last_key_char == 0 && state.input.click_state == 0 && !host.QuitPending())
    pump.PumpMessagesSometimes();
}

}  // namespace

void ChooseBest3DCard(Settings& s, const platform::UserState& user_state, DisplayServices& display,
                      MessagePump& pump, RuntimeHost& host) {
  RuntimeState& state = *pump.State();
  s.chosen_card = user_state.Read(kStateSection, "BEST3DCARD", "");
  s.cards = display.EnumerateDisplayCards();
  if (s.cards.size() > kMaxCards) s.cards.resize(kMaxCards);

  bool known = false;
  for (const std::string& card : s.cards) known = known || platform::EqualNoCase(card, s.chosen_card);
  if (known) {
    s.working_depth = ParseLeadingInt(user_state.Read(kStateSection, "BEST3DDEPTH", "16").substr(0, 7));
  } else if (platform::EqualNoCase(s.chosen_card, kAskForCard)) {
    s.chosen_card = ChooseCardScreen(s, pump, host, state);
    user_state.Write(kStateSection, "BEST3DCARD", s.chosen_card);
    ProbeResult probe = display.ProbeDisplay(s.chosen_card);
    s.working_depth = probe.depth;
    ShowProbeResult(s, probe, pump, host, state);
    user_state.Write(kStateSection, "BEST3DDEPTH", std::to_string(s.working_depth));
  }
  display.SetWantedCard(s.chosen_card);
}

CardScreen LayOutCardScreen(const Settings& s, int32_t client_width, int32_t client_height,
                            DisplayServices& display) {
  int32_t left = 20, top = 30, right = client_width - 20;
  int32_t bottom = client_height - (s.choice_screen_state == 1 ? 40 : 24);
  if (right - left > 300) {
    const int32_t cx = left + (right - left) / 2, cy = top + (bottom - top) / 2;
    left = cx - 150;
    right = cx + 150;
    top = cy - 100;
    bottom = cy + 100;
  }
  CardScreen screen;
  screen.boxes = {{left, top, right, bottom, kBlack},
                  {left + 2, top + 2, right - 2, bottom - 2, kDarkGrey},
                  {left + 4, top + 4, right - 4, bottom - 4, kBlack}};
  auto centred = [&](int32_t y, uint32_t colour, std::string text) {
    const int32_t x = left + (right - left) / 2 - display.WindowTextWidth(text) / 2;
    screen.texts.push_back({x, top + y, colour, std::move(text)});
  };

  if (s.choice_screen_state == 1) {
    const int32_t count = static_cast<int32_t>(s.cards.size());
    centred(16, kTitle, "MULTIPLE DISPLAY CARDS DETECTED");
    for (int32_t i = 0; i < count; ++i) centred(46 + 14 * i, kWhite, Format("%d. %s", i + 1, s.cards[i].c_str()));
    centred(68 + 14 * count, kTitle, Format("PLEASE SELECT KEYS 1 to %d", count));
    centred(82 + 14 * count, kTitle, "TO CHOOSE YOUR BEST CARD");
    centred(96 + 14 * count, kPrompt, "(THIS WINDOW ONLY APPEARS ONCE)");
    return screen;
  }

  const ProbeResult& p = s.probe;
  centred(16, kTitle, s.chosen_card);
  const std::string lines[4] = {
      p.supports_3d ? Format("Supports 3D at 640x480x%d", s.working_depth) : "Supports 3D at 640x480x16",
      "Supports Alphablending", "Supports Texture Filtering", "Supports Fogging"};
  const bool results[4] = {p.supports_3d, p.alpha_blending, p.texture_filtering, p.fogging};
  for (int i = 0; i < 4; ++i) {
    screen.texts.push_back({left + 16, top + 46 + 14 * i, kWhite, lines[i]});
    screen.texts.push_back({right - 48, top + 46 + 14 * i, results[i] ? kYes : kNo, results[i] ? "Yes" : "No"});
  }
  const bool all = p.supports_3d && p.alpha_blending && p.texture_filtering && p.fogging;
  const char* first = all ? "YOUR 3D CARD SUPPORTS" : p.supports_3d ? "YOU MAY EXPERIENCE SOME" : "YOUR GRAPHICS CARD IS NOT";
  const char* second = all ? "ALL BUILT-IN FEATURES" : p.supports_3d ? "LOSS IN VISUAL QUALITY" : "RECOMMENDED FOR HIGH-CONTENT 3D";
  centred(68 + 56, kTitle, first);
  centred(82 + 56, kTitle, second);
  centred(100 + 56, kPrompt, "PRESS ANY KEY");
  return screen;
}

void PaintCardChoiceScreen(const Settings& s, const platform::WindowRect& client, DisplayServices& display) {
  CardScreen screen = LayOutCardScreen(s, client.width, client.height, display);
  display.PaintWindow(client.width, client.height, screen.boxes, screen.texts);
}

}  // namespace zv
