// The message layout: built as the peers expect it, refused when it lies.
#include <gtest/gtest.h>

#include "services/net/net_message_packet.h"

namespace zv {
namespace {

TEST(NetMessagePacket, ParsesWhatItBuilds) {
  const std::vector<uint8_t> payload = {'a', 'b', 'c', 0};
  const std::vector<uint8_t> packet = BuildNetPacket(net_kind::kString, payload);
  EXPECT_EQ(packet, (std::vector<uint8_t>{3, 0, 0, 0, 4, 0, 0, 0, 'a', 'b', 'c', 0}));
  std::optional<NetPacketView> view = ParseNetPacket(packet);
  ASSERT_TRUE(view);
  EXPECT_EQ(view->kind, net_kind::kString);
  EXPECT_EQ(std::vector<uint8_t>(view->payload.begin(), view->payload.end()), payload);
  EXPECT_TRUE(ParseNetPacket(BuildNetPacket(net_kind::kMemblock, {})));
}

TEST(NetMessagePacket, RefusesSizesThatDoNotMatchThePayload) {
  std::vector<uint8_t> packet = BuildNetPacket(net_kind::kMemblock, std::vector<uint8_t>(10, 1));
  for (size_t n = 0; n < packet.size(); ++n)
    EXPECT_FALSE(ParseNetPacket(std::span<const uint8_t>(packet.data(), n))) << n;
  packet.push_back(0);
  EXPECT_FALSE(ParseNetPacket(packet));
  packet = BuildNetPacket(net_kind::kMemblock, std::vector<uint8_t>(10, 1));
  packet[7] = 0x80;  // a size beyond any payload
  EXPECT_FALSE(ParseNetPacket(packet));
}

TEST(NetMessagePacket, NumbersCarryExactlyFourBytes) {
  EXPECT_FALSE(ParseNetPacket(BuildNetPacket(net_kind::kInteger, std::vector<uint8_t>{1, 2, 3})));
  EXPECT_FALSE(ParseNetPacket(BuildNetPacket(net_kind::kFloat, std::vector<uint8_t>(5, 0))));
  EXPECT_TRUE(ParseNetPacket(BuildNetPacket(net_kind::kFloat, std::vector<uint8_t>(4, 0))));
}

}  // namespace
}  // namespace zv
