// The session rules with the transport replaced by direct delivery: a host
// and members joined in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <set>

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

// The messages waiting at `core`, as "from>to text", in the order they came;
// the other events are passed over.
std::vector<std::string> Messages(SessionCore& core) {
  std::vector<std::string> out;
  while (std::optional<SessionEvent> e = core.TakeEvent())
    if (e->type == SessionEvent::Type::kMessage)
      out.push_back(std::to_string(e->from) + ">" + std::to_string(e->to) + " " +
                    std::string(e->data.begin(), e->data.end()));
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

  // Member `key` (1, 2, ...) asks to join with a player of that name.
  SessionCore& Join(PeerKey key, const std::string& player = "m", const Guid& instance = kInstance) {
    SessionCore& m = members[key];
    m.StartJoining(kApp, instance, player);
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

TEST_F(SessionCoreTest, AMemberIsWelcomedWithThePlayersSoFarAndItsOwn) {
  SessionCore& m = Join(1, "bob");
  EXPECT_EQ(m.join_state(), SessionCore::JoinState::kWelcomed);
  const PlayerId id = m.JoinedPlayer();
  EXPECT_GT(id, kServerPlayer);
  ASSERT_EQ(m.Players().size(), 2u);
  EXPECT_EQ(m.Players()[0].name, "host");
  EXPECT_EQ(m.Players()[1].name, "bob");
  EXPECT_EQ(m.Description().max_players, 3u);
  // The host hears of the new player; the member does not hear of its own.
  EXPECT_EQ(Events(host), std::vector<std::string>{"joined " + std::to_string(id)});
  EXPECT_TRUE(Events(m).empty());
}

TEST_F(SessionCoreTest, OthersHearOfNewAndDepartedPlayers) {
  const PlayerId bob = Join(1, "bob").JoinedPlayer();
  const PlayerId eve = Join(2, "eve").JoinedPlayer();
  EXPECT_EQ(members[2].Players().size(), 3u);
  EXPECT_EQ(Events(members[1]), std::vector<std::string>{"joined " + std::to_string(eve)});
  Events(host);
  ASSERT_TRUE(members[2].DestroyPlayer(eve));
  Carry();
  EXPECT_EQ(Events(members[1]), std::vector<std::string>{"left " + std::to_string(eve)});
  EXPECT_EQ(Events(host), std::vector<std::string>{"left " + std::to_string(eve)});
  // A member cannot remove another machine's player.
  EXPECT_FALSE(members[2].DestroyPlayer(bob));
}

// A session is full of players, or of machines. A machine joins with a
// player of its own, or not at all, and keeps its place from then on:
// between rounds (its players freed, new ones made later) no newcomer takes
// it, however long, nor while its link is gone and it may come back. One
// refused asks again on its link and is taken in once a place is free.
TEST_F(SessionCoreTest, AFullSessionRefusesMembersAndPlayers) {
  using State = SessionCore::JoinState;
  Join(1, "a");
  // A player without a name is made nowhere.
  host.OnPacket(1, wire::Encode(wire::CreatePlayer{7, ""}), true);
  EXPECT_FALSE(host.CreateHostPlayer("", false));
  NewMemberPlayer(1, "b");
  EXPECT_EQ(NewMemberPlayer(1, "c"), kAllPlayers);  // 3 of 3 taken
  for (PeerKey key : {2, 3, 4}) host.OnPeerConnected(key, MachineAddress{0x0100007F, static_cast<uint16_t>(key)});
  EXPECT_EQ(Join(2).join_state(), State::kFull);
  EXPECT_EQ(Join(3, "m", Guid{7}).join_state(), State::kWrongSession);
  EXPECT_EQ(Join(4, "").join_state(), State::kWrongSession);  // a join without a player
  // Only the link refused for want of a place asked as a player does.
  EXPECT_TRUE(host.AskedToJoin(2));
  EXPECT_FALSE(host.AskedToJoin(3) || host.AskedToJoin(4));

  members.clear();
  host.StartHosting(kApp, SessionDescription{kInstance, "Arena", kSessionMigrateHost, 0, 3});
  host.CreateHostPlayer("host", true);
  const MachineAddress at1{0x0101007F, 3001};
  host.OnPeerConnected(1, at1);
  const PlayerId a = Join(1, "a").JoinedPlayer();
  EXPECT_TRUE(host.HoldsPlace(1));
  EXPECT_TRUE(host.KnownMachineAt(at1));
  ASSERT_TRUE(members[1].DestroyPlayer(a));
  Carry();
  host.Tick(60000);
  EXPECT_EQ(Join(2).join_state(), State::kWelcomed);  // players 2 of 3, machines 3 of 3
  EXPECT_EQ(Join(3).join_state(), State::kFull);
  EXPECT_EQ(members[1].join_state(), State::kWelcomed);
  EXPECT_TRUE(host.HoldsPlace(1));
  EXPECT_NE(NewMemberPlayer(1, "next round"), kAllPlayers);
  host.OnPeerGone(1);
  EXPECT_EQ(Join(4).join_state(), State::kFull);
  ASSERT_TRUE(members[2].Leave());
  Carry();
  members[3].RetryJoin();
  Carry();
  EXPECT_EQ(members[3].join_state(), State::kWelcomed);
}

// A joiner that gave up its wait leaves with its proof: a host that took it
// in meanwhile lets it and its player go at once. A host that leaves tells
// a joiner it has not taken in yet, refused or not.
TEST_F(SessionCoreTest, AJoinerThatGaveUpIsLetGoAndOneWhoseHostLeftIsTold) {
  using State = SessionCore::JoinState;
  SessionCore& late = members[1];
  late.StartJoining(kApp, kInstance, "bob");
  for (OutgoingPacket& p : late.TakeOutgoing()) host.OnPacket(1, p.bytes, p.guaranteed);
  host.TakeOutgoing();  // its welcome, never read
  ASSERT_TRUE(late.Leave());
  Carry();
  EXPECT_EQ(Events(host), (std::vector<std::string>{"joined 2", "left 2"}));
  EXPECT_EQ(host.Players().size(), 1u);

  host.OnPeerConnected(2, MachineAddress{0x0100007F, 2});
  members[2].StartJoining(kApp, kInstance, "eve");
  members[2].TakeOutgoing();  // its Join, not there yet
  ASSERT_TRUE(host.Leave());
  Carry();
  EXPECT_EQ(members[2].join_state(), State::kHostLeft);
}

TEST_F(SessionCoreTest, MessagesReachTheirAddresseeOrEveryoneElse) {
  const PlayerId bob = Join(1, "bob").JoinedPlayer();
  const PlayerId eve = Join(2, "eve").JoinedPlayer();
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
  const PlayerId bob = Join(1, "bob").JoinedPlayer();
  Join(2, "eve");
  Events(host);
  // Member 2 forges a message from bob and a removal of bob.
  host.OnPacket(2, wire::Encode(wire::Data{2, 1, bob, 0, {1}}), true);
  host.OnPacket(2, wire::Encode(wire::DestroyPlayer{bob}), true);
  // A machine that never joined is not heard at all.
  host.OnPacket(9, wire::Encode(wire::CreatePlayer{1, "ghost"}), true);
  host.OnPacket(1, std::vector<uint8_t>{0xFF, 0xFF}, true);
  EXPECT_TRUE(Events(host).empty());
  EXPECT_EQ(host.Players().size(), 3u);
}

TEST_F(SessionCoreTest, AMachineThatGoesTakesItsPlayersAlong) {
  for (bool leaves : {true, false}) {
    SCOPED_TRACE(leaves ? "it says it leaves" : "its link goes");
    members.clear();
    SetUp();
    const PlayerId bob = Join(1, "bob").JoinedPlayer();
    const PlayerId eve = Join(2, "eve").JoinedPlayer();
    Events(host), Events(members[2]);
    if (leaves) {
      ASSERT_TRUE(members[1].Leave());
      Carry();
      EXPECT_EQ(host.TakeClosedLinks(), std::vector<PeerKey>{1});
    } else {
      host.OnPeerGone(1);
      Carry();
    }
    EXPECT_EQ(Events(host), std::vector<std::string>{"left " + std::to_string(bob)});
    EXPECT_EQ(Events(members[2]), std::vector<std::string>{"left " + std::to_string(bob)});
    EXPECT_EQ(host.Players().size(), 2u);
    EXPECT_TRUE(members[2].Send(eve, kAllPlayers, Text("x"), true));
  }
}

TEST_F(SessionCoreTest, LosingTheHostLosesTheSession) {
  for (bool leaves : {true, false}) {
    SCOPED_TRACE(leaves ? "it says it leaves" : "its link goes");
    members.clear();
    SetUp();
    SessionCore& m = Join(1, "bob");
    const PlayerId bob = m.JoinedPlayer();
    if (leaves) {
      ASSERT_TRUE(host.Leave());
      Carry();
    } else {
      m.OnPeerGone(SessionCore::kHostPeer);
    }
    EXPECT_EQ(Events(m), std::vector<std::string>{"lost"});
    EXPECT_FALSE(m.Send(bob, kAllPlayers, Text("x"), true));
    EXPECT_TRUE(m.Players().empty());
  }
}

TEST_F(SessionCoreTest, AProgramThatNeverReadsCannotBeFlooded) {
  const PlayerId bob = Join(1, "bob").JoinedPlayer();
  Events(host);
  const std::vector<uint8_t> big(kMaxMessageBytes, 7);
  for (int i = 0; i < 6; ++i) members[1].Send(bob, kAllPlayers, big, true);
  Carry();
  size_t held = 0;
  while (std::optional<SessionEvent> e = host.TakeEvent()) held += e->data.size();
  EXPECT_LE(held, SessionCore::kMaxHeldBytes);
  EXPECT_GT(held, 0u);
}

// Guaranteed messages are taken in their sender's order whatever order the
// links bring them in: one that comes early waits for those before it, and
// one that comes twice is taken once. A gap nobody fills within the wait
// costs the sender its place at the host (it finds the game lost), and
// ends the game for a member; each gap has its whole wait from when it
// began, not from an earlier one that was filled. The same at the host,
// which takes member 1's messages, and at member 2, which takes them from
// the host.
TEST_F(SessionCoreTest, GuaranteedMessagesAreTakenInTheSendersOrderOrNotAtAll) {
  struct Case {
    const char* what;
    std::vector<size_t> order;  // of the messages a, b, c as the link brings them
    const char* taken;          // at the receiver, within the wait
    bool gap;
    size_t late_from = 99;      // those from here on in `order` come 10 s later
    uint64_t wait = 15000;      // until a gap ends the game
  };
  uint64_t now = 0;
  for (bool at_host : {true, false})
    for (const Case& c : {Case{"in order", {0, 1, 2}, "abc", false}, Case{"the last first", {2, 0, 1}, "abc", false},
                          Case{"twice", {1, 0, 1, 0, 2, 2}, "abc", false}, Case{"b never", {0, 2}, "a", true},
                          Case{"a never", {1, 2}, "", true}, Case{"a late, b never", {2, 0}, "a", true, 1, 25000},
                          Case{"a and b late", {2, 0, 1}, "abc", false, 1}}) {
      SCOPED_TRACE(std::string(c.what) + (at_host ? " at the host" : " at a member"));
      host.StartHosting(kApp, SessionDescription{kInstance, "Arena", 0, 0, 3});
      host.CreateHostPlayer("host", true);
      members.clear();
      const PlayerId bob = Join(1, "bob").JoinedPlayer();
      Join(2, "eve");
      Events(host), Events(members[1]), Events(members[2]);
      now += 100000;
      for (SessionCore* core : {&host, &members[1], &members[2]}) core->Tick(now);
      for (const char* text : {"a", "b", "c"}) ASSERT_TRUE(members[1].Send(bob, kAllPlayers, Text(text), true));

      // The messages on the faulty link, from its sending end.
      SessionCore& from = at_host ? members[1] : host;
      SessionCore& to = at_host ? host : members[2];
      if (!at_host)  // the host takes them as sent, and hands them on
        for (OutgoingPacket& p : members[1].TakeOutgoing()) host.OnPacket(1, p.bytes, p.guaranteed);
      std::vector<OutgoingPacket> link;
      std::vector<OutgoingPacket> rest;
      for (OutgoingPacket& p : from.TakeOutgoing()) {
        std::optional<wire::Message> m = wire::Decode(p.bytes);
        const bool data = m && std::holds_alternative<wire::Data>(*m) && (at_host || p.peer == 2);
        (data ? link : rest).push_back(std::move(p));
      }
      ASSERT_EQ(link.size(), 3u);
      for (size_t k = 0; k < c.order.size(); ++k) {
        if (k == c.late_from) to.Tick(now + 10000);
        to.OnPacket(at_host ? 1 : SessionCore::kHostPeer, link[c.order[k]].bytes, true);
      }
      if (!at_host)
        for (OutgoingPacket& p : rest)
          if (members.count(p.peer)) members[p.peer].OnPacket(SessionCore::kHostPeer, p.bytes, p.guaranteed);
      Carry();
      auto taken = [](SessionCore& core) {
        std::string out;
        for (const std::string& m : Messages(core)) out += m.back();
        return out;
      };
      EXPECT_EQ(taken(to), c.taken);
      if (at_host) {
        EXPECT_EQ(taken(members[2]), c.taken);  // handed on only as taken
      }

      for (SessionCore* core : {&host, &members[1], &members[2]}) core->Tick(now + c.wait - 1);
      Carry();
      EXPECT_EQ(members[1].join_state(), SessionCore::JoinState::kWelcomed);
      EXPECT_EQ(members[2].join_state(), SessionCore::JoinState::kWelcomed);
      for (SessionCore* core : {&host, &members[1], &members[2]}) core->Tick(now + c.wait);
      Carry();
      const SessionCore::JoinState lost = SessionCore::JoinState::kLost, in = SessionCore::JoinState::kWelcomed;
      EXPECT_EQ(members[1].join_state(), c.gap && at_host ? lost : in);
      EXPECT_EQ(members[2].join_state(), c.gap && !at_host ? lost : in);
      EXPECT_EQ(host.Players().size(), c.gap && at_host ? 2u : 3u);  // a member that lost the game leaves by its link
    }
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
    cores_[m].StartJoining(kApp, kInstance, player);
    Link(m, host);
    Carry();
    return cores_[m].JoinedPlayer();
  }
  // A game whose host can move, hosted by machine 0, with a member for each
  // name, joined in order as machines 1, 2, ...; what they heard so far is
  // taken. The members' players, in the same order.
  std::vector<PlayerId> Game(std::initializer_list<const char*> names) {
    Host(0, kSessionMigrateHost);
    std::vector<PlayerId> players;
    for (const char* name : names) players.push_back(Join(static_cast<int>(players.size()) + 1, 0, name));
    for (auto& [m, core] : cores_) Events(core);
    return players;
  }
  // Machine `m` is gone; the machines linked to it notice (having heard
  // its proved goodbye when it left, not crashed) unless `quietly`.
  void Vanish(int m, bool quietly = false, bool goodbye = true) {
    if (goodbye && !quietly) {
      ASSERT_TRUE(cores_[m].Leave());
      CarryFrom(m);
      Follow();
    }
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
  // Only `m` sees its link to its host go; `meanwhile` runs before the
  // transport acts on it.
  void LoseHostLink(int m, const std::function<void()>& meanwhile = {}) {
    links_[m].erase(SessionCore::kHostPeer);
    cores_[m].OnPeerGone(SessionCore::kHostPeer);
    if (meanwhile) meanwhile();
    Follow();
  }
  // Both ends of `m`'s link to its host see it go; `meanwhile` runs before
  // the transport acts on it.
  void CutHostLink(int m, const std::function<void()>& meanwhile) {
    const int host = links_[m].at(SessionCore::kHostPeer);
    links_[m].erase(SessionCore::kHostPeer);
    links_[host].erase(100 + m);
    cores_[host].OnPeerGone(100 + m);
    LoseHostLink(m, meanwhile);
  }
  // From now on `a` and `b` cannot reach each other (the links between
  // them stay until they are seen to go), until Heal.
  void Apart(int a, int b) { apart_.insert({std::min(a, b), std::max(a, b)}); }
  void Heal() { apart_.clear(); }
  // `m` gets `bytes` from a machine it has a link 500 with.
  void FromStranger(int m, const std::vector<uint8_t>& bytes) {
    cores_[m].OnPeerConnected(500, MachineAddress{});
    cores_[m].OnPacket(500, bytes, true);
    Follow();
    for (const OutgoingPacket& p : cores_[m].TakeOutgoing())
      if (p.peer != 500) Forward(m, p);
    Carry();
  }
  // `m` gets `bytes` on its link `key` (kHostPeer: from its host; 100 + n
  // at a host: from machine n), as though its other end sent them.
  void Inject(int m, PeerKey key, const std::vector<uint8_t>& bytes) {
    cores_[m].OnPacket(key, bytes, true);
    Carry();
  }
  // Only what machine `m` sends goes out.
  void CarryFrom(int m) {
    for (OutgoingPacket& p : cores_[m].TakeOutgoing()) Forward(m, p);
  }
  // Only what machine `m` sends to the machines `to` goes out; what it
  // sends the others is lost.
  void CarryFromTo(int m, const std::set<int>& to) {
    for (OutgoingPacket& p : cores_[m].TakeOutgoing()) {
      auto link = links_[m].find(p.peer);
      if (link != links_[m].end() && to.count(link->second)) Forward(m, p);
    }
  }
  void Carry() {
    for (bool moved = true; moved;) {
      moved = false;
      for (auto& [m, core] : cores_)
        for (OutgoingPacket& p : core.TakeOutgoing()) {
          moved = true;
          Forward(m, p);
        }
      moved = Follow() || moved;
    }
  }
  std::string Players(int m) {
    std::string out;
    for (const PlayerInfo& p : cores_[m].Players()) out += std::to_string(p.id) + p.name + " ";
    return out;
  }
  // Everything that reached machine `m`.
  std::vector<std::vector<uint8_t>> received[8];

 private:
  void Forward(int m, const OutgoingPacket& p) {
    auto to = links_[m].find(p.peer);
    if (to == links_[m].end() || !cores_.count(to->second)) return;
    for (const auto& [key, back] : links_[to->second])
      if (back == m) {
        if (to->second < 8) received[to->second].push_back(p.bytes);
        cores_[to->second].OnPacket(key, p.bytes, p.guaranteed);
      }
  }
  void Link(int member, int host) {
    links_[member][SessionCore::kHostPeer] = host;
    links_[host][100 + member] = member;
    cores_[member].OnPeerConnected(SessionCore::kHostPeer, MachineAddress{static_cast<uint32_t>(host) << 8, 0});
    cores_[host].OnPeerConnected(100 + member, MachineAddress{static_cast<uint32_t>(member) << 8, 0});
  }
  bool Hosts(int m) { return cores_.count(m) && cores_[m].role() == SessionCore::Role::kHost; }
  bool Reach(int a, int b) const { return !apart_.count({std::min(a, b), std::max(a, b)}); }
  // Does what the transport does with each host change: a link to the
  // next host (a gone machine cannot be reached), the question whether the
  // host still hosts, or, for a machine that took over, its link to the old
  // host closed.
  bool Follow() {
    bool acted = false;
    for (bool again = true; again;) {
      again = false;
      for (auto& [m, core] : cores_)
        while (std::optional<SessionCore::HostChange> change = core.TakeHostChange()) {
          again = acted = true;
          const int target = static_cast<int>(change->address.host >> 8);
          if (change->check && change->keep_link) {
            core.OnHostChecked(Hosts(target) && Reach(m, target));
            continue;
          }
          const auto old = links_[m].find(SessionCore::kHostPeer);
          if (old != links_[m].end()) {
            const int was = old->second;
            links_[m].erase(old);
            links_[was].erase(100 + m);
            if (cores_.count(was)) cores_[was].OnPeerGone(100 + m);
          }
          if (change->to_self) continue;
          if (change->check) {
            core.OnHostChecked(Hosts(target) && Reach(m, target));
          } else if (!cores_.count(target) || !Reach(m, target)) {
            core.OnPeerGone(SessionCore::kHostPeer);
          } else {
            Link(m, target);
            core.OnNewHostReached();
          }
        }
    }
    return acted;
  }


  std::map<int, SessionCore> cores_;
  std::map<int, std::map<PeerKey, int>> links_;  // at a machine: its links' other ends
  std::set<std::pair<int, int>> apart_;          // machines that cannot reach each other
};

TEST(HostMigration, TheFirstMemberTakesOverAndTheOthersComeBack) {
  Machines net;
  const std::vector<PlayerId> players = net.Game({"bob", "eve"});
  const PlayerId bob = players[0], eve = players[1];
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
  const std::vector<PlayerId> players = net.Game({"bob", "eve", "zed"});
  const PlayerId bob = players[0], eve = players[1], zed = players[2];
  net.Vanish(1, true);  // went with the host, unnoticed
  net.Vanish(0, false, false);  // crashed: its link went without a goodbye
  net.Carry();
  const std::string b = std::to_string(bob);
  EXPECT_EQ(Events(net[2]), (std::vector<std::string>{"left 1", "left " + b, "host"}));
  EXPECT_EQ(Events(net[3]), (std::vector<std::string>{"left 1", "left " + b}));
  EXPECT_EQ(net.Players(3), std::to_string(eve) + "eve " + std::to_string(zed) + "zed ");
  EXPECT_EQ(net.Players(2), net.Players(3));
}

// A member that lost only its own link finds the host still hosting and
// goes back to it; the machine it would have gone to takes nobody over
// while it still has the host.
TEST(HostMigration, AMemberThatLostOnlyItsLinkGoesBackToItsHost) {
  Machines net;
  const std::vector<PlayerId> players = net.Game({"bob", "eve"});
  const PlayerId bob = players[0], eve = players[1];
  net.LoseHostLink(2);
  net.Carry();
  for (int m : {0, 1, 2}) EXPECT_TRUE(Events(net[m]).empty()) << m;
  EXPECT_EQ(net[1].role(), SessionCore::Role::kMember);
  EXPECT_EQ(net[2].join_state(), SessionCore::JoinState::kWelcomed);
  ASSERT_TRUE(net[2].Send(eve, bob, Text("still here"), true));
  net.Carry();
  EXPECT_EQ(Events(net[1]), std::vector<std::string>{"message " + std::to_string(eve) + ">" +
                                                     std::to_string(bob) + " still here"});

  // The host crashed, and member 2 saw it first: member 1 asks the host,
  // which does not answer, yet takes nobody over on member 2's word; once
  // its own link to the host went too, it takes over and takes member 2
  // back.
  net.Vanish(0, true);
  net.LoseHostLink(2);
  net.Carry();
  EXPECT_EQ(net[1].role(), SessionCore::Role::kMember);
  EXPECT_EQ(net[2].join_state(), SessionCore::JoinState::kMoving);
  net.LoseHostLink(1);
  net.Carry();
  EXPECT_EQ(net[1].role(), SessionCore::Role::kHost);
  EXPECT_EQ(net[2].join_state(), SessionCore::JoinState::kWelcomed);
  EXPECT_EQ(net.Players(2), net.Players(1));
}

// A member that replays everything it was sent, and tries every 32 bytes
// of it as a secret, to come back as another machine, changes nothing.
TEST(HostMigration, NobodyComesBackAsAnotherMachine) {
  Machines net;
  const PlayerId bob = net.Game({"bob", "eve", "mallory"})[0];
  ASSERT_TRUE(net[1].Send(bob, kAllPlayers, Text("hi"), true));
  net.Carry();
  for (int m : {0, 1, 2, 3}) Events(net[m]);
  const std::string players = net.Players(0);

  std::vector<std::vector<uint8_t>> forgeries = net.received[3];
  for (const std::vector<uint8_t>& bytes : net.received[3])
    for (size_t at = 0; at + 32 <= bytes.size(); ++at)
      for (MachineId as : {1u, 2u}) {
        wire::Rejoin rejoin{kApp, kInstance, as, {}, {}, {{bob, "bob"}}, {}};
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), 32, rejoin.secret.begin());
        forgeries.push_back(wire::Encode(rejoin));
      }
  for (const std::vector<uint8_t>& bytes : forgeries)
    for (int m : {0, 1, 2}) net.FromStranger(m, bytes);

  for (int m : {0, 1, 2}) {
    EXPECT_TRUE(Events(net[m]).empty()) << m;
    EXPECT_EQ(net.Players(m), players) << m;
  }
  EXPECT_EQ(net[0].role(), SessionCore::Role::kHost);
  EXPECT_EQ(net[1].role(), SessionCore::Role::kMember);
  EXPECT_EQ(net[2].role(), SessionCore::Role::kMember);
}

