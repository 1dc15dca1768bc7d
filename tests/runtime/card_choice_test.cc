#include "runtime/card_choice.h"

#include "platform/paths/temp_folder.h"
#include "tests/runtime/runtime_fixture.h"

namespace zv {
namespace {

class CardDisplay : public test::RecordingDisplay {
 public:
  std::vector<std::string> EnumerateDisplayCards() override { return cards; }
  ProbeResult ProbeDisplay(const std::string& card) override {
    probed = card;
    return {32, true, true, false, true};
  }
  void SetWantedCard(const std::string& card) override { wanted = card; }
  void PaintWindow(int32_t, int32_t, const std::vector<WindowBox>&, const std::vector<WindowText>& texts) override {
    painted_titles.push_back(texts.empty() ? "" : texts.front().text);
  }
  std::vector<std::string> cards;
  std::string probed, wanted;
  std::vector<std::string> painted_titles;
};

class CardChoiceTest : public test::RuntimeTest {
 protected:
  CardChoiceTest() : user(platform::UserState::InFolder(folder.Path())) { host.SetDisplay(cards); }
  void Choose() { ChooseBest3DCard(state.settings, user, cards, pump, host); }

  platform::TempFolder folder;
  platform::UserState user;
  CardDisplay cards;
};

TEST_F(CardChoiceTest, ARememberedCardBringsItsDepth) {
  cards.cards = {"Card A", "Card B"};
  user.Write(kStateSection, "BEST3DCARD", "card b");
  user.Write(kStateSection, "BEST3DDEPTH", "24");
  Choose();
  EXPECT_EQ(state.settings.working_depth, 24);
  EXPECT_EQ(cards.wanted, "card b");
  EXPECT_TRUE(cards.probed.empty());
}

TEST_F(CardChoiceTest, AnUnknownCardIsLeftToTheDisplay) {
  cards.cards = {"Card A"};
  user.Write(kStateSection, "BEST3DCARD", "Gone Card");
  Choose();
  EXPECT_EQ(state.settings.working_depth, 16);
  EXPECT_EQ(cards.wanted, "Gone Card");
}

TEST_F(CardChoiceTest, AskChoosesByKeyProbesAndRemembers) {
  cards.cards = {"Card A", "Card B", "Card C", "Card D", "Card E", "Card F"};
  user.Write(kStateSection, "BEST3DCARD", "**ASK**");
  // A 6 chooses nothing (five cards are listed); a 2 chooses the second;
  // any key then closes the probe screen.
  window.Type("6", clock.NowMs());
  window.Type("2", clock.NowMs() + 1);
  window.Type("x", clock.NowMs() + 1500);  // due once the probe screen has waited its two seconds
  clock.Advance(1);
  Choose();
  EXPECT_EQ(state.settings.cards.size(), kMaxCards);
  EXPECT_EQ(cards.probed, "Card B");
  EXPECT_EQ(state.settings.working_depth, 32);
  EXPECT_EQ(user.Read(kStateSection, "BEST3DCARD", ""), "Card B");
  EXPECT_EQ(user.Read(kStateSection, "BEST3DDEPTH", ""), "32");
  EXPECT_EQ(state.settings.choice_screen_state, 2);
  // Each screen is painted as it is shown, not only when the window asks.
  EXPECT_EQ(cards.painted_titles, (std::vector<std::string>{"MULTIPLE DISPLAY CARDS DETECTED", "Card B"}));
}

TEST_F(CardChoiceTest, AskWithOneCardTakesItWithoutTheChoiceScreen) {
  cards.cards = {"Only"};
  user.Write(kStateSection, "BEST3DCARD", "**ask**");
  window.Type("x", clock.NowMs() + 1500);
  Choose();
  EXPECT_EQ(cards.probed, "Only");
  EXPECT_EQ(user.Read(kStateSection, "BEST3DCARD", ""), "Only");
}

TEST_F(CardChoiceTest, AskWithNoCardChoosesThePrimaryDisplay) {
  user.Write(kStateSection, "BEST3DCARD", "**ask**");
  window.Type("x", clock.NowMs() + 1500);
  Choose();
  EXPECT_EQ(cards.probed, kPrimaryCard);
}

TEST_F(CardChoiceTest, TheChoiceScreenListsTheCardsCentred) {
  state.settings.cards = {"Card A", "Card B"};
  state.settings.choice_screen_state = 1;
  CardScreen screen = LayOutCardScreen(state.settings, 640, 480, cards);
  ASSERT_EQ(screen.boxes.size(), 3u);
  // The box is shrunk to 300 by 200, centred in the client area less its margins.
  EXPECT_EQ(screen.boxes[0].right - screen.boxes[0].left, 300);
  EXPECT_EQ(screen.boxes[0].bottom - screen.boxes[0].top, 200);
  ASSERT_EQ(screen.texts.size(), 6u);
  EXPECT_EQ(screen.texts[1].text, "1. Card A");
  EXPECT_EQ(screen.texts[2].y - screen.texts[1].y, 14);
  EXPECT_EQ(screen.texts[3].text, "PLEASE SELECT KEYS 1 to 2");
  const int32_t centre = screen.boxes[0].left + 150;
  EXPECT_EQ(screen.texts[3].x, centre - cards.WindowTextWidth(screen.texts[3].text) / 2);
}

TEST_F(CardChoiceTest, TheProbeScreenSaysWhatTheCardLacks) {
  state.settings.choice_screen_state = 2;
  state.settings.chosen_card = "Card B";
  state.settings.working_depth = 32;
  state.settings.probe = {32, true, true, false, true};
  CardScreen screen = LayOutCardScreen(state.settings, 640, 480, cards);
  EXPECT_EQ(screen.texts[1].text, "Supports 3D at 640x480x32");
  EXPECT_EQ(screen.texts[6].text, "No");
  EXPECT_EQ(screen.texts[6].colour, 0xFF0000u);
  EXPECT_EQ(screen.texts[9].text, "YOU MAY EXPERIENCE SOME");
  EXPECT_EQ(screen.texts.back().text, "PRESS ANY KEY");
}

}  // namespace
}  // namespace zv
