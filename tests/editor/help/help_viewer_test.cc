#include "editor/help/help_viewer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editor/help/help_pages.h"
#include "platform/surface/pixel_format.h"

namespace zv {
namespace {

using platform::Rect;

// What the viewer drew: each text with its position, ink and font.
struct DrawnText {
  std::string text;
  int32_t x = 0, y = 0;
  uint32_t ink = 0;
  int32_t size = 0;
  std::string face;
};

// Every character is half the font size wide, so positions can be worked
// out by hand.
class FakeFont final : public platform::Font {
 public:
  FakeFont(platform::FontRequest request, std::vector<DrawnText>* log) : request_(std::move(request)), log_(log) {
    metrics_ = {request_.height * 3 / 4, request_.height / 4, request_.height};
  }
  const platform::FontMetrics& Metrics() const override { return metrics_; }
  const std::string& Family() const override { return request_.face; }
  platform::Size Measure(std::string_view text) override {
    return {static_cast<int32_t>(text.size()) * CharWidth(), request_.height};
  }
  void Draw(platform::Surface&, int32_t x, int32_t y, std::string_view text,
            const platform::TextColours& colours) override {
    log_->push_back({std::string(text), x, y, colours.ink, request_.height, request_.face});
  }
  int32_t CharWidth() const { return request_.height / 2; }

 private:
  platform::FontRequest request_;
  platform::FontMetrics metrics_;
  std::vector<DrawnText>* log_;
};

class FakeTextService final : public platform::TextService {
 public:
  explicit FakeTextService(std::vector<DrawnText>* log) : log_(log) {}
  platform::FontPtr CreateFont(const platform::FontRequest& request) override {
    return std::make_shared<FakeFont>(request, log_);
  }
  std::vector<std::string> ListFamilies() override { return {}; }

 private:
  std::vector<DrawnText>* log_;
};

class HelpViewerTest : public ::testing::Test {
 protected:
  HelpViewerTest() : viewer_(std::make_unique<FakeTextService>(&drawn_)) {
    platform::SurfaceDesc desc;
    desc.width = 640;
    desc.height = 480;
    desc.format = platform::PixelFormat::Xrgb8888();
    screen_ = platform::Surface::Create(desc);
    viewer_.SetTarget(screen_);
    viewer_.Activate();
  }

  const std::vector<DrawnText>& Show(const std::string& page, const std::string& name = "page.htm") {
    viewer_.SetPage(name, page);
    return Redraw();
  }
  const std::vector<DrawnText>& Redraw() {
    drawn_.clear();
    viewer_.Draw();
    return drawn_;
  }
  uint32_t Pixel(uint32_t rgb) const {
    return platform::PackRgb(screen_->Format(), static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                             static_cast<uint8_t>(rgb));
  }

  std::vector<DrawnText> drawn_;
  platform::SurfacePtr screen_;
  HelpViewer viewer_;
};

constexpr int32_t kLine = 17;  // the default 16-pixel font plus one
constexpr int32_t kChar = 8;

TEST_F(HelpViewerTest, ParagraphsCentreAndBreakLines) {
  const auto& d = Show("<P ALIGN=CENTER>Title</P>Body<BR><BR>More");
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[0].text, "Title");
  EXPECT_EQ(d[0].x, (612 - 5 * kChar) / 2);
  EXPECT_EQ(d[0].y, 4 + kLine);
  EXPECT_EQ(d[1].text, "Body");
  EXPECT_EQ(d[1].x, 8);
  EXPECT_EQ(d[1].y, 4 + 2 * kLine);
  // Two breaks after text move two lines.
  EXPECT_EQ(d[2].y, d[1].y + 2 * kLine);

  // Breaks right after a paragraph add nothing; CENTER and /CENTER switch
  // centring, and text runs on one line are spaced by one space.
  const auto& e = Show("<P><BR><BR>One <CENTER>Two</CENTER><BR>Three four");
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].y, 4 + kLine);
  EXPECT_EQ(e[1].x, (612 - 3 * kChar) / 2);
  EXPECT_EQ(e[2].x, 8);
  EXPECT_EQ(e[2].y, 4 + 2 * kLine);
  EXPECT_EQ(e[2].text, "Three four");
}

