#include "audio/library/formats/mpeg_info_frame.h"

#include <cstring>

#include "audio/library/formats/mpeg_header.h"

namespace zv {
namespace {

constexpr uint32_t kHasFrames = 1, kHasBytes = 2, kHasToc = 4, kHasQuality = 8;

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}

// Bytes of layer III side information by version and channels.
size_t SideInfoBytes(const MpegHeader& h) {
  if (h.lsf) return h.channels == 1 ? 9 : 17;
  return h.channels == 1 ? 17 : 32;
}

// Encoders that write their delay and padding into the extension.
bool KnownEncoder(const uint8_t* version) {
  for (const char* name : {"LAME", "Lavc", "Lavf", "GOGO"})
    if (std::memcmp(version, name, 4) == 0) return true;
  return false;
}

}  // namespace

std::optional<MpegInfoFrame> ReadMpegInfoFrame(std::span<const uint8_t> frame) {
  MpegHeader h;
  if (!ReadMpegHeader(frame, h) || h.layer != 3) return std::nullopt;
  size_t at = 4 + (h.crc_present ? 2u : 0u) + SideInfoBytes(h);
  if (frame.size() < at + 8) return std::nullopt;
  const uint8_t* tag = frame.data() + at;
  if (std::memcmp(tag, "Xing", 4) != 0 && std::memcmp(tag, "Info", 4) != 0) return std::nullopt;
  const uint32_t flags = Be32(tag + 4);
  at += 8;
  if (flags & kHasFrames) at += 4;
  if (flags & kHasBytes) at += 4;
  if (flags & kHasToc) at += 100;
  if (flags & kHasQuality) at += 4;
  MpegInfoFrame info;
  // The extension: a 9-byte encoder version, 12 bytes of levels and modes,
  // then the delay and the padding, 12 bits each.
  if (frame.size() >= at + 24 && KnownEncoder(frame.data() + at)) {
    const uint8_t* p = frame.data() + at + 21;
    info.delay = p[0] << 4 | p[1] >> 4;
    info.padding = (p[1] & 15) << 8 | p[2];
    info.gapless = true;
  }
  return info;
}

}  // namespace zv
