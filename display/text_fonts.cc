#include "display/text_fonts.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>
#include <vector>

namespace zv {
namespace {

constexpr int32_t kNormalWeight = 400;
constexpr int32_t kBoldWeight = 700;
constexpr int32_t kSystemFontHeight = 10;

platform::FontRequest DefaultSystemFont() {
  platform::FontRequest request;
  request.face = "system";
  request.height = kSystemFontHeight;
  request.weight = kNormalWeight;
  return request;
}

}  // namespace

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  const double q = static_cast<double>(int64_t{a} * b) / c;
  return static_cast<int32_t>(std::clamp<double>(std::round(q), -INT32_MAX, INT32_MAX));
}

TextFonts::TextFonts(std::unique_ptr<platform::TextService> service) : service_(std::move(service)) {
  Reset(false);
}

void TextFonts::Reset(bool has_back_buffer) {
  state_ = TextState{};
  system_charset_ = 0;
  CreateSystemFont();
  CreateTextFont(has_back_buffer);
}

void TextFonts::CreateSystemFont() {
  platform::FontRequest request = DefaultSystemFont();
  if (system_charset_ != 0) {
    request.face = "fixedsys";
    request.height = -MulDiv(kSystemFontHeight, platform::kLogPixelsY, 72);
    request.charset = system_charset_;
  }
  system_font_ = service_->CreateFont(request);
}

platform::FontPtr TextFonts::WindowFont() { return service_->CreateFont(DefaultSystemFont()); }

void TextFonts::CreateTextFont(bool has_back_buffer) {
  const int32_t before = system_charset_;
  text_font_ = FontFor(state_, &system_charset_, has_back_buffer);
  if (system_charset_ != before) CreateSystemFont();
}

platform::FontPtr TextFonts::FontFor(const TextState& state, int32_t* system_charset, bool has_back_buffer) {
  platform::FontRequest request;
  request.face = state.font_name;
  request.weight = state.style >= 2 ? kBoldWeight : kNormalWeight;
  request.italic = state.style == 1 || state.style == 3;
  if (state.charset != 0) {
    request.height = state.size;
    request.charset = state.charset;
    *system_charset = state.charset;
  } else if (*system_charset != 0) {
    // A point size, in the character set chosen last.
    request.height = has_back_buffer ? -MulDiv(state.size, platform::kLogPixelsY, 72) : 0;
    request.charset = *system_charset;
  } else {
    request.height = state.size;
  }
  return service_->CreateFont(request);
}

bool ApplyTextRecord(const DrawRecord& r, TextState& state) {
  switch (r.type) {
    case draw_type::kTextFont:
      state.font_name = r.text.substr(0, kFontNameLimit);
      state.charset = r.x;
      return true;
    case draw_type::kTextSize: state.size = r.value; return true;
    case draw_type::kTextOpaque: state.opaque = 1; return false;
    case draw_type::kTextTransparent: state.opaque = 0; return false;
    case draw_type::kTextNormal:
    case draw_type::kTextItalic:
    case draw_type::kTextBold:
    case draw_type::kTextBoldItalic: state.style = static_cast<int16_t>(r.type - draw_type::kTextNormal); return true;
    default: return false;
  }
}

void TextFonts::ChecklistFontFamilies(Checklist& list) {
  list.count = 0;
  list.values_valid = false;
  list.texts_valid = true;
  // Every family, each once, in the order the system gives them.
  std::unordered_set<std::string> listed;
  for (const std::string& family : service_->ListFamilies()) {
    std::string name = family.substr(0, kChecklistTextLimit);
    if (!listed.insert(name).second) continue;
    list.At(static_cast<size_t>(list.count)).text = std::move(name);
    ++list.count;
  }
  list.made = list.count >= 1;
}

}  // namespace zv