// A leave counts only with the leaver's next secret. A Leave on a link, or a
// goodbye from outside the links, that cannot show it (made up, or a
// secret the machine showed before, replayed) changes nothing anywhere,
// whoever it seems to come from; the real ones end the leaver's part at
// once.
TEST(HostMigration, OnlyALeaveThatProvesItsSenderIsALeave) {
  Machines net;
  const std::vector<PlayerId> players = net.Game({"bob", "eve"});
  // Member 2 came back once, showing a secret that anybody may have seen.
  net.LoseHostLink(2);
  net.Carry();
  Secret shown{};
  for (const std::vector<uint8_t>& bytes : net.received[0])
    if (std::optional<wire::Message> m = wire::Decode(bytes))
      if (const auto* rejoin = std::get_if<wire::Rejoin>(&*m)) shown = rejoin->secret;
  for (int m : {0, 1, 2}) Events(net[m]);
  const std::string before = net.Players(0);

  Secret made_up{};
  made_up.fill(0x5A);
  for (const Secret& secret : {Secret{}, made_up, shown}) {
    const std::vector<uint8_t> leave = wire::Encode(wire::Leave{secret});
    net.Inject(0, 102, leave);            // member 2 "leaves"
    net.Inject(1, SessionCore::kHostPeer, leave);  // the host "leaves", at member 1
    net.Inject(2, SessionCore::kHostPeer, leave);
    net[0].OnGoodbye(2, secret, {});
    net[0].OnGoodbye(1, secret, {});
    for (int m : {1, 2}) net[m].OnGoodbye(0, secret, {});
    net.Carry();
  }
  for (int m : {0, 1, 2}) {
    EXPECT_TRUE(Events(net[m]).empty()) << m;
    EXPECT_EQ(net.Players(m), before) << m;
    EXPECT_TRUE(net[m].TakeClosedLinks().empty()) << m;
  }
  EXPECT_EQ(net[0].role(), SessionCore::Role::kHost);
  for (int m : {1, 2}) EXPECT_EQ(net[m].join_state(), SessionCore::JoinState::kWelcomed) << m;

  // Member 2's own goodbye, outside its link: it is gone, and its link
  // is closed.
  const std::optional<Secret> real = net[2].Leave();
  ASSERT_TRUE(real);
  net[0].OnGoodbye(2, *real, {});
  net.Carry();
  EXPECT_EQ(net[0].TakeClosedLinks(), std::vector<PeerKey>{102});
  const std::string eve = "left " + std::to_string(players[1]);
  EXPECT_EQ(Events(net[0]), std::vector<std::string>{eve});
  EXPECT_EQ(Events(net[1]), std::vector<std::string>{eve});
  // The host's own: member 1 takes over.
  ASSERT_TRUE(net[0].Leave());
  net.CarryFrom(0);
  EXPECT_EQ(net[1].role(), SessionCore::Role::kHost);
}

