#include "services/files/array_files.h"

#include <algorithm>

namespace zv::files {
namespace {

constexpr uint8_t kCr = 13;
constexpr uint8_t kLf = 10;

}  // namespace

std::vector<uint32_t> DecodeNumberArrayFile(std::span<const uint8_t> bytes, size_t count) {
  std::vector<uint32_t> elements(count, 0);
  const size_t words = std::min(count, bytes.size() / 4);
  for (size_t i = 0; i < words; ++i) {
    const uint8_t* b = bytes.data() + 4 * i;
    elements[i] = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  }
  return elements;
}

StringArrayLines DecodeStringArrayFile(std::span<const uint8_t> bytes, size_t count) {
  StringArrayLines lines;
  std::vector<std::string>& elements = lines.elements;
  elements.resize(count);
  const size_t n = bytes.size();
  const auto crlf_at = [&](size_t p) { return bytes[p] == kCr && p + 1 < n && bytes[p + 1] == kLf; };
  bool crlf_file = false;
  for (size_t p = 0; p < n && !crlf_file; ++p) crlf_file = crlf_at(p);
  const auto line_end_at = [&](size_t p) { return crlf_file ? crlf_at(p) : bytes[p] == kLf; };
  size_t p = 0;
  for (size_t e = 0; e < count && p < n; ++e) {
    const size_t start = p;
    while (p < n && !line_end_at(p)) ++p;
    std::string& text = elements[e];
    text.assign(reinterpret_cast<const char*>(bytes.data() + start), p - start);
    // A string holds no zero byte.
    std::erase(text, '\0');
    if (p < n) p += crlf_file ? 2 : 1;
  }
  lines.more = p < n;
  return lines;
}

std::optional<size_t> FirstElementWithLineEnd(std::span<const std::string_view> elements) {
  constexpr std::string_view kLineEnd = "\r\n";
  for (size_t i = 0; i < elements.size(); ++i)
    if (elements[i].find(kLineEnd) != std::string_view::npos) return i;
  return std::nullopt;
}

std::vector<uint8_t> EncodeNumberArrayFile(std::span<const uint32_t> elements) {
  std::vector<uint8_t> out;
  out.reserve(elements.size() * 4);
  for (uint32_t w : elements)
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(w >> shift));
  return out;
}

std::vector<uint8_t> EncodeStringArrayFile(std::span<const std::string_view> elements) {
  std::vector<uint8_t> out;
  for (std::string_view text : elements) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(kCr);
    out.push_back(kLf);
  }
  return out;
}

}  // namespace zv::files