TEST_F(HelpViewerTest, FontTagsInAnyCaseSetSizeFaceAndKnownColours) {
  const auto& d = Show(
      "<font size=5>a<FONT COLOR=RED>b<FONT COLOR=YELLOW>c<Font Size=2 Color=Black Face=\"Courier New\">d"
      "<FONT FACE=Times>e");
  ASSERT_EQ(d.size(), 5u);
  EXPECT_EQ(d[0].size, 20);
  EXPECT_EQ(d[0].ink, Pixel(0xFFFFFF));
  // An unknown colour keeps the colour; a FONT tag without SIZE goes back to 16.
  EXPECT_EQ(d[1].ink, Pixel(0xFFFFFF));
  EXPECT_EQ(d[1].size, 16);
  EXPECT_EQ(d[2].ink, Pixel(0xFFFA14));  // COLORREF 0x14FAFF
  // Every attribute of one tag applies, a quoted face keeps its blank.
  EXPECT_EQ(d[3].size, 8);
  EXPECT_EQ(d[3].ink, Pixel(0));
  EXPECT_EQ(d[3].face, "COURIER NEW");
  EXPECT_EQ(d[4].face, "TIMES");
  EXPECT_EQ(d[4].ink, Pixel(0));

  // A redraw starts from the same font as the first draw did.
  const std::vector<DrawnText> first = d;
  const auto& again = Redraw();
  ASSERT_EQ(again.size(), first.size());
  EXPECT_EQ(again[0].size, first[0].size);
  EXPECT_EQ(again[4].face, first[4].face);
}

TEST_F(HelpViewerTest, LongRunsBreakAtTheLastSpaceThatFits) {
  // 60 characters fit before the 8-pixel margin reaches 608 at 8 pixels each
  // (75); the words make the line break at the last space before that.
  std::string run;
  for (int i = 0; i < 20; ++i) run += "word" + std::to_string(i % 10) + " ";
  const auto& d = Show(run);
  ASSERT_GE(d.size(), 2u);
  EXPECT_LE(8 + static_cast<int32_t>(d[0].text.size()) * kChar, 608);
  EXPECT_NE(d[0].text.back(), ' ');
  EXPECT_EQ(d[1].x, 8);
  EXPECT_EQ(d[1].y, d[0].y + kLine);
  // No character is lost across the break, the space is not drawn.
  std::string joined;
  for (const DrawnText& t : d) joined += t.text + " ";
  EXPECT_EQ(joined, run);

  // A word that cannot fit after other text moves whole to the next line;
  // a word longer than a line is split, nothing dropped.
  const std::string long_word(100, 'x');
  const auto& e = Show("abc " + std::string(73, 'y') + "<BR>" + long_word);
  std::string all;
  for (const DrawnText& t : e) all += t.text;
  EXPECT_EQ(all, "abc" + std::string(73, 'y') + long_word);
  EXPECT_EQ(e[1].text, std::string(73, 'y'));
  EXPECT_EQ(e[1].x, 8);
  for (const DrawnText& t : e) EXPECT_LE(t.x + static_cast<int32_t>(t.text.size()) * kChar, 608);
}

TEST_F(HelpViewerTest, LinksAreUnderlinedGreenAndHitTested) {
  const auto& d = Show("Go <A HREF=\"next.htm\">there</A> now <a name=top>plain</a>");
  ASSERT_EQ(d.size(), 4u);
  EXPECT_EQ(d[1].ink, Pixel(0x00FF00));
  EXPECT_EQ(d[2].ink, Pixel(0xFFFFFF));
  const std::vector<HelpLink>& links = viewer_.Links();
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].target, "NEXT.HTM");
  EXPECT_EQ(links[0].rect.left, d[1].x);
  EXPECT_EQ(links[0].rect.top, 4);
  EXPECT_EQ(links[0].rect.bottom, 4 + 16);
  EXPECT_EQ(links[0].rect.right, d[1].x + 5 * kChar + kChar);
  EXPECT_EQ(links[1].target, "");
  ASSERT_NE(viewer_.LinkAt(d[1].x + 2, 10), nullptr);
  EXPECT_EQ(viewer_.LinkAt(d[1].x + 2, 10)->target, "NEXT.HTM");
  EXPECT_EQ(viewer_.LinkAt(2, 10), nullptr);
  // The underline is drawn in the link's colour below the text.
  EXPECT_EQ(screen_->PixelAt(d[1].x + 1, 4 + 12 + 1) & 0xFFFFFF, Pixel(0x00FF00) & 0xFFFFFF);

  // A link that starts near the right edge and wraps gets its rectangle on
  // the next line from x 0.
  const auto& w = Show(std::string(70, 'a') + " <A HREF=far.htm>a link that wraps</A>");
  ASSERT_EQ(viewer_.Links().size(), 1u);
  const Rect r = viewer_.Links()[0].rect;
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 4 + kLine);
  EXPECT_EQ(r.bottom, w.back().y + 16);
  EXPECT_GT(r.right, 8);
}