// Guaranteed messages the crashed host took but never passed on arrive
// once each, in order, from the next host; those it did pass on are not
// taken twice when their sender sends them again.
TEST(HostMigration, GuaranteedMessagesSurviveTheHostThatTookThem) {
  Machines net;
  const PlayerId eve = net.Game({"bob", "eve", "zed"})[1];
  ASSERT_TRUE(net[2].Send(eve, kAllPlayers, Text("a"), true));
  net.Carry();
  for (const char* text : {"b", "c"}) ASSERT_TRUE(net[2].Send(eve, kAllPlayers, Text(text), true));
  ASSERT_TRUE(net[2].Send(eve, kAllPlayers, Text("lost"), false));
  for (int m : {0, 1, 2, 3}) Events(net[m]);
  net.CarryFrom(2);              // the host took them...
  net.Vanish(0, false, false);  // ...and crashed before passing them on
  net.Carry();
  const std::string e = "message " + std::to_string(eve) + ">0 ";
  EXPECT_EQ(Events(net[1]), (std::vector<std::string>{"left 1", "host", e + "b", e + "c"}));
  EXPECT_EQ(Events(net[3]), (std::vector<std::string>{"left 1", e + "b", e + "c"}));
  EXPECT_EQ(Events(net[2]), std::vector<std::string>{"left 1"});
}

