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

// The events waiting at `core`, as short texts.
std::vector<std::string> Events(SessionCore& core) {
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

std::span<const uint8_t> Text(const char* s) { return {reinterpret_cast<const uint8_t*>(s), std::strlen(s)}; }

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

// Machines numbered 0, 1, ... that reach each other as the transport
// would: a member's link to its host is kHostPeer at its end, every other
// end is 100 + the number of the machine it leads to, and a machine's
// address is its number.
class Machines {
 public:
  SessionCore& operator[](int m) { return cores_[m]; }

  void Host(int m, uint32_t flags) {
    cores_[m].StartHosting(kApp, SessionDescription{kInstance, "Arena", flags, 0, 8});
    cores_[m].CreateHostPlayer("host", true);
  }
  PlayerId Join(int m, int host, const std::string& player) {
    cores_[m].StartJoining(kApp, kInstance);
    Link(m, host);
    Carry();
    const uint32_t request = *cores_[m].RequestPlayer(player);
    Carry();
    return cores_[m].RequestAnswer(request).value_or(0);
  }
  // Machine `m` is gone; the machines linked to it notice unless `quietly`.
  void Vanish(int m, bool quietly = false) {
    cores_.erase(m);
    links_.erase(m);
    for (auto& [other, keys] : links_)
      for (auto it = keys.begin(); it != keys.end();)
        if (it->second == m) {
          const PeerKey key = it->first;
          it = keys.erase(it);
          if (!quietly) cores_[other].OnPeerGone(key);
        } else {
          ++it;
        }
    Follow();
  }
  // Only `m` sees its link to its host go.
  void LoseHostLink(int m) {
    links_[m].erase(SessionCore::kHostPeer);
    cores_[m].OnPeerGone(SessionCore::kHostPeer);
    Follow();
  }
  void Carry() {
    for (bool moved = true; moved;) {
      moved = false;
      for (auto& [m, core] : cores_)
        for (OutgoingPacket& p : core.TakeOutgoing()) {
          moved = true;
          auto to = links_[m].find(p.peer);
          if (to == links_[m].end() || !cores_.count(to->second)) continue;
          for (const auto& [key, back] : links_[to->second])
            if (back == m) cores_[to->second].OnPacket(key, p.bytes, p.guaranteed);
        }
      Follow();
    }
  }
  std::string Players(int m) {
    std::string out;
    for (const PlayerInfo& p : cores_[m].Players()) out += std::to_string(p.id) + p.name + " ";
    return out;
  }

 private:
  void Link(int member, int host) {
    links_[member][SessionCore::kHostPeer] = host;
    links_[host][100 + member] = member;
    cores_[host].OnPeerConnected(100 + member, MachineAddress{static_cast<uint32_t>(member), 0});
  }
  // Does what the transport does with each host change: a link to the
  // next host (a gone machine cannot be reached), or, for a machine that
  // took over, its link to the old host closed.
  void Follow() {
    for (auto& [m, core] : cores_)
      while (std::optional<SessionCore::HostChange> change = core.TakeHostChange()) {
        const auto old = links_[m].find(SessionCore::kHostPeer);
        if (old != links_[m].end()) {
          const int was = old->second;
          links_[m].erase(old);
          links_[was].erase(100 + m);
          if (cores_.count(was)) cores_[was].OnPeerGone(100 + m);
        }
        if (change->to_self) continue;
        const int next = static_cast<int>(change->address.host);
        if (!cores_.count(next)) {
          core.OnPeerGone(SessionCore::kHostPeer);
          continue;
        }
        Link(m, next);
        core.OnNewHostReached();
      }
  }

  std::map<int, SessionCore> cores_;
  std::map<int, std::map<PeerKey, int>> links_;  // at a machine: its links' other ends
};

TEST(HostMigration, TheFirstMemberTakesOverAndTheOthersComeBack) {
  Machines net;
  net.Host(0, kSessionMigrateHost);
  const PlayerId bob = net.Join(1, 0, "bob");
  const PlayerId eve = net.Join(2, 0, "eve");
  for (int m : {0, 1, 2}) Events(net[m]);
  net.Vanish(0);
  // The new host speaks before the other member is back: it gets it then.
  ASSERT_EQ(net[1].role(), SessionCore::Role::kHost);
  ASSERT_TRUE(net[1].Send(bob, kAllPlayers, Text("hello"), false));
  net.Carry();
  EXPECT_EQ(Events(net[1]), (std::vector<std::string>{"left 1", "host"}));
  const std::string b = std::to_string(bob), e = std::to_string(eve);
  EXPECT_EQ(Events(net[2]), (std::vector<std::string>{"left 1", "message " + b + ">0 hello"}));
  EXPECT_EQ(net[2].join_state(), SessionCore::JoinState::kWelcomed);
  EXPECT_EQ(net.Players(1), b + "bob " + e + "eve ");
  EXPECT_EQ(net.Players(2), net.Players(1));

  ASSERT_TRUE(net[2].Send(eve, bob, Text("thanks"), true));
  net.Carry();
  EXPECT_EQ(Events(net[1]), std::vector<std::string>{"message " + e + ">" + b + " thanks"});
  // New players get new ids; a newcomer finds the new host's game.
  const PlayerId zed = net.Join(3, 1, "zed");
  EXPECT_GT(zed, eve);
  EXPECT_EQ(Events(net[2]), std::vector<std::string>{"joined " + std::to_string(zed)});
}

TEST(HostMigration, WithoutTheFlagTheGameEndsWithItsHost) {
  for (uint32_t flags : {0u, kSessionClientServer}) {
    Machines net;
    net.Host(0, flags);
    const PlayerId bob = net.Join(1, 0, "bob");
    net.Join(2, 0, "eve");
    Events(net[1]);
    net.Vanish(0);
    EXPECT_EQ(Events(net[1]), std::vector<std::string>{"lost"}) << flags;
    EXPECT_EQ(net[1].role(), SessionCore::Role::kMember);
    EXPECT_FALSE(net[1].Send(bob, kAllPlayers, Text("x"), true));
  }
}

TEST(HostMigration, WhenTheNextHostIsGoneTooTheOneAfterTakesOver) {
  Machines net;
  net.Host(0, kSessionMigrateHost);
  const PlayerId bob = net.Join(1, 0, "bob");
  const PlayerId eve = net.Join(2, 0, "eve");
  const PlayerId zed = net.Join(3, 0, "zed");
  for (int m : {1, 2, 3}) Events(net[m]);
  net.Vanish(1, true);  // went with the host, unnoticed
  net.Vanish(0);
  net.Carry();
  const std::string b = std::to_string(bob);
  EXPECT_EQ(Events(net[2]), (std::vector<std::string>{"left 1", "left " + b, "host"}));
  EXPECT_EQ(Events(net[3]), (std::vector<std::string>{"left 1", "left " + b}));
  EXPECT_EQ(net.Players(3), std::to_string(eve) + "eve " + std::to_string(zed) + "zed ");
  EXPECT_EQ(net.Players(2), net.Players(3));
}

TEST(HostMigration, AMemberThatSawTheHostGoFirstMakesTheNextHostTakeOver) {
  Machines net;
  net.Host(0, kSessionMigrateHost);
  const PlayerId bob = net.Join(1, 0, "bob");
  net.Join(2, 0, "eve");
  const PlayerId zed = net.Join(3, 0, "zed");
  for (int m : {0, 1}) Events(net[m]);
  // A stranger that names a member but lacks its secret changes nothing.
  net[1].OnPeerConnected(500, MachineAddress{});
  net[1].OnPacket(500, wire::Encode(wire::Rejoin{kApp, kInstance, 3, 0, {}}), true);
  EXPECT_EQ(net[1].role(), SessionCore::Role::kMember);
  net.LoseHostLink(2);
  net.Carry();
  EXPECT_EQ(Events(net[1]), (std::vector<std::string>{"left 1", "host"}));
  EXPECT_EQ(net[2].join_state(), SessionCore::JoinState::kWelcomed);
  // The old host saw the new one leave.
  EXPECT_EQ(Events(net[0]), std::vector<std::string>{"left " + std::to_string(bob)});
  // Machine 3 stays with the old host and is given up; nobody comes back
  // as it without its secret, as a machine that is back already, or as
  // one the session never had.
  for (MachineId claimed : {3u, 2u, 9u})
    net[1].OnPacket(500, wire::Encode(wire::Rejoin{kApp, kInstance, claimed, 0, {{zed, "zed"}}}), true);
  net[1].StopAwaitingMembers();
  EXPECT_EQ(Events(net[1]), std::vector<std::string>{"left " + std::to_string(zed)});
  size_t refusals = 0;
  for (const OutgoingPacket& p : net[1].TakeOutgoing())
    if (p.peer == 500 && std::holds_alternative<wire::Refused>(*wire::Decode(p.bytes))) ++refusals;
  EXPECT_EQ(refusals, 3u);
}

}  // namespace
}  // namespace zv::platform
