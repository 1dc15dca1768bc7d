#include "platform/netsession/enet/link_gate.h"

#include <cstddef>
#include <cstring>

#include "platform/netsession/enet/enet_library.h"

namespace zv::platform {
namespace {

uint16_t BigEndian16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// Where a datagram's commands begin, after its header; nothing for one
// that ENet here cannot read (compressed: it takes none).
std::optional<size_t> CommandsStart(std::span<const uint8_t> bytes, uint16_t* peer_id) {
  if (bytes.size() < sizeof(enet_uint16)) return std::nullopt;
  const uint16_t field = BigEndian16(bytes.data());
  if (field & ENET_PROTOCOL_HEADER_FLAG_COMPRESSED) return std::nullopt;
  *peer_id = field & ~(ENET_PROTOCOL_HEADER_FLAG_MASK | ENET_PROTOCOL_HEADER_SESSION_MASK);
  return field & ENET_PROTOCOL_HEADER_FLAG_SENT_TIME ? sizeof(ENetProtocolHeader) : sizeof(enet_uint16);
}

// The bytes of data that follow a command of kind `command` at `at`.
size_t DataLength(uint8_t command, const uint8_t* at) {
  switch (command) {
    case ENET_PROTOCOL_COMMAND_SEND_RELIABLE:
      return BigEndian16(at + offsetof(ENetProtocolSendReliable, dataLength));
    case ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE:
      return BigEndian16(at + offsetof(ENetProtocolSendUnreliable, dataLength));
    case ENET_PROTOCOL_COMMAND_SEND_UNSEQUENCED:
      return BigEndian16(at + offsetof(ENetProtocolSendUnsequenced, dataLength));
    case ENET_PROTOCOL_COMMAND_SEND_FRAGMENT:
    case ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE_FRAGMENT:
      return BigEndian16(at + offsetof(ENetProtocolSendFragment, dataLength));
    default:
      return 0;
  }
}

// The handshake's last command of `peer`, VERIFY_CONNECT, which its other
// end has yet to acknowledge: sent, or back in the queue to be sent again.
const ENetOutgoingCommand* VerifyConnect(ENetPeer* peer) {
  for (ENetList* list : {&peer->sentReliableCommands, &peer->outgoingCommands})
    for (ENetListIterator it = enet_list_begin(list); it != enet_list_end(list); it = enet_list_next(it)) {
      const auto* command = reinterpret_cast<const ENetOutgoingCommand*>(it);
      if ((command->command.header.command & ENET_PROTOCOL_COMMAND_MASK) == ENET_PROTOCOL_COMMAND_VERIFY_CONNECT)
        return command;
    }
  return nullptr;
}

}  // namespace

std::optional<ENetProtocolConnect> ConnectRequest(std::span<const uint8_t> bytes) {
  uint16_t peer = 0;
  const std::optional<size_t> header = CommandsStart(bytes, &peer);
  if (!header || peer != ENET_PROTOCOL_MAXIMUM_PEER_ID) return std::nullopt;
  if (bytes.size() < *header + sizeof(ENetProtocolConnect)) return std::nullopt;
  ENetProtocolConnect connect;
  std::memcpy(&connect, bytes.data() + *header, sizeof connect);
  if ((connect.header.command & ENET_PROTOCOL_COMMAND_MASK) != ENET_PROTOCOL_COMMAND_CONNECT) return std::nullopt;
  return connect;
}

size_t WithoutGoodbyes(const ENetHost* host, std::span<uint8_t> bytes) {
  uint16_t peer = 0;
  const std::optional<size_t> header = CommandsStart(bytes, &peer);
  if (!header || peer >= host->peerCount || host->peers[peer].state != ENET_PEER_STATE_CONNECTED) return bytes.size();
  // ENet's own walk through the commands, to the first it cannot read.
  size_t end = bytes.size();
  bool dropped = false;
  for (size_t at = *header; at + sizeof(ENetProtocolCommandHeader) <= end;) {
    const uint8_t command = bytes[at] & ENET_PROTOCOL_COMMAND_MASK;
    if (command == ENET_PROTOCOL_COMMAND_NONE || command >= ENET_PROTOCOL_COMMAND_COUNT) break;
    const size_t size = Enet().enet_protocol_command_size(command);
    if (size == 0 || at + size > end) break;
    if (command == ENET_PROTOCOL_COMMAND_DISCONNECT) {
      std::memmove(bytes.data() + at, bytes.data() + at + size, end - at - size);
      end -= size;
      dropped = true;
      continue;
    }
    at += size + DataLength(command, bytes.data() + at);
  }
  if (!dropped) return bytes.size();
  return end > *header ? end : 0;
}

bool AcknowledgeHandshake(ENetHost* host) {
  uint16_t index = 0;
  const std::span<uint8_t> bytes(host->receivedData, host->receivedDataLength);
  const std::optional<size_t> header = CommandsStart(bytes, &index);
  if (!header || index >= host->peerCount) return false;
  ENetPeer* peer = &host->peers[index];
  const uint8_t session = (BigEndian16(bytes.data()) & ENET_PROTOCOL_HEADER_SESSION_MASK) >> ENET_PROTOCOL_HEADER_SESSION_SHIFT;
  if (peer->state != ENET_PEER_STATE_ACKNOWLEDGING_CONNECT || peer->address.host != host->receivedAddress.host ||
      peer->address.port != host->receivedAddress.port || session != peer->incomingSessionID)
    return false;
  // Only the other end's commands of a link that is up, none of them an
  // acknowledgement: one of the handshake would do without help.
  bool up = false;
  for (size_t at = *header; at + sizeof(ENetProtocolCommandHeader) <= bytes.size();) {
    const uint8_t command = bytes[at] & ENET_PROTOCOL_COMMAND_MASK;
    if (command == ENET_PROTOCOL_COMMAND_NONE || command >= ENET_PROTOCOL_COMMAND_COUNT) break;
    const size_t size = Enet().enet_protocol_command_size(command);
    if (size == 0 || at + size > bytes.size()) break;
    if (command == ENET_PROTOCOL_COMMAND_ACKNOWLEDGE || command == ENET_PROTOCOL_COMMAND_CONNECT ||
        command == ENET_PROTOCOL_COMMAND_VERIFY_CONNECT || command == ENET_PROTOCOL_COMMAND_DISCONNECT)
      return false;
    up = true;
    at += size + DataLength(command, bytes.data() + at);
  }
  const ENetOutgoingCommand* verify = VerifyConnect(peer);
  const size_t room = sizeof host->packetData[0] - bytes.size();
  if (!up || !verify || host->receivedData != host->packetData[0] || room < sizeof(ENetProtocolAcknowledge)) return false;
  ENetProtocolAcknowledge ack{};
  ack.header.command = ENET_PROTOCOL_COMMAND_ACKNOWLEDGE;
  ack.header.channelID = verify->command.header.channelID;
  ack.header.reliableSequenceNumber = verify->command.header.reliableSequenceNumber;
  ack.receivedReliableSequenceNumber = ENET_HOST_TO_NET_16(verify->reliableSequenceNumber);
  ack.receivedSentTime = ENET_HOST_TO_NET_16(static_cast<uint16_t>(verify->sentTime & 0xFFFF));
  std::memmove(bytes.data() + *header + sizeof ack, bytes.data() + *header, bytes.size() - *header);
  std::memcpy(bytes.data() + *header, &ack, sizeof ack);
  host->receivedDataLength += sizeof ack;
  return true;
}

bool LinkGate::TurnAway(ENetHost* host, uint64_t now) {
  const std::span<uint8_t> bytes(host->receivedData, host->receivedDataLength);
  if (std::optional<ENetProtocolConnect> connect = ConnectRequest(bytes)) return TurnAwayConnect(host, *connect, now);
  host->receivedDataLength = WithoutGoodbyes(host, bytes);
  if (host->receivedDataLength == 0) return true;
  AcknowledgeHandshake(host);
  return false;
}

bool LinkGate::TurnAwayConnect(ENetHost* host, const ENetProtocolConnect& connect, uint64_t now) {
  const ENetAddress& from = host->receivedAddress;
  if (!cookies_.Valid(ENET_NET_TO_HOST_32(connect.data), from.host, from.port, now)) return true;
  return !places_.Admit(host, connect.connectID, known_ && known_(from), now);
}

}  // namespace zv::platform
