#include "display/codecs/pixel_rows.h"

#include <cstring>

#if defined(__x86_64__) || defined(__SSE2__)
#include <immintrin.h>
#endif

namespace zv::codecs {
namespace {

uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Four pixels from three words at a time.
void ExpandBgrPortable(const uint8_t* in, uint8_t* out, int32_t count) {
  int32_t x = 0;
  for (; x + 4 <= count; x += 4, in += 12, out += 16) {
    const uint32_t a = Load32(in), b = Load32(in + 4), c = Load32(in + 8);
    Store32(out, a & 0xFFFFFFu);
    Store32(out + 4, a >> 24 | (b & 0xFFFFu) << 8);
    Store32(out + 8, b >> 16 | (c & 0xFFu) << 16);
    Store32(out + 12, c >> 8);
  }
  for (; x < count; ++x, in += 3, out += 4) Store32(out, in[0] | in[1] << 8 | static_cast<uint32_t>(in[2]) << 16);
}

#if defined(__x86_64__)
// Each step loads 16 bytes and uses 12, so it stops while 16 bytes of the
// row remain; the portable loop finishes the row.
__attribute__((target("ssse3"))) void ExpandBgrShuffled(const uint8_t* in, uint8_t* out, int32_t count) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  int32_t x = 0;
  for (; x + 6 <= count; x += 4, in += 12, out += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(v, spread));
  }
  ExpandBgrPortable(in, out, count - x);
}

bool HasShuffles() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}
#endif

}  // namespace

void ExpandBgrRow(const uint8_t* in, uint8_t* out, int32_t count) {
#if defined(__x86_64__)
  if (HasShuffles()) return ExpandBgrShuffled(in, out, count);
#endif
  ExpandBgrPortable(in, out, count);
}

void CopyBgrxRow(const uint8_t* in, uint8_t* out, int32_t count) {
  for (int32_t x = 0; x < count; ++x, in += 4, out += 4) Store32(out, Load32(in) & 0xFFFFFFu);
}

void InterleavePlanes(const uint8_t* blue, const uint8_t* green, const uint8_t* red, const uint8_t* fourth,
                      size_t count, uint8_t* out) {
  size_t i = 0;
#if defined(__SSE2__)
  // Sixteen pixels a step: bytes paired (blue with green, red with the
  // fourth), then the pairs paired.
  for (; i + 16 <= count; i += 16, out += 64) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + i));
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(green + i));
    const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + i));
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fourth + i));
    const __m128i bg_low = _mm_unpacklo_epi8(b, g), bg_high = _mm_unpackhi_epi8(b, g);
    const __m128i rf_low = _mm_unpacklo_epi8(r, f), rf_high = _mm_unpackhi_epi8(r, f);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(bg_low, rf_low));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(bg_low, rf_low));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm_unpacklo_epi16(bg_high, rf_high));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48), _mm_unpackhi_epi16(bg_high, rf_high));
  }
#endif
  for (; i < count; ++i, out += 4) {
    out[0] = blue[i], out[1] = green[i], out[2] = red[i], out[3] = fourth[i];
  }
}

}  // namespace zv::codecs