TEST_F(HelpViewerTest, ScrollingMovesTheTextAndTheFirstPageResumesFromItsRowCache) {
  std::string page;
  for (int i = 0; i < 100; ++i) page += "<A HREF=p" + std::to_string(i) + ".htm>line" + std::to_string(i) + "</A><BR>";

  // An ordinary page is laid out from the top, moved up by the scroll.
  EXPECT_EQ(Show(page).size(), 100u);
  EXPECT_EQ(viewer_.PageHeight(), 4 + 100 * kLine + 32);
  viewer_.SetScrollPosition(10 * kLine);
  const auto& s = Redraw();
  EXPECT_EQ(s[10].text, "line10");
  EXPECT_EQ(s[10].y, 4);
  // A known page stops once the pen is past the screen.
  EXPECT_EQ(s.size(), 40u);  // line 40 would start below y 512
  EXPECT_LE(s.back().y, 512 + kLine);

  // Close to the top nothing is resumed.
  Show(page, "INDEX.HTM");
  viewer_.SetScrollPosition(32);
  EXPECT_EQ(Redraw()[0].text, "line0");
  EXPECT_EQ(drawn_[0].y, 4 - 32);
}

TEST_F(HelpViewerTest, TheFirstPageDrawsFromItsRowCacheWhatADrawFromTheTopWould) {
  // Lines of changing heights, paragraphs, wrapped runs and links, so that
  // rows begin at every offset within the 32-pixel rows of the cache.
  std::string page;
  for (int i = 0; i < 60; ++i) {
    page += "<FONT SIZE=" + std::to_string(3 + i % 4) + ">text " + std::to_string(i);
    if (i % 3 == 0) page += "<P>";
    if (i % 5 == 0) page += " <A HREF=l" + std::to_string(i) + ".htm>link " + std::to_string(i) + "</A>";
    if (i % 7 == 0) page += " " + std::string(50, 'w') + " " + std::string(40, 'v');
    page += "<BR>";
  }
  // The first draw lays out the whole page from the top.
  const std::vector<DrawnText> whole = Show(page, "INDEX.HTM");
  const std::vector<HelpLink> whole_links = viewer_.Links();
  ASSERT_GT(viewer_.PageHeight(), 1400);
  auto visible = [](const std::vector<DrawnText>& texts, int32_t shift) {
    std::vector<std::string> shown;
    for (const DrawnText& t : texts)
      if (t.y - shift >= 0 && t.y - shift < HelpViewer::kVisibleHeight)
        shown.push_back(t.text + "@" + std::to_string(t.x) + "," + std::to_string(t.y - shift));
    return shown;
  };
  for (int32_t scroll : {0, 32, 160, 192, 384, 416, 448, 1024, 1056, 1344}) {
    viewer_.SetScrollPosition(scroll);
    const std::vector<DrawnText>& d = Redraw();
    EXPECT_EQ(visible(d, 0), visible(whole, scroll)) << "scroll " << scroll;
    for (const HelpLink& link : whole_links) {
      const int32_t y = link.rect.top - scroll + 1;
      if (y < 0 || y >= HelpViewer::kVisibleHeight) continue;
      const HelpLink* hit = viewer_.LinkAt(link.rect.left + 1, y);
      ASSERT_NE(hit, nullptr) << link.target << " at scroll " << scroll;
      EXPECT_EQ(hit->target, link.target);
    }
  }
}