// A member on its way back to its host keeps its guaranteed messages for
// it, up to the bound: one that does not fit is refused, never kept at the
// cost of an older one, and every one it took arrives once it is back.
TEST(HostMigration, AMemberOnItsWayRefusesTheGuaranteedMessagesItCannotKeep) {
  Machines net;
  const std::vector<PlayerId> players = net.Game({"bob", "eve"});
  const PlayerId bob = players[0], eve = players[1];
  std::vector<uint8_t> block(8u << 20);
  std::string taken;
  net.LoseHostLink(2, [&] {
    ASSERT_EQ(net[2].join_state(), SessionCore::JoinState::kMoving);
    for (char k = 'a'; k <= 'j'; ++k) {
      block[0] = static_cast<uint8_t>(k);
      if (net[2].Send(eve, bob, block, true)) taken += k;
    }
  });
  EXPECT_EQ(taken, "abcdefgh");  // 64 MB
  net.Carry();
  EXPECT_EQ(net[2].join_state(), SessionCore::JoinState::kWelcomed);
  std::string arrived;
  while (std::optional<SessionEvent> e = net[1].TakeEvent())
    if (e->type == SessionEvent::Type::kMessage && e->from == eve) arrived += static_cast<char>(e->data.at(0));
  EXPECT_EQ(arrived, taken);
}

