// The multiplayer commands and their session layer over a scripted network:
// games, players and their numbers, messages of each kind, system events,
// and the detail codes failures leave behind.
#include <bit>

#include "runtime/vm/errors.h"
#include "services/net/net_errors.h"
#include "services/net/net_message_packet.h"
#include "tests/services/net/net_fixture.h"

namespace zv::test {
namespace {

using platform::SessionError;
using Type = platform::SessionEvent::Type;
namespace op = net_opcode;

std::vector<uint8_t> Packet(uint32_t kind, std::vector<uint8_t> payload) {
  return BuildNetPacket(kind, payload);
}
std::vector<uint8_t> IntPacket(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  return Packet(net_kind::kInteger, {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8),
                                     static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 24)});
}

class MultiplayerTest : public NetTest {
 protected:
  void Host() {
    games().CreateGame(vm, "Arena", "host", 8, 4);
    ASSERT_EQ(Raised(), 0);
  }
  void Join() {
    games().JoinGame(vm, 1, "bob");
    ASSERT_EQ(Raised(), 0);
  }
};

TEST_F(MultiplayerTest, HostingTakesTheFirstConnectionAndLooksForGamesFirst) {
  Host();
  EXPECT_EQ(fake->opened, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(fake->searches, 1);
  EXPECT_EQ(fake->created, std::vector<std::string>{"!host"});
  EXPECT_EQ(games().GameExists(), 1);
  games().CreateGame(vm, "Arena", "host", 8, 4);
  EXPECT_EQ(Raised(), net_error::kAlreadyInGame);
}

TEST_F(MultiplayerTest, HostingChecksNamesThenTheMaximum) {
  struct Case {
    const char* game;
    const char* player;
    int32_t max;
    int32_t code;
  };
  for (const Case& c : {Case{"", "", 1, 8509}, Case{"g", "", 1, 8508}, Case{"g", "p", 1, 8507},
                        Case{"g", "p", 256, 8507}}) {
    games().CreateGame(vm, c.game, c.player, c.max, 4);
    EXPECT_EQ(Raised(), c.code) << c.game << "/" << c.player << "/" << c.max;
    EXPECT_FALSE(vm.errors.warning);
  }
  EXPECT_EQ(games().GameExists(), 0);
}

TEST_F(MultiplayerTest, WithoutANetworkTheDetailCodeSaysSo) {
  Multiplayer alone(nullptr);
  alone.CreateGame(vm, "Arena", "host", 8, 4);
  EXPECT_EQ(Raised(), net_error::kHost);
  EXPECT_EQ(vm.errors.internal_code, 18501);
}

TEST_F(MultiplayerTest, ChoosingAConnectionReportsEachStepThatFails) {
  EXPECT_EQ(Exec(op::kSetNetConnection, {I(65)}), net_error::kConnectionNumber);
  EXPECT_EQ(Exec(op::kSetNetConnection, {I(2)}), net_error::kSelectConnection);
  fake->accepts = [](std::string_view address) { return address.empty(); };
  EXPECT_EQ(Exec(op::kSetNetConnectionAddress, {I(1), S("far.example")}), net_error::kInitialiseConnection);
  EXPECT_EQ(vm.errors.internal_code, 18521);
  fake->games.reset();
  EXPECT_EQ(Exec(op::kSetNetConnection, {I(1)}), net_error::kInitialiseConnection);
  EXPECT_EQ(vm.errors.internal_code, 18522);
  fake->games = std::vector<platform::SessionDescription>{};
  fake->accepts = [](std::string_view) { return true; };
  EXPECT_EQ(Exec(op::kSetNetConnectionAddress, {I(1), S("127.0.0.1")}), 0);
  EXPECT_EQ(fake->opened.back(), "127.0.0.1");
}

TEST_F(MultiplayerTest, ARunningGameKeepsItsConnection) {
  Host();
  EXPECT_EQ(Exec(op::kSetNetConnection, {I(1)}), net_error::kSelectConnection);
  EXPECT_EQ(games().GameExists(), 1);
  EXPECT_EQ(fake->closes, 0);
  EXPECT_EQ(Exec(op::kSendNetMessageInteger, {I(0), I(1)}), 0);
}

TEST_F(MultiplayerTest, HostingFailuresLeaveTheirCodes) {
  fake->host_result = SessionError::kAlreadyOpen;
  games().CreateGame(vm, "Arena", "host", 8, 4);
  EXPECT_EQ(Raised(), net_error::kHost);
  EXPECT_EQ(vm.errors.internal_code, 18531);

  vm.errors.internal_code = 77;
  fake->host_result = SessionError::kCannotHost;
  fake->host_failure = "UDP port 30620 is in use by another program";
  games().CreateGame(vm, "Arena", "host", 8, 4);
  EXPECT_EQ(FormatErrorText(vm.errors),
            "Runtime Warning : Could not host the network game: UDP port 30620 is in use by another program. ");
  EXPECT_EQ(Raised(), net_error::kHost);
  EXPECT_EQ(vm.errors.internal_code, 77);  // no code of its own

  fake->host_result = SessionError::kNone;
  fake->players_fail = true;
  games().CreateGame(vm, "Arena", "host", 8, 4);
  EXPECT_EQ(Raised(), net_error::kHost);
  EXPECT_EQ(vm.errors.internal_code, 18504);
  EXPECT_EQ(fake->closes, 1);  // the session without its player is ended
  EXPECT_EQ(games().GameExists(), 0);
}

TEST_F(MultiplayerTest, JoiningBeforeAnyListTakesTheFirstGameFound) {
  Join();
  EXPECT_EQ(fake->joined, platform::Guid{1});
  EXPECT_EQ(fake->searches, 2);  // choosing the connection, then once more to join
  EXPECT_EQ(fake->created, std::vector<std::string>{"bob"});
  EXPECT_EQ(games().GameExists(), 1);
  games().JoinGame(vm, 1, "bob");
  EXPECT_EQ(Raised(), net_error::kAlreadyInGame);
}

TEST_F(MultiplayerTest, JoiningFailuresTurnIntoWarningsAndCodes) {
  struct Case {
    SessionError error;
    int32_t warning;
    int32_t code;
  };
  for (const Case& c : {Case{SessionError::kRefused, 8518, 18548}, Case{SessionError::kTimedOut, 8505, 18545},
                        Case{SessionError::kNoSessions, 8505, 18543},
                        Case{SessionError::kConnectionLost, 8505, 18534},
                        Case{SessionError::kGeneric, 8505, 18549}}) {
    fake->join_result = c.error;
    games().JoinGame(vm, 1, "bob");
    EXPECT_EQ(Raised(), c.warning);
    EXPECT_EQ(vm.errors.internal_code, c.code);
  }
  fake->join_result = SessionError::kNone;
  fake->players_fail = true;
  games().JoinGame(vm, 1, "bob");
  EXPECT_EQ(Raised(), net_error::kCreatePlayer);
  EXPECT_EQ(vm.errors.internal_code, 18514);
  EXPECT_EQ(games().GameExists(), 0);
}

TEST_F(MultiplayerTest, AGameNumberMustNameAListedGame) {
  games().JoinGame(vm, 0, "bob");  // before any list: no first game meant
  EXPECT_EQ(Raised(), net_error::kGameNumber);
  games().SetConnection(vm, 1, "");
  fake->games = std::vector<platform::SessionDescription>{};
  games().ChecklistGames(vm);
  games().JoinGame(vm, 0, "bob");
  EXPECT_EQ(Raised(), net_error::kGameNumber);
  games().JoinGame(vm, 257, "bob");
  EXPECT_EQ(Raised(), net_error::kGameNumber);
  games().JoinGame(vm, 1, "");
  EXPECT_EQ(Raised(), net_error::kEmptyPlayerName);
  // No game answered the search for number 1; number 2 is beyond the one game that did.
  games().JoinGame(vm, 1, "bob");
  EXPECT_EQ(Raised(), net_error::kJoin);
  EXPECT_EQ(vm.errors.internal_code, 18543);
  EXPECT_EQ(vm.errors.cause, "no game answered the search (none may be hosted, or its answer was lost)");
  fake->games = std::vector<platform::SessionDescription>{{{1}, "Arena", 0, 2, 8}};
  games().JoinGame(vm, 2, "bob");
  EXPECT_EQ(vm.errors.cause, "no such game was found");
}

TEST_F(MultiplayerTest, ListsGamesAndConnectionsInTheChecklist) {
  EXPECT_EQ(Exec(op::kSetNetConnection, {I(1)}), 0);
  EXPECT_EQ(Exec(op::kChecklistNetSessions, {}), 0);
  EXPECT_EQ(vm.checklist.count, 1);
  EXPECT_EQ(vm.checklist.entries[0].text, "Arena (2/8)");
  // A name as long as a name may be keeps its count of players.
  fake->games = std::vector<platform::SessionDescription>{{{1}, std::string(255, 'n'), 0, 2, 8}};
  EXPECT_EQ(Exec(op::kChecklistNetSessions, {}), 0);
  EXPECT_EQ(vm.checklist.entries[0].text, std::string(255, 'n') + " (2/8)");
  EXPECT_TRUE(vm.checklist.made);
  EXPECT_TRUE(vm.checklist.texts_valid);
  EXPECT_FALSE(vm.checklist.values_valid);
  fake->games.reset();
  EXPECT_EQ(Exec(op::kChecklistNetSessions, {}), 0);
  EXPECT_EQ(vm.checklist.count, 0);
  EXPECT_EQ(vm.errors.internal_code, 18522);

  fake->connections = {"One", "Two"};
  games().FreeGame();
  EXPECT_EQ(Exec(op::kChecklistNetConnections, {}), 0);
  EXPECT_EQ(vm.checklist.count, 2);
  EXPECT_EQ(vm.checklist.entries[1].text, "Two");
}

// Listing games or connections before any connection was chosen takes the
// first connection, on the local network, for the list and for the game
// made afterwards.
TEST_F(MultiplayerTest, ListingFirstLeavesAConnectionToHostOn) {
  for (uint32_t listing : {op::kChecklistNetSessions, op::kChecklistNetConnections}) {
    games().FreeGame();
    fake->opened.clear();
    EXPECT_EQ(Exec(listing, {}), 0);
    EXPECT_EQ(vm.checklist.count, 1);
    games().CreateGame(vm, "Arena", "host", 8, 4);
    EXPECT_EQ(Raised(), 0) << listing;
    EXPECT_EQ(games().GameExists(), 1);
    EXPECT_EQ(fake->opened.front(), "");
  }
}

TEST_F(MultiplayerTest, MessagesGoOutInTheirLayout) {
  Host();
  EXPECT_EQ(Exec(op::kSendNetMessageInteger, {I(0), I(7)}), 0);
  EXPECT_EQ(Exec(op::kSendNetMessageString, {I(0), S("abc")}), 0);
  EXPECT_EQ(Exec(op::kSendNetMessageFloat, {I(0), F(-1.0f)}), 0);
  ASSERT_EQ(fake->sent.size(), 3u);
  EXPECT_EQ(fake->sent[0].data, (std::vector<uint8_t>{1, 0, 0, 0, 4, 0, 0, 0, 7, 0, 0, 0}));
  EXPECT_EQ(fake->sent[1].data, (std::vector<uint8_t>{3, 0, 0, 0, 4, 0, 0, 0, 'a', 'b', 'c', 0}));
  EXPECT_EQ(fake->sent[2].data, (std::vector<uint8_t>{2, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0x80, 0xBF}));
  EXPECT_EQ(fake->sent[0].from, platform::kServerPlayer);
  EXPECT_EQ(fake->sent[0].to, 0u);
  EXPECT_FALSE(fake->sent[0].guaranteed);
}

TEST_F(MultiplayerTest, SendingNeedsAGameAndAPlayerInUse) {
  EXPECT_EQ(Exec(op::kSendNetMessageInteger, {I(0), I(7)}), net_error::kNoGame);
  Host();
  EXPECT_EQ(Exec(op::kSendNetMessageInteger, {I(5), I(7)}), net_error::kPlayerNotInUse);
  EXPECT_EQ(Exec(op::kSendNetMessageInteger, {I(300), I(7)}), net_error::kPlayerNotInUse);
  const int32_t bob = games().PlayerNumber(555);
  EXPECT_EQ(Exec(op::kSendNetMessageInteger, {I(bob), I(7)}), 0);
  EXPECT_EQ(fake->sent.back().to, 555u);
  fake->send_fails = true;
  EXPECT_EQ(Exec(op::kSendNetMessageInteger, {I(bob), I(7)}), net_error::kSend);
}

// A lobby frees the player it joined with and later makes the next, which
// sends as this computer's player.
TEST_F(MultiplayerTest, APlayerMadeAfterTheJoinedOneWasFreedSends) {
  Join();
  EXPECT_EQ(Exec(op::kFreeNetPlayer, {I(games().PlayerNumber(100))}), 0);
  EXPECT_EQ(Exec(op::kCreateNetPlayer, {S("next")}), 0);
  EXPECT_EQ(Exec(op::kSendNetMessageInteger, {I(0), I(7)}), 0);
  EXPECT_EQ(fake->sent.back().from, 101u);
}

TEST_F(MultiplayerTest, MessagesComeOutOnceEachInArrivalOrder) {
  Host();
  fake->Message(555, 0, IntPacket(1));
  fake->Message(555, 1, IntPacket(2));
  EXPECT_EQ(Exec(op::kGetNetMessage, {}), 0);
  EXPECT_EQ(games().MessageInteger(), 1);
  EXPECT_EQ(games().MessagePlayerTo(), 0);
  EXPECT_EQ(games().MessagePlayerFrom(), 1);  // 555 takes the first free number
  games().GetMessage(vm);
  EXPECT_EQ(games().MessageInteger(), 2);
  EXPECT_EQ(games().MessageExists(), 1);
  games().GetMessage(vm);
  EXPECT_EQ(games().MessageExists(), 0);
  EXPECT_EQ(games().MessageKind(), 0u);
}

// Each player who came or went is told once, in order, however many came
// between two looks; the messages among them wait as they came. One who
// came and went before the program asked is told as gone alone where its
// going was asked for first.
TEST_F(MultiplayerTest, EachPlayerWhoCameOrWentIsToldOnceInOrder) {
  Host();
  fake->Event(Type::kPlayerJoined, 600);
  fake->Message(600, 0, IntPacket(1));
  for (uint32_t id : {601, 602}) fake->Event(Type::kPlayerJoined, id);
  fake->Event(Type::kPlayerLeft, 601);
  fake->Event(Type::kPlayerJoined, 603);
  fake->Event(Type::kPlayerLeft, 603);
  EXPECT_EQ(games().TakePlayerCreated(), 1);     // 600
  EXPECT_EQ(games().TakePlayerCreated(), 2);     // 601
  EXPECT_EQ(games().TakePlayerDestroyed(), 2);   // 601
  EXPECT_EQ(games().TakePlayerDestroyed(), 3);   // 603
  EXPECT_EQ(games().TakePlayerCreated(), 4);     // 602
  EXPECT_EQ(games().TakePlayerCreated(), 0);
  EXPECT_EQ(games().TakePlayerDestroyed(), 0);
  games().GetMessage(vm);
  EXPECT_EQ(games().MessageInteger(), 1);
}

// A program that does not ask keeps the oldest comings and goings; it is
// told, once for each stretch of drops, that later ones were dropped.
TEST_F(MultiplayerTest, ComingsAndGoingsNobodyAsksForAreKeptUpToABoundAndTheDropSaid) {
  Host();
  std::vector<std::string> said;
  vm.standalone_warning_out = [&](std::string_view text) { said.emplace_back(text); };
  for (uint32_t id = 600; id < 605 + NetInterface::kMaxPlayerEvents; ++id) fake->Event(Type::kPlayerJoined, id);
  net.ServiceNetwork(vm);
  net.ServiceNetwork(vm);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0].rfind("Runtime Warning : Players who came or went were dropped: the game keeps the oldest 1024 ", 0), 0u)
      << said[0];
  EXPECT_EQ(games().TakePlayerCreated(), 1);
  for (uint32_t id : {5000, 5001}) fake->Event(Type::kPlayerJoined, id);
  net.ServiceNetwork(vm);
  EXPECT_EQ(said.size(), 2u);
}