TEST_F(HelpViewerTest, BackgroundEscapesAndActivation) {
  // Inactive, nothing is drawn.
  viewer_.Deactivate();
  screen_->SetPixelAt(0, 0, 0x123456);
  EXPECT_TRUE(Show("text").empty());
  EXPECT_EQ(screen_->PixelAt(0, 0), 0x123456u);

  viewer_.Activate();
  const auto& d = Show("a &lt;b&gt; &amp; &copy; <BR >c");
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].text, "a <b> & &copy;");
  // The tile covers the whole screen, seams included.
  EXPECT_NE(screen_->PixelAt(0, 0), 0x123456u);
  EXPECT_EQ(screen_->PixelAt(639, 479), screen_->PixelAt(159, 119));
  EXPECT_EQ(screen_->PixelAt(160, 0), screen_->PixelAt(0, 0));

  // Without a closing ">" the tag runs to the end of the page; bytes below
  // 32 between tokens are skipped and a lone CR inside text is a blank.
  EXPECT_TRUE(Show("<P").empty());
  const auto& c = Show("\r\n\tone\rtwo\r\nthree<FONT SIZE=");
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].text, "one two three");
}

TEST_F(HelpViewerTest, ALinkToAnEntryGivesWhereTheEntryBegins) {
  ASSERT_TRUE(viewer_.OpenPage("index.htm"));
  Redraw();
  // The last link of the start page leads to the last command from A to Z.
  ASSERT_TRUE(viewer_.OpenPage(viewer_.Links().back().target));
  EXPECT_FALSE(viewer_.TakePlacePosition());  // not laid out yet
  Redraw();
  const std::optional<int32_t> place = viewer_.TakePlacePosition();
  ASSERT_TRUE(place);
  EXPECT_FALSE(viewer_.TakePlacePosition());  // given once
  viewer_.SetScrollPosition(*place);
  const auto& shown = Redraw();
  ASSERT_FALSE(shown.empty());
  const auto heading = std::find_if(shown.begin(), shown.end(), [](const DrawnText& d) { return d.y >= 0; });
  ASSERT_NE(heading, shown.end());
  EXPECT_EQ(heading->y, 0);  // at the top of the shown part
  EXPECT_EQ(heading->size, 20);  // the entry's heading

  // A place the page does not have gives nothing.
  ASSERT_TRUE(viewer_.OpenPage("core.htm#nowhere"));
  Redraw();
  EXPECT_FALSE(viewer_.TakePlacePosition());
}

TEST_F(HelpViewerTest, BackAndForwardRetraceThePagesOpenedWhereTheyWereLeft) {
  auto shown = [&] { return viewer_.PageName() + "@" + std::to_string(viewer_.ScrollPosition()); };
  for (const char* page : {"index.htm", "core.htm", "math.htm", "no such page.htm"}) {
    viewer_.OpenPage(page);
    viewer_.SetScrollPosition(32);
  }
  ASSERT_TRUE(viewer_.GoBack() && viewer_.GoBack());
  EXPECT_EQ(shown(), "index.htm@32");
  EXPECT_FALSE(viewer_.GoBack());
  ASSERT_TRUE(viewer_.GoForward());
  // A page opened then leaves nothing ahead; put away, the viewer forgets.
  ASSERT_TRUE(viewer_.OpenPage("strings.htm") && viewer_.GoBack());
  EXPECT_EQ(shown(), "core.htm@32");
  EXPECT_TRUE(viewer_.GoForward() && !viewer_.CanGoForward());
  viewer_.Deactivate();
  EXPECT_FALSE(viewer_.CanGoBack());
}

TEST_F(HelpViewerTest, OpensBuiltInPagesByAnyCaseOfTheirName) {
  EXPECT_TRUE(viewer_.OpenPage("INDEX.HTM"));
  EXPECT_EQ(viewer_.PageName(), "index.htm");
  Redraw();
  ASSERT_FALSE(viewer_.Links().empty());
  // Every link of the start page opens a page that exists.
  for (const HelpLink& link : viewer_.Links()) EXPECT_NE(FindHelpFile(link.target), nullptr) << link.target;
  const std::string target = viewer_.Links().front().target;
  EXPECT_TRUE(viewer_.OpenPage(target));
  EXPECT_EQ(viewer_.ScrollPosition(), 0);
  EXPECT_FALSE(viewer_.OpenPage("no such page.htm"));
  EXPECT_FALSE(viewer_.OpenPage(".\\Index.kqa"));
  EXPECT_NE(FindHelpFile(".\\Index.HTM"), nullptr);
}

}  // namespace
}  // namespace zv
