#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zv {

// What every multiplayer message carries: a 4-byte kind, a 4-byte payload
// size and the payload, little-endian.
namespace net_kind {
constexpr uint32_t kInteger = 1;
constexpr uint32_t kFloat = 2;
constexpr uint32_t kString = 3;   // the characters and a terminating zero
constexpr uint32_t kMemblock = 4;
constexpr uint32_t kImage = 5;
constexpr uint32_t kBitmap = 6;
constexpr uint32_t kSound = 7;
constexpr uint32_t kMesh = 8;
}  // namespace net_kind

constexpr size_t kNetPacketHeaderBytes = 8;

std::vector<uint8_t> BuildNetPacket(uint32_t kind, std::span<const uint8_t> payload);

struct NetPacketView {
  uint32_t kind = 0;
  std::span<const uint8_t> payload;
};

// The packet's parts, or nothing when it cannot be believed: shorter than
// its header, a size field that does not match the bytes that came, or an
// integer or float without exactly its four bytes.
std::optional<NetPacketView> ParseNetPacket(std::span<const uint8_t> bytes);

}  // namespace zv