TEST_F(MultiplayerTest, EachKindReadsOnlyAsItself) {
  Host();
  fake->Message(555, 0, Packet(net_kind::kString, {'h', 'i', 0}));
  fake->Message(555, 0, Packet(net_kind::kFloat, {0, 0, 0x80, 0x3F}));
  fake->Message(555, 0, Packet(net_kind::kString, {'n', 'o', 'e', 'n', 'd'}));
  games().GetMessage(vm);
  EXPECT_EQ(games().MessageKind(), net_kind::kString);
  EXPECT_EQ(games().MessageString(), "hi");
  EXPECT_EQ(games().MessageInteger(), 0);
  EXPECT_EQ(Exec(op::kNetMessageString, {kStringResult}), 0);
  EXPECT_EQ(StringResult(), "hi");
  games().GetMessage(vm);
  EXPECT_EQ(games().MessageFloat(), 1.0f);
  EXPECT_EQ(games().MessageString(), "");
  games().GetMessage(vm);
  EXPECT_EQ(games().MessageString(), "noend");  // cut where the payload ends
  games().GetMessage(vm);
  EXPECT_EQ(games().MessageKind(), 0u);
  EXPECT_EQ(games().MessageString(), "");
}

TEST_F(MultiplayerTest, PacketsWhoseLayoutDoesNotAddUpAreRefused) {
  Host();
  std::vector<uint8_t> lying = IntPacket(9);
  lying[4] = 200;  // claims 200 bytes of payload
  fake->Message(555, 0, lying);
  fake->Message(555, 0, {1, 0, 0});
  fake->Message(555, 0, Packet(net_kind::kInteger, {1, 2}));
  fake->Message(555, 0, Packet(99, {1, 2, 3}));
  games().GetMessage(vm);
  EXPECT_EQ(games().MessageKind(), 99u);  // unknown kinds keep only their kind
  games().GetMessage(vm);
  EXPECT_EQ(games().MessageExists(), 0);
}

