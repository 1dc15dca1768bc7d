#include "models/files/x_text_buffer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace zv::models {
namespace {

constexpr uint64_t kMillion = 1000000;

// "00" to "99", two characters each.
constexpr auto kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[static_cast<size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    pairs[static_cast<size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// Separators and line ends are a few characters: copied one by one, which
// beats a call to memcpy.
size_t Copy(std::string_view text, char* out) {
  for (size_t i = 0; i < text.size(); ++i) out[i] = text[i];
  return text.size();
}

// The decimal digits of `value` at `out`; the end of them.
char* WriteUnsigned(char* out, uint32_t value) {
  int digits = 1;
  for (uint64_t bound = 10; value >= bound; bound *= 10) ++digits;
  char* p = out + digits;
  while (value >= 100) {
    p -= 2;
    std::memcpy(p, &kDigitPairs[(value % 100) * 2], 2);
    value /= 100;
  }
  if (value >= 10)
    std::memcpy(out, &kDigitPairs[value * 2], 2);
  else
    *out = static_cast<char>('0' + value);
  return out + digits;
}

// Turns each number spelled with '#' in [begin, end) into zeros.
void RepairNumbers(char* begin, char* end) {
  const ptrdiff_t size = end - begin;
  for (ptrdiff_t p = 0; p < size; ++p) {
    if (begin[p] != '#') continue;
    for (ptrdiff_t offset : {-3, -2, 0, 1, 2, 3, 4})
      if (p + offset >= 0 && p + offset < size) begin[p + offset] = '0';
  }
}

// FormatFixed6, kept in this file so that the line writers can inline it.
inline size_t WriteFixed6(float value, char* out) {
  const uint32_t bits = std::bit_cast<uint32_t>(value);
  const uint32_t biased = (bits >> 23) & 0xFF;
  if (biased == 0xFF) {
    if ((bits & 0x7FFFFF) != 0) return Copy(bits >> 31 ? "-1.#IND00" : "1.#QNAN0", out);
    return Copy(bits >> 31 ? "-1.#INF00" : "1.#INF00", out);
  }
  // |value| x 10^6 is exact as a double (24 + 14 bits of mantissa); below
  // 2^52, adding and taking away 2^52 rounds it to a whole number, ties to
  // even. Larger values are rare enough to leave to the C library.
  const double magnitude = std::fabs(static_cast<double>(value)) * 1e6;
  if (!(magnitude < 0x1p52))
    return static_cast<size_t>(std::snprintf(out, 64, "%5.6f", static_cast<double>(value)));
  const auto millionths = static_cast<uint64_t>((magnitude + 0x1p52) - 0x1p52);
  char* p = out;
  *p = '-';
  p += bits >> 31;  // signs come in no order: no branch
  const uint64_t whole = millionths / kMillion;
  const auto fraction = static_cast<uint32_t>(millionths - whole * kMillion);
  if (whole < 10)
    *p++ = static_cast<char>('0' + whole);  // most numbers of a model
  else
    p = whole <= UINT32_MAX ? WriteUnsigned(p, static_cast<uint32_t>(whole)) : std::to_chars(p, out + 40, whole).ptr;
  *p++ = '.';
  const uint32_t high = fraction / 10000, low = fraction % 10000;
  std::memcpy(p, &kDigitPairs[high * 2], 2);
  std::memcpy(p + 2, &kDigitPairs[(low / 100) * 2], 2);
  std::memcpy(p + 4, &kDigitPairs[(low % 100) * 2], 2);
  return static_cast<size_t>(p + 6 - out);
}

}  // namespace

size_t FormatFixed6(float value, char* out) { return WriteFixed6(value, out); }

XTextBuffer::XTextBuffer(size_t expected, Sink sink)
    : text_(std::make_unique_for_overwrite<char[]>(std::max<size_t>(expected, 256) + (sink ? 4096 : 0))),
      capacity_(std::max<size_t>(expected, 256) + (sink ? 4096 : 0)),
      piece_(expected),
      sink_(std::move(sink)) {}

void XTextBuffer::HandOn() {
  if (sink_ && used_ > 0) sink_(View());
  used_ = 0;
}

void XTextBuffer::Grow(size_t count) {
  const size_t capacity = std::max(capacity_ * 2, used_ + count);
  auto grown = std::make_unique_for_overwrite<char[]>(capacity);
  std::memcpy(grown.get(), text_.get(), used_);
  text_ = std::move(grown);
  capacity_ = capacity;
}

XTextBuffer& XTextBuffer::Int(int64_t value) {
  char* at = Room(24);
  used_ += static_cast<size_t>(std::to_chars(at, at + 24, value).ptr - at);
  return *this;
}

XTextBuffer& XTextBuffer::Fixed(float value) {
  used_ += WriteFixed6(value, Room(64));
  return *this;
}

void XTextBuffer::FloatLine(std::initializer_list<float> values, std::string_view separator,
                            std::string_view end) {
  char* const start = Room(values.size() * (64 + separator.size()) + end.size() + 1);
  char* p = start;
  bool spelled_with_hash = false;
  for (const float* v = values.begin(); v != values.end(); ++v) {
    if (v != values.begin()) p += Copy(separator, p);
    spelled_with_hash |= !std::isfinite(*v);
    p += WriteFixed6(*v, p);
  }
  p += Copy(end, p);
  if (spelled_with_hash) RepairNumbers(start, p);
  *p++ = '\n';
  used_ += static_cast<size_t>(p - start);
  HandOnIfFull();
}

void XTextBuffer::FaceLine(uint32_t a, uint32_t b, uint32_t c, std::string_view end) {
  char* const start = Room(2 + 3 * 11 + end.size() + 1);
  char* p = start;
  *p++ = '3';
  *p++ = ';';
  p = WriteUnsigned(p, a);
  *p++ = ',';
  p = WriteUnsigned(p, b);
  *p++ = ',';
  p = WriteUnsigned(p, c);
  p += Copy(end, p);
  *p++ = '\n';
  used_ += static_cast<size_t>(p - start);
  HandOnIfFull();
}

}  // namespace zv::models