// The host keeps messages for machines on their way back up to the bound.
// A guaranteed one that does not fit, the host's own or one it relays,
// first pushes out the unguaranteed ones kept, then costs the machine
// furthest behind its place: the others see it leave, it is refused when it
// comes back, and every machine still in the game gets every guaranteed
// message, in order. Nobody is left with a gap it is not told of.
TEST(HostMigration, AMachineThatCannotBeCaughtUpIsGivenUp) {
  Machines net;
  const std::vector<PlayerId> players = net.Game({"bob", "eve", "zed"});
  const PlayerId bob = players[0], eve = players[1], zed = players[2];
  std::vector<uint8_t> block(8u << 20);  // eight of them, with their headers, are past the bound
  auto send = [&](int m, PlayerId from, PlayerId to, char k, bool guaranteed = true) {
    block[0] = static_cast<uint8_t>(k);
    EXPECT_TRUE(net[m].Send(from, to, block, guaranteed)) << k;
  };
  auto eve_in = [&] { return net.Players(0).find("eve") != std::string::npos; };
  net.CutHostLink(3, [&] {
    net.CutHostLink(2, [&] {
      for (char k = 'a'; k <= 'f'; ++k) send(0, kServerPlayer, eve, k);
      send(0, kServerPlayer, zed, 'u', false);
      send(0, kServerPlayer, eve, 'g');
      EXPECT_TRUE(eve_in());
      send(1, bob, kAllPlayers, 'h');
      net.CarryFrom(1);
      EXPECT_FALSE(eve_in());
      send(0, kServerPlayer, kAllPlayers, 'i');
    });
  });
  net.Carry();
  // The messages, by their first byte, and the other events.
  auto arrived = [&](int m) {
    std::string out;
    for (const std::string& e : Events(net[m]))
      out += e.rfind("message", 0) == 0 ? e.substr(e.find(' ', 8) + 1, 1) : e + ";";
    return out;
  };
  const std::string left = "left " + std::to_string(eve) + ";";
  EXPECT_EQ(arrived(2), "lost;");
  EXPECT_EQ(arrived(3), left + "hi");
  EXPECT_EQ(arrived(1), left + "i");
  EXPECT_EQ(arrived(0), "h" + left);
  EXPECT_EQ(net[3].join_state(), SessionCore::JoinState::kWelcomed);
  EXPECT_EQ(net.Players(3), net.Players(0));
  EXPECT_FALSE(eve_in());
}

