#include "display/text_fonts.h"

#include <algorithm>
#include <cmath>
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
  platform::FontRequest request;
  request.face = state_.font_name;
  request.weight = state_.style >= 2 ? kBoldWeight : kNormalWeight;
  request.italic = state_.style == 1 || state_.style == 3;
  if (state_.charset != 0) {
    request.height = state_.size;
    request.charset = state_.charset;
    if (state_.charset != system_charset_) {
      system_charset_ = state_.charset;
      CreateSystemFont();
    }
  } else if (system_charset_ != 0) {
    // A point size, in the character set chosen last.
    request.height = has_back_buffer ? -MulDiv(state_.size, platform::kLogPixelsY, 72) : 0;
    request.charset = system_charset_;
  } else {
    request.height = state_.size;
  }
  text_font_ = service_->CreateFont(request);
}

void TextFonts::ChecklistFontFamilies(Checklist& list) {
  list.count = 0;
  list.values_valid = false;
  list.texts_valid = true;
  std::vector<std::string> listed;
  for (const std::string& family : service_->ListFamilies()) {
    if (list.count >= kFontChecklistLimit || list.count >= Checklist::kCapacity) break;
    std::string name = family.substr(0, kChecklistTextLimit);
    if (std::find(listed.begin(), listed.end(), name) != listed.end()) continue;
    list.entries[static_cast<size_t>(list.count)].text = name;
    listed.push_back(std::move(name));
    ++list.count;
  }
  list.made = list.count >= 1;
}

}  // namespace zv
