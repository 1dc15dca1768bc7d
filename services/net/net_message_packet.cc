#include "services/net/net_message_packet.h"

namespace zv {
namespace {

uint32_t ReadU32(std::span<const uint8_t> b) {
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> BuildNetPacket(uint32_t kind, std::span<const uint8_t> payload) {
  std::vector<uint8_t> packet;
  packet.reserve(kNetPacketHeaderBytes + payload.size());
  PutU32(packet, kind);
  PutU32(packet, static_cast<uint32_t>(payload.size()));
  packet.insert(packet.end(), payload.begin(), payload.end());
  return packet;
}

std::optional<NetPacketView> ParseNetPacket(std::span<const uint8_t> bytes) {
  if (bytes.size() < kNetPacketHeaderBytes) return std::nullopt;
  const uint32_t kind = ReadU32(bytes.first(4));
  const uint32_t size = ReadU32(bytes.subspan(4, 4));
  const std::span<const uint8_t> payload = bytes.subspan(kNetPacketHeaderBytes);
  if (size != payload.size()) return std::nullopt;
  if ((kind == net_kind::kInteger || kind == net_kind::kFloat) && size != 4) return std::nullopt;
  return NetPacketView{kind, payload};
}

}  // namespace zv