// A member's link died before its host saw it go, and the member came back
// to the same host. What the host handed to the dead link, its own messages
// and those it relayed, arrives when the member is back, once each and in
// the order sent, before what the host kept for it once it saw the link go
// and before anything newer.
TEST(HostMigration, WhatWentIntoALinkThatWasAlreadyDeadArrivesOnTheMachinesReturn) {
  Machines net;
  const std::vector<PlayerId> players = net.Game({"bob", "eve"});
  const PlayerId bob = players[0], eve = players[1];
  net.LoseHostLink(2, [&] {
    ASSERT_TRUE(net[1].Send(bob, eve, Text("a"), true));
    net.CarryFrom(1);
    ASSERT_TRUE(net[0].Send(kServerPlayer, kAllPlayers, Text("b"), true));
    net.CarryFrom(0);
    net[0].OnPeerGone(102);  // now the host sees it go
    ASSERT_TRUE(net[1].Send(bob, eve, Text("c"), true));
    net.CarryFrom(1);
  });
  net.Carry();
  EXPECT_EQ(net[2].join_state(), SessionCore::JoinState::kWelcomed);
  ASSERT_TRUE(net[1].Send(bob, eve, Text("d"), true));
  net.Carry();
  const std::string b = std::to_string(bob) + ">" + std::to_string(eve) + " ";
  EXPECT_EQ(Messages(net[2]), (std::vector<std::string>{b + "a", "1>0 b", b + "c", b + "d"}));
  EXPECT_EQ(Messages(net[1]), std::vector<std::string>{"1>0 b"});
}

// What a host hands on over links is kept up to the bound. A machine whose
// dead link swallowed a message that was let go since cannot be caught up:
// it is not let back in, and it and the others are told.
TEST(HostMigration, AMachineWhoseDeadLinkSwallowedWhatWasLetGoIsNotLetBackIn) {
  Machines net;
  const std::vector<PlayerId> players = net.Game({"bob", "eve"});
  const PlayerId bob = players[0], eve = players[1];
  const std::vector<uint8_t> block(8u << 20);  // eight of them, with their headers, are past the bound
  net.LoseHostLink(2, [&] {
    for (int k = 0; k < 8; ++k) ASSERT_TRUE(net[1].Send(bob, eve, block, true));
    net.CarryFrom(1);
    net.CarryFrom(0);
  });
  net.Carry();
  EXPECT_EQ(Events(net[2]), std::vector<std::string>{"lost"});
  EXPECT_EQ(Events(net[1]), std::vector<std::string>{"left " + std::to_string(eve)});
  EXPECT_EQ(net.Players(0), "1host " + std::to_string(bob) + "bob ");
}

