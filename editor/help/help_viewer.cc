#include "editor/help/help_viewer.h"

#include <algorithm>
#include <utility>

#include "editor/help/help_background.h"
#include "editor/help/help_markup.h"
#include "editor/help/help_pages.h"
#include "platform/surface/blit.h"
#include "platform/surface/pixel_format.h"
#include "platform/text/mono_glyph.h"

namespace zv {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kLinkGreen = 0x00FF00;
// How far back from the longest fitting prefix a line break looks for a space.
constexpr size_t kMaxBreakSearch = 80;
// Lines above this are below the visible page: a known page stops there.
constexpr int32_t kLayoutStopY = 512;
// A resumed first page starts this many rows above the visible part.
constexpr int32_t kResumeRowsAbove = 5;

bool EndsWithFold(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  return UpperAscii(text.substr(text.size() - suffix.size())) == UpperAscii(suffix);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The nearest colour of an 8-bit surface's palette.
uint32_t NearestPaletteIndex(const platform::Palette& palette, uint8_t r, uint8_t g, uint8_t b) {
  int best = 0;
  int64_t best_distance = INT64_MAX;
  for (int i = 0; i < platform::Palette::kSize; ++i) {
    const platform::PaletteEntry& e = palette.Entry(i);
    const int64_t dr = e.red - r, dg = e.green - g, db = e.blue - b;
    const int64_t d = dr * dr + dg * dg + db * db;
    if (d < best_distance) {
      best_distance = d;
      best = i;
    }
  }
  return static_cast<uint32_t>(best);
}

// The text a run draws: a CR not after a CR becomes a space, everything up
// to the first visible character and all other control characters go, and
// so do trailing spaces.
std::string NormaliseRun(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool started = false;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && (i == 0 || text[i - 1] != '\r')) c = ' ';
    if (!started) {
      if (c <= 32) continue;
      started = true;
    }
    if (c < 32) continue;
    out += static_cast<char>(c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

HelpViewer::HelpViewer(std::unique_ptr<platform::TextService> text)
    : text_service_(text ? std::move(text) : platform::CreateTextService()) {}

HelpViewer::~HelpViewer() = default;

bool HelpViewer::OpenPage(std::string_view name) {
  const HelpFile* file = FindHelpFile(name);
  if (!file || !EndsWithFold(file->name, ".htm")) return false;
  // The name may be a link of the page being left, which SetPage frees.
  const size_t hash = name.find('#');
  std::string place = hash == std::string_view::npos ? std::string() : UpperAscii(name.substr(hash + 1));
  if (!page_name_.empty()) {
    back_.push_back({page_name_, scroll_});
    forward_.clear();
  }
  SetPage(std::string(file->name), std::string(file->data));
  place_ = std::move(place);
  return true;
}

bool HelpViewer::Retrace(std::vector<Visit>& from, std::vector<Visit>& to) {
  if (from.empty()) return false;
  const Visit visit = std::move(from.back());
  from.pop_back();
  const HelpFile* file = FindHelpFile(visit.page);
  if (!file) return false;
  to.push_back({page_name_, scroll_});
  SetPage(std::string(file->name), std::string(file->data));
  scroll_ = visit.scroll;
  return true;
}

void HelpViewer::Deactivate() {
  active_ = false;
  SetPage({}, {});
  back_.clear();
  forward_.clear();
}

std::optional<int32_t> HelpViewer::TakePlacePosition() {
  if (page_height_ == 0) return std::nullopt;
  place_.clear();
  return std::exchange(place_y_, std::nullopt);
}

void HelpViewer::SetPage(std::string name, std::string text) {
  page_name_ = std::move(name);
  page_ = std::move(text);
  read_position_ = 0;
  scroll_ = 0;
  page_height_ = 0;
  links_.clear();
  in_link_ = false;
  place_.clear();
  place_y_.reset();
  row_cache_ = {};
  next_cache_row_ = 0;
}

void HelpViewer::SetTarget(platform::SurfacePtr target) {
  target_ = std::move(target);
  if (target_ && (!tile_ || !(tile_->Format() == target_->Format())))
    tile_ = MakeHelpBackgroundTile(target_->Format(), target_->GetPalette());
}

const HelpLink* HelpViewer::LinkAt(int32_t x, int32_t y) const {
  for (const HelpLink& link : links_) {
    const platform::Rect& r = link.rect;
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return &link;
  }
  return nullptr;
}

void HelpViewer::Draw() {
  if (!active_ || !target_) return;
  DrawBackground();
  BeginDraw();
  LayOut();
  EndDraw();
}

void HelpViewer::DrawBackground() {
  if (!tile_) return;
  platform::Surface& target = *target_;
  for (int32_t j = 0; j < 4; ++j) {
    for (int32_t i = 0; i < 4; ++i) {
      const int32_t x = kTileWidth * i, y = kTileHeight * j;
      // Cut to the target, which may be smaller than the editor's screen.
      const int32_t w = std::min({kTileWidth, tile_->Width(), target.Width() - x});
      const int32_t h = std::min({kTileHeight, tile_->Height(), target.Height() - y});
      if (w <= 0 || h <= 0) continue;
      const platform::Rect source = platform::RectOfSize(w, h);
      target.BltFast(x, y, tile_.get(), &source, 0);
    }
  }
}

void HelpViewer::BeginDraw() {
  pen_y_ = kTop - scroll_;
  pen_x_ = kLeftMargin;
  colour_ = previous_colour_ = kWhite;
  face_ = "Arial";
  // Every draw starts from the same font, so a redraw looks like the first.
  size_ = kDefaultFontSize;
  weight_ = 400;
  italic_ = underline_ = false;
  in_link_ = false;
  RemakeFont();
}

void HelpViewer::EndDraw() {
  const int64_t bottom = int64_t{pen_y_} + scroll_ + kRowUnit;
  if (bottom > page_height_) page_height_ = static_cast<int32_t>(std::min<int64_t>(bottom, INT32_MAX));
  font_.reset();
}

bool HelpViewer::IsFirstPage() const { return EndsWithFold(page_name_, kStartPage); }

void HelpViewer::LayOut() {
  links_.clear();
  if (page_.empty()) return;
  new_paragraph_ = true;
  centre_ = false;
  read_position_ = 0;
  const bool first_page = IsFirstPage();
  if (first_page && page_height_ > 0) ResumeFromRowCache();
  for (;;) {
    if (first_page && page_height_ == 0) CacheRowIfReached();
    HelpToken token = NextHelpToken(page_, &read_position_);
    if (token.kind == HelpToken::Kind::kEnd) break;
    if (token.kind == HelpToken::Kind::kTag) {
      ApplyTag(token.text);
    } else {
      DrawWrappedText(token.text);
    }
    if (page_height_ > 0 && pen_y_ > kLayoutStopY) break;
  }
}

bool HelpViewer::ResumeFromRowCache() {
  // The latest row that lies at least kResumeRowsAbove rows above the
  // visible part: what it draws above the screen does not show.
  const int64_t limit = int64_t{scroll_} - kResumeRowsAbove * kRowUnit;
  int64_t row = std::min<int64_t>(limit / kRowUnit, static_cast<int64_t>(next_cache_row_) - 1);
  while (row >= 0 && row_cache_[static_cast<size_t>(row)].page_y > limit) --row;
  if (row < 0) return false;
  RestoreState(row_cache_[static_cast<size_t>(row)]);
  return true;
}

void HelpViewer::CacheRowIfReached() {
  const int64_t page_y = int64_t{pen_y_} + scroll_;
  if (page_y < 0) return;
  const int64_t row = page_y / kRowUnit;
  if (row >= static_cast<int64_t>(kCacheRows) || next_cache_row_ >= kCacheRows) return;
  if (static_cast<size_t>(row) < next_cache_row_) return;
  row_cache_[next_cache_row_++] = CurrentState();
}

HelpViewer::LayoutState HelpViewer::CurrentState() const {
  HelpLink link = pending_link_;
  link.rect.top += scroll_;
  return LayoutState{pen_x_, pen_y_ + scroll_, read_position_, new_paragraph_, centre_, face_, colour_,
                     previous_colour_, size_, weight_, italic_, underline_, in_link_, std::move(link)};
}

void HelpViewer::RestoreState(const LayoutState& state) {
  pen_x_ = state.page_x;
  pen_y_ = state.page_y - scroll_;
  read_position_ = state.read_position;
  new_paragraph_ = state.new_paragraph;
  centre_ = state.centre;
  face_ = state.face;
  colour_ = state.colour;
  previous_colour_ = state.previous_colour;
  size_ = state.size;
  weight_ = state.weight;
  italic_ = state.italic;
  underline_ = state.underline;
  in_link_ = state.in_link;
  pending_link_ = state.link;
  pending_link_.rect.top -= scroll_;
  RemakeFont();
}

void HelpViewer::NewLine() {
  pen_y_ += size_ + 1;
  pen_x_ = kLeftMargin;
}

void HelpViewer::DrawWrappedText(std::string_view run) {
  while (!run.empty()) {
    if (pen_x_ + MeasureWidth(run) < kRightEdge) {
      DrawTextRun(run);
      break;
    }
    // The longest prefix that fits, searched by halving steps.
    size_t pos = run.size() / 2, step = run.size() / 2;
    for (;;) {
      if (step >= 2) step /= 2;
      const bool fits = pen_x_ + MeasureWidth(run.substr(0, pos)) <= kRightEdge;
      if (step < 2 && fits) break;
      if (fits) {
        pos = std::min(pos + step, run.size() - 1);
      } else {
        pos = pos > step ? pos - step : 0;
      }
      if (pos == 0) break;
    }
    // Break at a space no more than kMaxBreakSearch characters back; the
    // space itself is not drawn.
    const size_t lowest = pos > kMaxBreakSearch ? pos - kMaxBreakSearch : 0;
    size_t cut = pos;
    while (cut > lowest && run[cut] != ' ') --cut;
    size_t rest;
    if (run[cut] == ' ') {
      rest = cut + 1;
    } else if (cut > 0) {
      rest = cut;
    } else if (pen_x_ > kLeftMargin) {
      rest = 0;  // nothing of it fits here: the whole run goes to the next line
    } else {
      cut = rest = std::max<size_t>(pos, 1);  // a word wider than a line is split
    }
    DrawTextRun(run.substr(0, cut));
    NewLine();
    run = run.substr(std::min(rest, run.size()));
  }
  new_paragraph_ = false;
}

void HelpViewer::DrawTextRun(std::string_view text) {
  const std::string visible = NormaliseRun(text);
  if (visible.empty()) return;
  const int32_t width = MeasureWidth(visible);
  const int32_t x = centre_ ? (kCentreWidth - width) / 2 : pen_x_;
  platform::Surface& target = *target_;
  const uint32_t ink = TargetPixel(colour_);
  font_->Draw(target, x, pen_y_, visible, platform::TextColours{ink, 0, false});
  if (underline_) {
    const int32_t y = pen_y_ + font_->Metrics().ascent + 1;
    platform::FillClipped(target, platform::Rect{x, y, x + width, y + 1}, ink);
  }
  pen_x_ = x + width + MeasureWidth(" ");
}

void HelpViewer::ApplyTag(std::string_view tag) {
  const std::string upper = UpperAscii(tag);
  const std::string_view text = upper;
  if (StartsWith(text, "BR") && !new_paragraph_) NewLine();
  if (StartsWith(text, "P")) ApplyParagraphTag(text.substr(1));
  if (StartsWith(text, "/P")) {
    NewLine();
    centre_ = false;
  }
  if (StartsWith(text, "CENTER")) centre_ = true;
  if (StartsWith(text, "/CENTER")) centre_ = false;
  if (StartsWith(text, "FONT ")) ApplyFontTag(text.substr(5));
  if (StartsWith(text, "A ")) BeginLink(text.substr(2));
  if (StartsWith(text, "/A") && in_link_) EndLink();
}

void HelpViewer::ApplyParagraphTag(std::string_view attributes) {
  size_t pos = 0;
  HelpAttribute attribute;
  while (ParseHelpAttribute(attributes, &pos, &attribute))
    if (attribute.name == "ALIGN") centre_ = attribute.value == "CENTER";
  NewLine();
  new_paragraph_ = true;
}

void HelpViewer::ApplyFontTag(std::string_view attributes) {
  size_ = kDefaultFontSize;
  size_t pos = 0;
  HelpAttribute attribute;
  while (ParseHelpAttribute(attributes, &pos, &attribute)) {
    if (attribute.name == "FACE") {
      face_ = attribute.value;
    } else if (attribute.name == "SIZE") {
      const int32_t n = std::clamp(std::atoi(attribute.value.c_str()), 0, 64);
      size_ = 4 * n;
    } else if (attribute.name == "COLOR") {
      const int64_t colour = HelpColourByName(attribute.value);
      if (colour >= 0) SetColour(static_cast<uint32_t>(colour));
    }
  }
  RemakeFont();
}

void HelpViewer::BeginLink(std::string_view attributes) {
  std::string target;
  size_t pos = 0;
  HelpAttribute attribute;
  while (ParseHelpAttribute(attributes, &pos, &attribute)) {
    if (attribute.name == "HREF") target = attribute.value;
    if (attribute.name == "NAME" && !place_.empty() && attribute.value == place_ && !place_y_)
      place_y_ = pen_y_ + scroll_;
  }
  underline_ = true;
  SetColour(kLinkGreen);
  pending_link_ = HelpLink{platform::Rect{pen_x_, pen_y_, 0, 0}, std::move(target)};
  in_link_ = true;
  RemakeFont();
}

void HelpViewer::EndLink() {
  underline_ = false;
  RestorePreviousColour();
  RemakeFont();
  platform::Rect& r = pending_link_.rect;
  r.right = pen_x_;
  if (r.left > r.right) {
    r.top += size_ + 1;
    r.left = 0;
  }
  r.bottom = pen_y_ + size_;
  in_link_ = false;
  links_.push_back(std::move(pending_link_));
  pending_link_ = HelpLink{};
}

void HelpViewer::SetColour(uint32_t colorref) {
  previous_colour_ = colour_;
  colour_ = colorref;
}

void HelpViewer::RemakeFont() {
  platform::FontRequest request;
  request.face = face_;
  request.height = size_;
  request.weight = weight_;
  request.italic = italic_;
  font_ = text_service_->CreateFont(request);
}

int32_t HelpViewer::MeasureWidth(std::string_view text) { return font_->Measure(text).width; }

uint32_t HelpViewer::TargetPixel(uint32_t colorref) const {
  const uint8_t r = static_cast<uint8_t>(colorref), g = static_cast<uint8_t>(colorref >> 8),
                b = static_cast<uint8_t>(colorref >> 16);
  const platform::PixelFormat& format = target_->Format();
  if (!format.indexed) return platform::PackRgb(format, r, g, b);
  const platform::Palette* palette = target_->GetPalette();
  return palette ? NearestPaletteIndex(*palette, r, g, b) : (r | g | b) ? 255u : 0u;
}

}  // namespace zv