TEST_F(MultiplayerTest, PlayerNumbersAreLowestFreeAndRunOut) {
  EXPECT_EQ(games().PlayerNumber(0), 0);
  for (uint32_t id = 1; id <= 255; ++id) ASSERT_EQ(games().PlayerNumber(1000 + id), static_cast<int32_t>(id));
  EXPECT_EQ(games().PlayerNumber(1001), 1);
  EXPECT_EQ(games().PlayerNumber(5000), -1);
}

TEST_F(MultiplayerTest, PlayerEventsWithTheTopBitSetAreNotReported) {
  Host();
  fake->Event(Type::kPlayerJoined, 0x80000001u);
  EXPECT_EQ(games().TakePlayerCreated(), 0);
  fake->Event(Type::kPlayerLeft, 700);
  EXPECT_EQ(games().TakePlayerDestroyed(), 1);  // looked up, or entered
  EXPECT_EQ(games().TakePlayerDestroyed(), 0);
  fake->Event(Type::kBecameHost);
  EXPECT_EQ(games().TakeNowHosting(), 1);
  EXPECT_EQ(games().TakeNowHosting(), 0);
}

TEST_F(MultiplayerTest, ThePlayerChecklistFreesTheNumbersOfPlayersThatLeft) {
  Host();
  fake->players.push_back({100, "bob"});
  fake->players.push_back({101, "eve"});
  EXPECT_EQ(Exec(op::kChecklistNetPlayers, {}), 0);
  ASSERT_EQ(vm.checklist.count, 3);
  const ChecklistEntry& host_entry = vm.checklist.entries[0];
  EXPECT_EQ(host_entry.text, "host");
  EXPECT_EQ(host_entry.a, 1);
  EXPECT_EQ(host_entry.b, 1);
  EXPECT_EQ(host_entry.c, 1);  // this machine's player
  EXPECT_EQ(host_entry.d, 1);  // the server player
  EXPECT_EQ(vm.checklist.entries[2].a, 3);
  EXPECT_EQ(vm.checklist.entries[2].c, 0);
  fake->players.pop_back();
  EXPECT_EQ(Exec(op::kChecklistNetPlayers, {}), 0);
  EXPECT_EQ(vm.checklist.count, 2);
  EXPECT_EQ(games().PlayerNumber(555), 3);
}