// The game split: machine 1 lost sight of host 0 and took over while 0 went
// on with machine 2. When 1 finds 0 again it goes back to it: the
// guaranteed messages it sent as host, kept for 2 as for a machine on its
// way, reach 0 and 2 then, and what 2 sent meanwhile reaches 1. Once each.
TEST(HostMigration, AHostThatGoesBackToTheOneItTookOverFromLosesNoneOfItsMessages) {
  Machines net;
  const std::vector<PlayerId> players = net.Game({"bob", "eve"});
  const PlayerId bob = players[0], eve = players[1];
  net.Apart(1, 0);
  net.LoseHostLink(1);
  ASSERT_EQ(net[1].role(), SessionCore::Role::kHost);
  ASSERT_TRUE(net[1].Send(bob, kAllPlayers, Text("split"), true));
  ASSERT_TRUE(net[2].Send(eve, kAllPlayers, Text("meanwhile"), true));
  net.Carry();
  net.Heal();
  net[1].OnFormerHostAlive(0);
  net.Carry();
  EXPECT_EQ(net[0].role(), SessionCore::Role::kHost);
  for (int m : {1, 2}) EXPECT_EQ(net[m].join_state(), SessionCore::JoinState::kWelcomed) << m;
  EXPECT_EQ(net.Players(1), net.Players(0));
  EXPECT_EQ(net.Players(2), net.Players(0));
  const std::string from_bob = std::to_string(bob) + ">0 split", from_eve = std::to_string(eve) + ">0 meanwhile";
  EXPECT_EQ(Messages(net[0]), (std::vector<std::string>{from_eve, from_bob}));
  EXPECT_EQ(Messages(net[1]), std::vector<std::string>{from_eve});
  EXPECT_EQ(Messages(net[2]), std::vector<std::string>{from_bob});
}

// A split that outlasts the wait: each part gives the other's machines up.
// Nobody keeps a part's guaranteed messages for the other, so the parts
// become one again only where neither missed any; otherwise the part that
// took over (machines 1 and 3; host 4 goes on with 2) ends with the game
// lost. The host is machine 4 here, as the fake network's address 0
// stands for "the host's own computer". A return forged for a machine the
// host gave up changes nothing: the machine is still held to what it
// missed.
TEST(HostMigration, APartThatMissedGuaranteedMessagesDoesNotComeBack) {
  struct Case {
    const char* what;
    int speaker;  // -1: nobody speaks during the split
    bool heals;
    bool forged = false;  // machine 2 first asks the host back in as machine 3, without its secret
  };
  for (const Case& c : {Case{"silence", -1, true}, Case{"the host's part", 2, false},
                        Case{"the part that took over", 3, false}, Case{"a forged return", 2, false, true}}) {
    SCOPED_TRACE(c.what);
    Machines net;
    net.Host(4, kSessionMigrateHost);
    std::map<int, PlayerId> player;
    for (int m : {1, 2, 3}) player[m] = net.Join(m, 4, "p" + std::to_string(m));
    for (int m : {1, 3})
      for (int other : {2, 4}) net.Apart(m, other);
    for (int m : {1, 3}) net.CutHostLink(m, [] {});
    net.Carry();
    ASSERT_EQ(net[1].role(), SessionCore::Role::kHost);
    ASSERT_EQ(net[3].join_state(), SessionCore::JoinState::kWelcomed);
    for (int m : {1, 2, 3, 4}) net[m].Tick(16000);
    net.Carry();
    if (c.forged) {
      wire::Rejoin forged{kApp, kInstance, net[3].self(), {}, {}, {{player[3], "p3"}}, {}};
      forged.secret.fill(7);
      net.FromStranger(4, wire::Encode(forged));
    }
    if (c.speaker >= 0) {
      ASSERT_TRUE(net[c.speaker].Send(player[c.speaker], kAllPlayers, Text("split"), true));
    }
    net.Carry();
    for (int m : {1, 2, 3, 4}) Events(net[m]);
    net.Heal();
    net[1].OnFormerHostAlive(net[4].self());
    net.Carry();
    EXPECT_EQ(net[4].role(), SessionCore::Role::kHost);
    EXPECT_EQ(net[2].join_state(), SessionCore::JoinState::kWelcomed);
    for (int m : {1, 3}) {
      EXPECT_EQ(net[m].role(), SessionCore::Role::kMember) << m;
      if (c.heals) {
        EXPECT_EQ(net[m].join_state(), SessionCore::JoinState::kWelcomed) << m;
        EXPECT_EQ(net.Players(m), net.Players(4)) << m;
      } else {
        EXPECT_EQ(net[m].join_state(), SessionCore::JoinState::kLost) << m;
        EXPECT_EQ(Events(net[m]), std::vector<std::string>{"lost"}) << m;
      }
    }
    EXPECT_EQ(net.Players(2), net.Players(4));
    if (!c.heals) {
      EXPECT_EQ(net.Players(4), std::to_string(kServerPlayer) + "host " + std::to_string(player[2]) + "p2 ");
    }
  }
}

// A member that leaves while the new host waits for it goes at once, whatever it sent the old host.
TEST(HostMigration, AMemberLeavingWhileTheNewHostWaitsForItIsNotWaitedFor) {
  Machines net;
  const PlayerId ann = net.Game({"bob", "eve", "ann"})[2];
  net.Vanish(0, true);
  const std::optional<Secret> bye = net[3].Leave();
  net.Vanish(3, true);
  net.LoseHostLink(1);
  net[1].OnGoodbye(3, *bye, {wire::Mark{3, 5}});
  EXPECT_EQ(Events(net[1]), (std::vector<std::string>{"left 1", "host", "left " + std::to_string(ann)}));
}

