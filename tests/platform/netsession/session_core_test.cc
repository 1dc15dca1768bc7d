// The session rules with the transport replaced by direct delivery: a host
// and members joined in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "platform/netsession/session_core.h"
#include "platform/netsession/session_wire.h"

namespace zv::platform {
namespace {

const Guid kApp = {1, 2, 3};
const Guid kInstance = {9, 9, 9};

// A host and its members, with every queued packet carried at once.
class SessionCoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.StartHosting(kApp, SessionDescription{kInstance, "Arena", 0, 0, 3});
    host_player = *host.CreateHostPlayer("host", true);
  }

  // Member `key` (1, 2, ...) asks to join.
  SessionCore& Join(PeerKey key, const Guid& instance = kInstance) {
    SessionCore& m = members[key];
    m.StartJoining(kApp, instance);
    Carry();
    return m;
  }

  PlayerId NewMemberPlayer(PeerKey key, const std::string& name) {
    const uint32_t request = *members[key].RequestPlayer(name);
    Carry();
    return members[key].RequestAnswer(request).value_or(0);
  }

  void Carry() {
    for (bool moved = true; moved;) {
      moved = false;
      for (OutgoingPacket& p : host.TakeOutgoing()) {
        moved = true;
        if (members.count(p.peer)) members[p.peer].OnPacket(SessionCore::kHostPeer, p.bytes, p.guaranteed);
      }
      for (auto& [key, member] : members)
        for (OutgoingPacket& p : member.TakeOutgoing()) {
          moved = true;
          host.OnPacket(key, p.bytes, p.guaranteed);
        }
    }
  }

  // The events waiting at `core`, as short texts.
  static std::vector<std::string> Events(SessionCore& core) {
    std::vector<std::string> out;
    while (std::optional<SessionEvent> e = core.TakeEvent()) {
      switch (e->type) {
        case SessionEvent::Type::kMessage:
          out.push_back("message " + std::to_string(e->from) + ">" + std::to_string(e->to) + " " +
                        std::string(e->data.begin(), e->data.end()));
          break;
        case SessionEvent::Type::kPlayerJoined: out.push_back("joined " + std::to_string(e->player)); break;
        case SessionEvent::Type::kPlayerLeft: out.push_back("left " + std::to_string(e->player)); break;
        case SessionEvent::Type::kSessionLost: out.push_back("lost"); break;
        case SessionEvent::Type::kBecameHost: out.push_back("host"); break;
      }
    }
    return out;
  }

  static std::span<const uint8_t> Text(const char* s) {
    return {reinterpret_cast<const uint8_t*>(s), std::strlen(s)};
  }

  SessionCore host;
  std::map<PeerKey, SessionCore> members;
  PlayerId host_player = 0;
};

TEST_F(SessionCoreTest, TheServerPlayerIsOneAndUnique) {
  EXPECT_EQ(host_player, kServerPlayer);
  EXPECT_FALSE(host.CreateHostPlayer("again", true));
  EXPECT_EQ(host.Description().current_players, 1u);
}

TEST_F(SessionCoreTest, AMemberIsWelcomedWithThePlayersSoFar) {
  SessionCore& m = Join(1);
  EXPECT_EQ(m.join_state(), SessionCore::JoinState::kWelcomed);
  ASSERT_EQ(m.Players().size(), 1u);
  EXPECT_EQ(m.Players()[0].name, "host");
  EXPECT_EQ(m.Description().max_players, 3u);
  const PlayerId id = NewMemberPlayer(1, "bob");
  EXPECT_GT(id, kServerPlayer);
  EXPECT_EQ(m.Players().size(), 2u);
  // The host hears of the new player; the member does not hear of its own.
  EXPECT_EQ(Events(host), std::vector<std::string>{"joined " + std::to_string(id)});
  EXPECT_TRUE(Events(m).empty());
}

TEST_F(SessionCoreTest, OthersHearOfNewAndDepartedPlayers) {
  Join(1);
  const PlayerId bob = NewMemberPlayer(1, "bob");
  Join(2);
  EXPECT_EQ(members[2].Players().size(), 2u);
  const PlayerId eve = NewMemberPlayer(2, "eve");
  EXPECT_EQ(Events(members[1]), std::vector<std::string>{"joined " + std::to_string(eve)});
  Events(host);
  ASSERT_TRUE(members[2].DestroyPlayer(eve));
  Carry();
  EXPECT_EQ(Events(members[1]), std::vector<std::string>{"left " + std::to_string(eve)});
  EXPECT_EQ(Events(host), std::vector<std::string>{"left " + std::to_string(eve)});
  // A member cannot remove another machine's player.
  EXPECT_FALSE(members[2].DestroyPlayer(bob));
}

