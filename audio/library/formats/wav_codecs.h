#pragma once

#include <cstddef>
#include <cstdint>
#include <array>
#include <memory>
#include <vector>

namespace zv {

// Wave format tags the reader knows.
namespace wave_tag {
inline constexpr uint16_t kPcm = 0x0001;
inline constexpr uint16_t kMsAdpcm = 0x0002;
inline constexpr uint16_t kFloat = 0x0003;
inline constexpr uint16_t kALaw = 0x0006;
inline constexpr uint16_t kMuLaw = 0x0007;
inline constexpr uint16_t kImaAdpcm = 0x0011;
inline constexpr uint16_t kExtensible = 0xFFFE;
}  // namespace wave_tag

// The fields of a "fmt " chunk, with the extensible form resolved to the
// tag of its sub-format.
struct WaveFormat {
  uint16_t tag = 0;
  uint16_t channels = 0;
  uint32_t rate = 0;
  uint32_t bytes_per_second = 0;
  uint16_t block_align = 0;
  uint16_t bits = 0;
  std::vector<uint8_t> extra;  // the bytes after the extra-size field
};

// Reads a "fmt " chunk's bytes (at least 16).
bool ParseWaveFormat(const std::vector<uint8_t>& chunk, WaveFormat& format);

// Turns the data of a format that is not 8- or 16-bit PCM into 16-bit PCM
// of the same channels and rate: MS and IMA ADPCM, A-law, mu-law, float,
// and 24- and 32-bit PCM. Blocks are independent, so a stream may be
// decoded piece by piece when each piece holds whole blocks.
class WavDecoder {
 public:
  virtual ~WavDecoder() = default;
  // The PCM bytes that `source_bytes` of data decode to.
  virtual uint32_t DecodedSize(uint32_t source_bytes) const = 0;
  // Decodes the whole blocks of `source` (and a last partial one) into at
  // most `capacity` bytes of `destination`; the bytes written.
  virtual size_t Decode(const uint8_t* source, size_t source_bytes, uint8_t* destination, size_t capacity) = 0;
  // Source bytes that decode as a unit (the reader reads multiples of it).
  virtual uint32_t BlockAlign() const = 0;
};

// The decoder for a format, or null when it cannot become PCM (an unknown
// tag, more than two channels, damaged block sizes).
std::unique_ptr<WavDecoder> MakeWavDecoder(const WaveFormat& format);

}  // namespace zv