// A goodbye that comes outside the link before what its machine sent over
// the link takes effect once that is in: the leaver's players leave after
// its messages, everywhere, and a host's members take its messages before
// they move on. Where what was sent never comes, the leave takes effect
// when the link goes; a host's messages then come from the member that
// took over, which had them.
TEST(HostMigration, AGoodbyeTakesEffectAfterWhatWasSentBeforeIt) {
  struct Case {
    const char* what;
    int leaver;         // member 2, or host 0
    bool sent_arrives;  // otherwise the link goes instead
  };
  for (const Case& c : {Case{"a member", 2, true}, Case{"a member whose last messages never come", 2, false},
                        Case{"the host", 0, true}, Case{"the host, whose last messages never come", 0, false}}) {
    SCOPED_TRACE(c.what);
    Machines net;
    const std::vector<PlayerId> players = net.Game({"bob", "eve"});
    const PlayerId speaker = c.leaver == 0 ? kServerPlayer : players[1];
    // At member 2 the host's goodbye comes first; at the host member 2's.
    const int at = c.leaver == 0 ? 2 : 0;
    const PeerKey link = c.leaver == 0 ? SessionCore::kHostPeer : 102;
    for (const char* text : {"x", "y"}) ASSERT_TRUE(net[c.leaver].Send(speaker, kAllPlayers, Text(text), true));
    const std::optional<Secret> secret = net[c.leaver].Leave();
    ASSERT_TRUE(secret);
    const std::vector<wire::Mark> before = net[c.leaver].HandedOver(c.leaver == 0 ? 102 : SessionCore::kHostPeer);
    std::vector<OutgoingPacket> sent = net[c.leaver].TakeOutgoing();
    net[at].OnGoodbye(net[c.leaver].self(), *secret, before);
    net.Carry();
    EXPECT_EQ(net[at].role(), at == 0 ? SessionCore::Role::kHost : SessionCore::Role::kMember);
    if (at == 2) {
      EXPECT_EQ(net[2].join_state(), SessionCore::JoinState::kWelcomed);
    }
    EXPECT_TRUE(Events(net[at]).empty());
    for (OutgoingPacket& p : sent) {
      if (c.leaver == 0 && p.peer != 102) {
        net.Inject(1, SessionCore::kHostPeer, p.bytes);  // member 1 takes the host's in order
      } else if (c.sent_arrives) {
        net[at].OnPacket(link, p.bytes, true);
      }
    }
    if (!c.sent_arrives) net[at].OnPeerGone(link);
    net.Vanish(c.leaver, true);
    net.Carry();
    const std::string said = std::to_string(speaker) + ">0 ";
    const std::string left = "left " + std::to_string(speaker);
    std::vector<std::string> heard = {"message " + said + "x", "message " + said + "y", left};
    if (!c.sent_arrives && c.leaver == 2) heard = {left};
    if (!c.sent_arrives && c.leaver == 0) heard = {left, heard[0], heard[1]};
    std::vector<std::string> events = Events(net[at]);
    std::erase(events, "host");
    EXPECT_EQ(events, heard);
    if (c.leaver == 2) {
      EXPECT_EQ(Events(net[1]), heard);
    } else {
      EXPECT_EQ(net[1].role(), SessionCore::Role::kHost);
      EXPECT_EQ(net[2].join_state(), SessionCore::JoinState::kWelcomed);
    }
  }
}

// The host crashed after its last guaranteed messages reached only some
// members. Each survivor gets what any of them took, once each and in
// order, whichever of them takes over and whichever of them has it; what
// none took is lost to all alike. Also messages of a member that left
// before, which only the host had kept.
TEST(HostMigration, WhatAnySurvivorTookOfAMachineGoneEverySurvivorGets) {
  struct Case {
    const char* what;
    std::set<int> reached;  // the members the host's last two messages reached
    std::string got;        // what every survivor has of the host's
  };
  for (const Case& c : {Case{"the next host", {1}, "abc"}, Case{"another member", {2}, "abc"},
                        Case{"two others", {2, 3}, "abc"}, Case{"every member", {1, 2, 3}, "abc"},
                        Case{"no member", {}, "a"}}) {
    SCOPED_TRACE(c.what);
    Machines net;
    const std::vector<PlayerId> players = net.Game({"bob", "eve", "zed"});
    ASSERT_TRUE(net[0].Send(kServerPlayer, kAllPlayers, Text("a"), true));
    net.Carry();
    for (const char* text : {"b", "c"}) ASSERT_TRUE(net[0].Send(kServerPlayer, kAllPlayers, Text(text), true));
    net.CarryFromTo(0, c.reached);
    for (int m : {1, 2, 3}) Messages(net[m]);
    net.Vanish(0, false, false);
    net.Carry();
    ASSERT_EQ(net[1].role(), SessionCore::Role::kHost);
    for (int m : {1, 2, 3}) {
      std::string got;
      for (const std::string& message : Messages(net[m])) got += message.back();
      const std::string had = c.reached.count(m) ? "bc" : "";
      EXPECT_EQ("a" + had + got, c.got) << m;
      if (m != 1) {
        EXPECT_EQ(net[m].join_state(), SessionCore::JoinState::kWelcomed) << m;
      }
    }
    // What comes after is taken as ever.
    ASSERT_TRUE(net[3].Send(players[2], kAllPlayers, Text("d"), true));
    net.Carry();
    EXPECT_EQ(Messages(net[2]), std::vector<std::string>{std::to_string(players[2]) + ">0 d"});
  }
}

// Each machine that may take over numbers from a block of its own; the
// two the first numbering of a host that took over made meet (4, and
// 0x20000, the first machine machine 1 numbers). A machine that comes back
// with a player another machine owns here cannot come back.
TEST(HostMigration, PlayersMadeOnBothSidesOfASplitNeverShareANumber) {
  std::set<uint32_t> blocks;
  for (MachineId id = 0; id < 0xFFFF; ++id) blocks.insert(SessionCore::NumberingBlock(id));
  EXPECT_EQ(blocks.size(), 0xFFFFu);
  EXPECT_EQ(blocks.count(0), 0u);
  EXPECT_NE(SessionCore::NumberingBlock(4), SessionCore::NumberingBlock(SessionCore::NumberingBlock(1)));

  Machines net;
  const std::vector<PlayerId> players = net.Game({"bob", "eve"});
  const std::optional<Secret> secret = net[2].Leave();
  ASSERT_TRUE(secret);
  net[2].TakeOutgoing();
  const wire::Rejoin rejoin{kApp, kInstance, net[2].self(), *secret, {}, {{players[1], "eve"}, {players[0], "bob"}}, {}};
  net.FromStranger(0, wire::Encode(rejoin));
  EXPECT_EQ(net.Players(0), "1host " + std::to_string(players[0]) + "bob ");
  EXPECT_EQ(Events(net[1]), std::vector<std::string>{"left " + std::to_string(players[1])});
}

}  // namespace
}  // namespace zv::platform