TEST_F(SessionCoreTest, AFullSessionRefusesMembersAndPlayers) {
  Join(1);
  NewMemberPlayer(1, "b");
  NewMemberPlayer(1, "c");
  EXPECT_EQ(NewMemberPlayer(1, "d"), kAllPlayers);  // 3 of 3 taken
  EXPECT_EQ(Join(2).join_state(), SessionCore::JoinState::kFull);
  EXPECT_EQ(Join(3, Guid{7}).join_state(), SessionCore::JoinState::kWrongSession);
}

TEST_F(SessionCoreTest, MessagesReachTheirAddresseeOrEveryoneElse) {
  Join(1);
  Join(2);
  const PlayerId bob = NewMemberPlayer(1, "bob");
  const PlayerId eve = NewMemberPlayer(2, "eve");
  Events(host), Events(members[1]), Events(members[2]);

  ASSERT_TRUE(members[1].Send(bob, eve, Text("hi eve"), true));
  ASSERT_TRUE(members[1].Send(bob, kAllPlayers, Text("all"), false));
  ASSERT_TRUE(host.Send(host_player, bob, Text("to bob"), true));
  Carry();
  const std::string b = std::to_string(bob), e = std::to_string(eve);
  EXPECT_EQ(Events(members[2]), (std::vector<std::string>{"message " + b + ">" + e + " hi eve",
                                                          "message " + b + ">0 all"}));
  EXPECT_EQ(Events(host), std::vector<std::string>{"message " + b + ">0 all"});
  EXPECT_EQ(Events(members[1]), std::vector<std::string>{"message 1>" + b + " to bob"});
  // Only from this machine's players, only to players that exist.
  EXPECT_FALSE(members[1].Send(eve, bob, Text("x"), true));
  EXPECT_FALSE(members[1].Send(bob, 999, Text("x"), true));
}

TEST_F(SessionCoreTest, AMessageToAPlayerOfTheSameMachineStaysThere) {
  const PlayerId second = *host.CreateHostPlayer("second", false);
  ASSERT_TRUE(host.Send(host_player, second, Text("local"), true));
  EXPECT_TRUE(host.TakeOutgoing().empty());
  EXPECT_EQ(Events(host), std::vector<std::string>{"message 1>" + std::to_string(second) + " local"});
}

TEST_F(SessionCoreTest, AMemberCannotSpeakForAnotherMachine) {
  Join(1);
  Join(2);
  const PlayerId bob = NewMemberPlayer(1, "bob");
  Events(host);
  // Member 2 forges a message from bob and a removal of bob.
  host.OnPacket(2, wire::Encode(wire::Data{bob, 0, {1}}), true);
  host.OnPacket(2, wire::Encode(wire::DestroyPlayer{bob}), true);
  // A machine that never joined is not heard at all.
  host.OnPacket(9, wire::Encode(wire::CreatePlayer{1, "ghost"}), true);
  host.OnPacket(1, std::vector<uint8_t>{0xFF, 0xFF}, true);
  EXPECT_TRUE(Events(host).empty());
  EXPECT_EQ(host.Players().size(), 2u);
}

TEST_F(SessionCoreTest, AMachineThatGoesTakesItsPlayersAlong) {
  Join(1);
  const PlayerId bob = NewMemberPlayer(1, "bob");
  Join(2);
  Events(host);
  host.OnPeerGone(1);
  Carry();
  EXPECT_EQ(Events(host), std::vector<std::string>{"left " + std::to_string(bob)});
  EXPECT_EQ(Events(members[2]), std::vector<std::string>{"left " + std::to_string(bob)});
  EXPECT_EQ(host.Players().size(), 1u);
}

TEST_F(SessionCoreTest, LosingTheHostLosesTheSession) {
  SessionCore& m = Join(1);
  const PlayerId bob = NewMemberPlayer(1, "bob");
  m.OnPeerGone(SessionCore::kHostPeer);
  EXPECT_EQ(Events(m), std::vector<std::string>{"lost"});
  EXPECT_FALSE(m.Send(bob, kAllPlayers, Text("x"), true));
  EXPECT_TRUE(m.Players().empty());
}

TEST_F(SessionCoreTest, AProgramThatNeverReadsCannotBeFlooded) {
  Join(1);
  const PlayerId bob = NewMemberPlayer(1, "bob");
  Events(host);
  const std::vector<uint8_t> big(kMaxMessageBytes, 7);
  for (int i = 0; i < 6; ++i) members[1].Send(bob, kAllPlayers, big, true);
  Carry();
  size_t held = 0;
  while (std::optional<SessionEvent> e = host.TakeEvent()) held += e->data.size();
  EXPECT_LE(held, SessionCore::kMaxHeldBytes);
  EXPECT_GT(held, 0u);
}

}  // namespace
}  // namespace zv::platform