// As hosting and joining do, making a player refuses an empty name; every
// player of this computer lists with c = 1.
TEST_F(MultiplayerTest, PlayersOfThisComputerHaveNamesAndListAsItsOwn) {
  Host();
  EXPECT_EQ(Exec(op::kCreateNetPlayer, {S("")}), net_error::kEmptyPlayerName);
  EXPECT_EQ(Exec(op::kCreateNetPlayerFn, {kIntResult, S("")}), net_error::kEmptyPlayerName);
  EXPECT_EQ(IntResult(), 0);
  EXPECT_EQ(Exec(op::kCreateNetPlayer, {S("second")}), 0);
  fake->players.push_back({300, "far"});
  EXPECT_EQ(Exec(op::kChecklistNetPlayers, {}), 0);
  ASSERT_EQ(vm.checklist.count, 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(vm.checklist.entries[i].c, i < 2 ? 1 : 0) << vm.checklist.entries[i].text;
}

TEST_F(MultiplayerTest, FreeingAPlayerChecksItsNumber) {
  EXPECT_EQ(Exec(op::kFreeNetPlayer, {I(1)}), net_error::kNoGame);
  Host();
  EXPECT_EQ(Exec(op::kFreeNetPlayer, {I(256)}), net_error::kPlayerNumber);
  EXPECT_EQ(Exec(op::kFreeNetPlayer, {I(9)}), net_error::kPlayerNotInUse);
  EXPECT_EQ(Exec(op::kFreeNetPlayer, {I(games().PlayerNumber(platform::kServerPlayer))}), net_error::kDestroyPlayer);
  EXPECT_EQ(Exec(op::kCreateNetPlayerFn, {kIntResult, S("extra")}), 0);
  const int32_t extra = IntResult();
  EXPECT_EQ(extra, 2);
  EXPECT_EQ(Exec(op::kFreeNetPlayer, {I(extra)}), 0);
  EXPECT_EQ(fake->destroyed, std::vector<platform::PlayerId>{100});
  EXPECT_EQ(Exec(op::kFreeNetPlayer, {I(extra)}), net_error::kPlayerNotInUse);
}

TEST_F(MultiplayerTest, ALostSessionEndsTheGame) {
  Join();
  fake->Event(Type::kSessionLost);
  EXPECT_EQ(games().TakeGameLost(), 1);
  EXPECT_EQ(games().TakeGameLost(), 0);
  EXPECT_EQ(games().GameExists(), 0);
  EXPECT_EQ(Exec(op::kGetNetMessage, {}), net_error::kNoGame);
}

TEST_F(MultiplayerTest, FreeingTheGameClosesTheSessionAndDropsThePayload) {
  Host();
  fake->Message(555, 0, Packet(net_kind::kString, {'h', 'i', 0}));
  games().GetMessage(vm);
  EXPECT_EQ(Exec(op::kFreeNetGame, {}), 0);
  EXPECT_EQ(fake->closes, 1);
  EXPECT_EQ(fake->destroyed, std::vector<platform::PlayerId>{platform::kServerPlayer});
  EXPECT_EQ(games().GameExists(), 0);
  EXPECT_EQ(games().MessageString(), "");
  EXPECT_EQ(games().MessageExists(), 0);
}

TEST_F(MultiplayerTest, ThePumpMovesTheTrafficOnlyOfAnOpenLayer) {
  net.ServiceNetwork(vm);
  EXPECT_EQ(fake->services, 0);
  Host();
  net.ServiceNetwork(vm);
  EXPECT_EQ(fake->services, 1);
}

TEST_F(MultiplayerTest, MemoryBlocksTravelWhole) {
  Host();
  EXPECT_EQ(Exec(op::kSendNetMessageMemblock, {I(0), I(0)}), memblock_error::kNumber);
  EXPECT_EQ(Exec(op::kSendNetMessageMemblock, {I(0), I(3)}), memblock_error::kMissing);
  ASSERT_TRUE(blocks.Table().Make(3, 5));
  blocks.Table().Peek(3)->data()[4] = 9;
  EXPECT_EQ(Exec(op::kSendNetMessageMemblockEx, {I(0), I(3), I(1)}), 0);
  ASSERT_EQ(fake->sent.size(), 1u);
  EXPECT_EQ(fake->sent[0].data, (std::vector<uint8_t>{4, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 9}));
  EXPECT_TRUE(fake->sent[0].guaranteed);

  fake->Message(555, 0, IntPacket(1));
  fake->Message(555, 0, fake->sent[0].data);
  games().GetMessage(vm);
  EXPECT_EQ(Exec(op::kNetMessageMemblock, {I(7)}), 0);  // not a block: nothing
  EXPECT_FALSE(blocks.Table().Exists(7));
  games().GetMessage(vm);
  EXPECT_EQ(Exec(op::kNetMessageMemblock, {I(0)}), memblock_error::kNumber);
  EXPECT_EQ(Exec(op::kNetMessageMemblock, {I(7)}), 0);
  ASSERT_TRUE(blocks.Table().Exists(7));
  EXPECT_EQ(blocks.Table().Peek(7)->size(), 5u);
  EXPECT_EQ(blocks.Table().Peek(7)->data()[4], 9);
}

TEST_F(MultiplayerTest, MediaNumbersAreCheckedAndAMissingImageSendsNothing) {
  Host();
  EXPECT_EQ(Exec(op::kSendNetMessageImage, {I(0), I(0), I(0)}), 501);
  EXPECT_EQ(Exec(op::kSendNetMessageImage, {I(0), I(5), I(0)}), 0);
  EXPECT_EQ(Exec(op::kSendNetMessageBitmap, {I(0), I(32), I(0)}), 1001);
  EXPECT_EQ(Exec(op::kSendNetMessageSound, {I(0), I(1026), I(0)}), 3001);
  EXPECT_EQ(Exec(op::kSendNetMessageMesh, {I(0), I(65535), I(0)}), 7001);
  EXPECT_TRUE(fake->sent.empty());
  // Receiving checks the kind first: another kind does nothing at all.
  fake->Message(555, 0, IntPacket(1));
  games().GetMessage(vm);
  EXPECT_EQ(Exec(op::kNetMessageImage, {I(0)}), 0);
  fake->Message(555, 0, Packet(net_kind::kMesh, {}));
  games().GetMessage(vm);
  EXPECT_EQ(Exec(op::kNetMessageMesh, {I(0)}), 7001);
  EXPECT_EQ(Exec(op::kNetMessageMesh, {I(1)}), 0);  // an empty payload makes nothing
}

}  // namespace
}  // namespace zv::test
