#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/surface/rect.h"
#include "platform/surface/surface.h"
#include "platform/text/text_service.h"

namespace zv {

// A link as the last draw laid it out, in the target surface's pixels.
// A link that wrapped onto the next line starts at x 0 of that line.
struct HelpLink {
  platform::Rect rect;  // right and bottom exclusive
  std::string target;   // the HREF value, upper-cased like all tag text; may be empty
};

// Draws one help page, text with HTML-like tags, onto the editor's 640x480
// screen: a tiled background, word-wrapped text in the faces, sizes and
// colours its tags choose, centred paragraphs and underlined links, whose
// rectangles it keeps for hit tests.
//
// Tags (any case): BR, P [ALIGN=CENTER], /P, CENTER, /CENTER,
// FONT [FACE=name] [SIZE=n (4n pixels)] [COLOR=WHITE|BLACK|YELLOW],
// A HREF=target, A NAME=place, /A. Text may write "&lt;", "&gt;" and "&amp;".
//
// The first page ("index.htm") caches the layout state of every 32-pixel row
// on its first draw, so that later draws start a few rows above the visible
// part and draw exactly what a draw from the top would.
class HelpViewer {
 public:
  static constexpr int32_t kTop = 4;
  static constexpr int32_t kLeftMargin = 8;
  static constexpr int32_t kRowUnit = 32;
  static constexpr int32_t kVisibleHeight = 438;
  static constexpr int32_t kRightEdge = 608;
  static constexpr int32_t kCentreWidth = 612;
  static constexpr int32_t kTileWidth = 160;
  static constexpr int32_t kTileHeight = 120;
  static constexpr int32_t kScreenWidth = 640;
  static constexpr int32_t kScreenHeight = 480;
  static constexpr int32_t kDefaultFontSize = 16;
  static constexpr const char* kStartPage = "index.htm";

  // Text is drawn with fonts of `text` (null: the platform's own service).
  explicit HelpViewer(std::unique_ptr<platform::TextService> text = nullptr);
  ~HelpViewer();
  HelpViewer(const HelpViewer&) = delete;
  HelpViewer& operator=(const HelpViewer&) = delete;

  // The viewer draws only while active. Put away, it forgets the page it
  // showed and the pages before and after it.
  void Activate() { active_ = true; }
  void Deactivate();
  bool IsActive() const { return active_; }

  // Shows the built-in help page of that name (case and "\" versus "/" do
  // not matter, so a link's upper-cased target opens its page). False, with
  // the current page kept, when there is no such page. A name that ends in
  // "#place" asks for the page's <A NAME=place>: see TakePlacePosition.
  // The page left is the one GoBack shows again.
  bool OpenPage(std::string_view name);
  // Where the place asked for by OpenPage lies (page pixels), once, after
  // the draw that laid it out; nothing when the page has no such place.
  std::optional<int32_t> TakePlacePosition();
  // Shows `text` as the page `name`: the scroll position goes to the top and
  // the page height is learnt afresh on the next draw.
  void SetPage(std::string name, std::string text);
  const std::string& PageName() const { return page_name_; }
  bool HasPage() const { return !page_.empty(); }

  // The surface drawn on (the editor's page surface). Without a background
  // tile of its format one is made for it.
  void SetTarget(platform::SurfacePtr target);
  void SetBackgroundTile(platform::SurfacePtr tile) { tile_ = std::move(tile); }

  // Background, then the page laid out from the scroll position.
  void Draw();

  // Scroll position in pixels from the top of the page (never negative).
  int32_t ScrollPosition() const { return scroll_; }
  void SetScrollPosition(int32_t pixels) { scroll_ = pixels < 0 ? 0 : pixels; }
  // The height of the laid-out page plus one row unit; 0 until drawn once.
  int32_t PageHeight() const { return page_height_; }

  // The links of the last draw in page order, and the one under a point of
  // the target surface (null for none).
  const std::vector<HelpLink>& Links() const { return links_; }
  const HelpLink* LinkAt(int32_t x, int32_t y) const;

  // The pages OpenPage left, and those GoBack left: each goes back to the
  // page shown before or after, at the scroll position it was left at.
  bool CanGoBack() const { return !back_.empty(); }
  bool CanGoForward() const { return !forward_.empty(); }
  bool GoBack() { return Retrace(back_, forward_); }
  bool GoForward() { return Retrace(forward_, back_); }

 private:
  // Everything the layout needs to go on from a point of the first page as
  // if it had come there from the top; positions are in page pixels (the
  // pen's position at scroll 0).
  struct LayoutState {
    int32_t page_x = 0, page_y = 0;
    size_t read_position = 0;
    bool new_paragraph = false;
    bool centre = false;
    std::string face;
    uint32_t colour = 0, previous_colour = 0;
    int32_t size = 0, weight = 0;
    bool italic = false, underline = false;
    bool in_link = false;
    HelpLink link;  // the link being laid out, while in one
  };
  static constexpr size_t kCacheRows = 512;
  struct Visit {
    std::string page;
    int32_t scroll = 0;
  };

  // Shows the last visit of `from`, the page shown now going to `to`.
  bool Retrace(std::vector<Visit>& from, std::vector<Visit>& to);

  void DrawBackground();
  void BeginDraw();
  void EndDraw();
  void LayOut();
  bool ResumeFromRowCache();
  void CacheRowIfReached();
  LayoutState CurrentState() const;
  void RestoreState(const LayoutState& state);

  void DrawWrappedText(std::string_view run);
  void DrawTextRun(std::string_view text);
  void NewLine();
  void ApplyTag(std::string_view tag);
  void ApplyParagraphTag(std::string_view attributes);
  void ApplyFontTag(std::string_view attributes);
  void BeginLink(std::string_view attributes);
  void EndLink();

  void SetColour(uint32_t colorref);
  void RestorePreviousColour() { colour_ = previous_colour_; }
  void RemakeFont();
  int32_t MeasureWidth(std::string_view text);
  uint32_t TargetPixel(uint32_t colorref) const;
  bool IsFirstPage() const;

  std::unique_ptr<platform::TextService> text_service_;
  bool active_ = false;
  platform::SurfacePtr target_;
  platform::SurfacePtr tile_;

  int32_t page_height_ = 0;
  int32_t scroll_ = 0;
  std::string page_;
  std::string page_name_;
  size_t read_position_ = 0;

  platform::FontPtr font_;
  int32_t pen_x_ = 0, pen_y_ = 0;
  bool new_paragraph_ = true;
  bool centre_ = false;
  std::string face_ = "Arial";
  uint32_t colour_ = 0xFFFFFF, previous_colour_ = 0xFFFFFF;
  int32_t size_ = kDefaultFontSize;
  int32_t weight_ = 400;
  bool italic_ = false, underline_ = false;

  std::vector<HelpLink> links_;
  bool in_link_ = false;
  std::string place_;  // upper-cased, like the tag text it is found in
  std::optional<int32_t> place_y_;
  HelpLink pending_link_;

  std::vector<Visit> back_, forward_;

  std::array<LayoutState, kCacheRows> row_cache_{};
  size_t next_cache_row_ = 0;
};

}  // namespace zv
