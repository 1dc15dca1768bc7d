// How a session moves from one host to another and back: a member whose
// host went asks it, follows the order of succession or takes over; the
// parts of a game that split find each other again; and a machine that
// leaves proves it.
#include <algorithm>
#include <set>
#include <utility>

#include "platform/netsession/session_core.h"

namespace zv::platform {

uint32_t SessionCore::NumberingBlock(MachineId id) {
  if (id < 0xFFFF) return (id + 1) << 16;
  uint32_t h = id;  // a 32-bit finalizer: every bit of the number moves every bit of the block
  h ^= h >> 16;
  h *= 0x85EB'CA6Bu;
  h ^= h >> 13;
  h *= 0xC2B2'AE35u;
  h ^= h >> 16;
  return (h % 0xFFFF + 1) << 16;
}

void SessionCore::OnMovingPacket(const wire::Message& message) {
  if (const auto* welcome = std::get_if<wire::Welcome>(&message)) return OnWelcomeBack(*welcome);
  // The machine asked still has a host, or went back to one: this machine
  // follows it there, a few times at most.
  if (const auto* back = std::get_if<wire::Return>(&message)) {
    if (back->host == self_ || ++redirects_ > kMaxRedirects) return Lose();
    returning_to_ = FormerHost{back->host, Resolve(back->address)};
    returned_ = true;
    return MoveTo(returning_to_->id, returning_to_->address);
  }
  const auto* refused = std::get_if<wire::Refused>(&message);
  // A host that leaves before it took this machine back is gone as one
  // that does not answer.
  if (!refused || refused->reason == wire::Refusal::kHostLeft) return;
  // The machine asked still hears the host: back to the host, once.
  if (refused->reason == wire::Refusal::kHostAlive && returning_to_ && !returned_ && host_ != returning_to_->id) {
    returned_ = true;
    return MoveTo(returning_to_->id, returning_to_->address);
  }
  Lose();
}

void SessionCore::OnWelcomeBack(const wire::Welcome& welcome) {
  if (welcome.member != self_ || welcome.host != host_) return Lose();
  // The new host's tables are the session's now: players it lacks went,
  // players it adds came; this machine's own stay as they are.
  std::map<PlayerId, Player> before = std::exchange(players_, {});
  for (const auto& [id, player] : before)
    if (player.owner == self_) players_[id] = player;
  LearnMachines(welcome);
  for (const wire::OwnedPlayer& p : welcome.players) {
    if (p.id == kAllPlayers || p.owner == self_ || players_.count(p.id)) continue;
    AddPlayer(p.id, p.name, p.owner);
    if (!before.count(p.id)) Tell(SessionEvent{SessionEvent::Type::kPlayerJoined, 0, 0, p.id, {}});
  }
  for (const auto& [id, player] : before)
    if (!players_.count(id)) Tell(SessionEvent{SessionEvent::Type::kPlayerLeft, 0, 0, id, {}});
  join_state_ = JoinState::kWelcomed;
  returning_to_.reset();
  returned_ = false;
  redirects_ = 0;
  passed_over_.clear();
  // Those that asked this machine to take over meanwhile come here too.
  SendAskersTo(host_, host_address_);
  Report();
  ResendUnstable();
  SendKeptMessages();
}

void SessionCore::OnPacketWhileMember(PeerKey from, std::span<const uint8_t> bytes, bool guaranteed) {
  if (!Migrates() || !Active()) return;
  std::optional<wire::Message> message = wire::Decode(bytes);
  const auto* rejoin = message ? std::get_if<wire::Rejoin>(&*message) : nullptr;
  if (!rejoin || rejoin->member == self_ || rejoin->application != application_ ||
      rejoin->instance != description_.instance)
    return;
  // Only a machine of the session can make this one take over.
  auto machine = machines_.find(rejoin->member);
  if (machine == machines_.end() || !Continues(rejoin->secret, machine->second.proof)) return;
  // A machine takes nobody over on another's word: the asker waits until
  // this one has its own answer. It is sent to this machine's host if that
  // still answers, or this one takes it in once its own link to the host
  // went silent for the link's whole wait and the host did not answer.
  if (asked_to_take_over_.size() < 16) asked_to_take_over_.emplace_back(from, std::vector(bytes.begin(), bytes.end()));
  if (join_state_ == JoinState::kWelcomed && !host_change_)
    host_change_ = HostChange{false, machines_[host_].address, true, true};
  (void)guaranteed;
}

void SessionCore::OnNewHostReached() {
  if (role_ != Role::kMember || join_state_ != JoinState::kMoving) return;
  // Each return shows a new secret: one asked again after its answer was
  // lost is recognised as well as the first.
  std::optional<Secret> secret = secrets_ ? secrets_->Next() : std::nullopt;
  if (!secret) return Lose();
  wire::Rejoin rejoin{application_, description_.instance, self_, *secret, GuaranteedLedger::ToWire(ledger_.taken()), {}, {}};
  for (const auto& [id, player] : players_)
    if (player.owner == self_) rejoin.players.push_back(PlayerInfo{id, player.name});
  // Nobody may have these but this machine and the others on their way:
  // as many as one message holds (a transport takes no larger one), each
  // sender's oldest first.
  size_t bytes = 0;
  std::set<MachineId> full;
  for (wire::Data& copy : ledger_.Copies([&](MachineId origin) { return IsGone(origin); })) {
    if (full.count(copy.origin) || bytes + copy.payload.size() > kMaxMessageBytes) {
      full.insert(copy.origin);
      continue;
    }
    bytes += copy.payload.size();
    rejoin.copies.push_back(std::move(copy));
  }
  Queue(kHostPeer, wire::Encode(rejoin), true);
}

std::optional<Secret> SessionCore::Leave() {
  // A joiner still waiting for its welcome may have been taken in all the
  // same: the host lets it go at once on its proof.
  const bool joining = role_ == Role::kMember && join_state_ == JoinState::kWaiting;
  if ((!Active() && !joining) || !secrets_) return std::nullopt;
  std::optional<Secret> secret = secrets_->Next();
  if (!secret) return std::nullopt;
  const std::vector<uint8_t> bytes = wire::Encode(wire::Leave{*secret});
  if (role_ == Role::kHost) {
    for (const auto& [id, machine] : machines_)
      if (machine.peer) Queue(*machine.peer, bytes, true);
    // A joiner learns at once that the host it asked is gone.
    for (const auto& [peer, stranger] : links_) Queue(peer, wire::Encode(wire::Refused{wire::Refusal::kHostLeft}), true);
  } else if (join_state_ == JoinState::kWelcomed || joining) {
    Queue(kHostPeer, bytes, true);
  }
  return secret;
}

void SessionCore::OnGoodbye(MachineId id, const Secret& secret, const std::vector<wire::Mark>& before) {
  if (leaving_.count(id) || id == self_ || !machines_.count(id)) return;
  if (role_ == Role::kHost) {
    if (!ProvesLeave(id, secret)) return;
    // Without a link (on its way back) it has nothing more on the way here.
    if (!machines_[id].peer) return MachineLeaves(id);
    LeaveOnceTaken(id, GuaranteedLedger::FromWire(before));
  } else if (role_ == Role::kMember && join_state_ == JoinState::kWelcomed && id == host_) {
    if (ProvesLeave(id, secret)) LeaveOnceTaken(id, GuaranteedLedger::FromWire(before));
  } else if (role_ == Role::kMember && Active() && id != host_) {
    // Another member leaves. Its host says so, unless the host itself is
    // gone: then it goes with the host, not after the wait for machines
    // that may come back.
    if (ProvesLeave(id, secret)) said_goodbye_.push_back(id);
  }
}

std::vector<wire::Mark> SessionCore::HandedOver(PeerKey peer) const {
  if (role_ == Role::kMember) {
    if (peer != kHostPeer || ledger_.LastOwn() == 0) return {};
    return {wire::Mark{self_, ledger_.LastOwn()}};
  }
  const std::optional<MachineId> machine = MachineAt(peer);
  return machine ? GuaranteedLedger::ToWire(ledger_.ChainedTo(*machine)) : std::vector<wire::Mark>{};
}

void SessionCore::LeaveOnceTaken(MachineId id, GuaranteedLedger::Marks before) {
  leaving_[id] = std::move(before);
  LeaveWhatIsTaken();
}

void SessionCore::LeaveWhatIsTaken() {
  for (auto it = leaving_.begin(); it != leaving_.end(); ++it) {
    const bool taken = std::all_of(it->second.begin(), it->second.end(),
                                   [&](const auto& m) { return ledger_.TakenFrom(m.first) >= m.second; });
    if (!taken) continue;
    // Leaving changes the machines, and may end this machine's part.
    const MachineId id = it->first;
    if (role_ == Role::kHost) {
      MachineLeaves(id);
    } else {
      leaving_.clear();
      HostLeaves();
    }
    return LeaveWhatIsTaken();
  }
}

bool SessionCore::ProvesLeave(MachineId id, const Secret& secret) {
  auto machine = machines_.find(id);
  if (machine == machines_.end() || !Continues(secret, machine->second.proof)) return false;
  machine->second.proof = secret;
  return true;
}

void SessionCore::MachineLeaves(MachineId id) {
  if (std::optional<PeerKey> link = machines_[id].peer) closed_links_.push_back(*link);
  DropMachine(id);
}

void SessionCore::HostLeaves() {
  leaving_.clear();
  if (Migrates())
    HostLost(true);
  else
    Lose();
}

Proof SessionCore::OwnProof() const { return secrets_ ? secrets_->Shown() : Proof{}; }

void SessionCore::HostLost(bool goodbye) {
  returning_to_ = FormerHost{host_, machines_[host_].address};
  // One that said goodbye keeps no part of the game going.
  returning_to_->given_up = goodbye;
  returned_ = false;
  redirects_ = 0;
  passed_over_.clear();
  // A host that said goodbye is gone; one whose link went is asked first
  // whether it still hosts (OnHostChecked), and gone back to when it does.
  join_state_ = JoinState::kMoving;
  if (goodbye) return NextHost();
  host_change_ = HostChange{false, returning_to_->address, true};
}

void SessionCore::OnHostChecked(bool alive) {
  if (role_ != Role::kMember) return;
  if (join_state_ == JoinState::kWelcomed) {
    // Only the host's silence on this machine's own link, for the link's
    // whole wait, makes it leave the host: an answer that did not come
    // proves nothing while the link holds. Those who asked wait for that.
    if (alive) SendAskersTo(host_, machines_[host_].address);
    return;
  }
  if (join_state_ != JoinState::kMoving || host_change_) return;
  if (alive && returning_to_ && host_ == returning_to_->id) return MoveTo(host_, returning_to_->address);
  NextHost();
}

void SessionCore::OnHostHint() {
  if (role_ != Role::kMember || join_state_ != JoinState::kWelcomed || host_change_) return;
  host_change_ = HostChange{false, machines_[host_].address, true, true};
}

void SessionCore::MoveTo(MachineId id, MachineAddress address) {
  join_state_ = JoinState::kMoving;
  host_ = id;
  if (!machines_.count(id)) machines_[id].address = address;
  host_change_ = HostChange{false, address};
}

void SessionCore::ComeBack() {
  if (role_ == Role::kMember && join_state_ == JoinState::kWelcomed) MoveTo(host_, machines_[host_].address);
}

void SessionCore::NextHost() {
  // A machine passed over may live on, hosting a part of its own: once
  // this one hosts, it looks for it.
  if (host_ != self_ && machines_.count(host_) &&
      std::none_of(passed_over_.begin(), passed_over_.end(), [&](const FormerHost& f) { return f.id == host_; }) &&
      !(returning_to_ && returning_to_->id == host_))
    passed_over_.push_back(FormerHost{host_, machines_[host_].address});
  DropMachine(host_);
  // Those that said goodbye meanwhile go with it, in that order.
  for (MachineId id : std::exchange(said_goodbye_, {})) DropMachine(id, false);
  // The machine with the lowest number left hosts: every member comes to
  // the same one from the list the host kept them up to date with.
  const MachineId next = machines_.empty() ? self_ : std::min(self_, machines_.begin()->first);
  if (next == self_) return TakeOver();
  MoveTo(next, machines_[next].address);
}

void SessionCore::TakeOver() {
  const std::optional<FormerHost> former = returning_to_;
  if (host_ != self_) DropMachine(host_);
  role_ = Role::kHost;
  join_state_ = JoinState::kNone;
  host_ = self_;
  // Players and machines made from now on come from a range of this
  // machine's own.
  next_id_ = std::max(next_id_, NumberingBlock(self_));
  next_machine_ = std::max(next_machine_, NumberingBlock(self_));
  // The host it lost, and machines before this one that it could not
  // reach, may live on where this machine cannot hear them: they are asked
  // now and then, and this part of the game goes back to one of them if
  // so. Until each has had its wait, the senders here keep their
  // guaranteed messages for it.
  if (former && former->id != self_) former_hosts_.push_back(*former);
  for (const FormerHost& f : std::exchange(passed_over_, {}))
    if (f.id != self_) former_hosts_.push_back(f);
  for (FormerHost& f : former_hosts_) f.since = now_ms_;
  sent_since_takeover_ = false;
  // Every other machine is on its way here. Members saw only the messages
  // meant for them: each one's next here starts its numbering at this host.
  std::vector<MachineId> others;
  for (auto& [id, machine] : machines_) others.push_back(id);
  ledger_.StartChainsAnew(others);
  // What the others bring back of the machines gone waits until all are
  // back: a message handed on before one that only a machine still on its
  // way has would be taken past it.
  settling_ = true;
  returning_to_.reset();
  for (MachineId id : others) Await(id);
  // Requests the old host never answered are refused.
  for (auto& [request, answer] : requests_)
    if (!answer) answer = kAllPlayers;
  ResendUnstable();
  SendKeptMessages();
  Tell(SessionEvent{SessionEvent::Type::kBecameHost, 0, 0, 0, {}});
  host_change_ = HostChange{true, {}};
  // Those who asked this machine to take over while it still asked its
  // host come back now.
  for (auto& [peer, bytes] : std::exchange(asked_to_take_over_, {})) OnHostPacket(peer, bytes, true);
  SettleWhenAllBack();
}

void SessionCore::SettleWhenAllBack() {
  if (role_ != Role::kHost || !settling_) return;
  if (std::any_of(machines_.begin(), machines_.end(), [](const auto& m) { return m.second.lost_at.has_value(); }))
    return;
  Settle();
}

void SessionCore::Settle() {
  settling_ = false;
  // In each sender's order: what this machine lacks it takes, and each
  // machine gets what it lacks, as though the sender had just sent it.
  const std::vector<wire::Data> copies = ledger_.Copies([&](MachineId origin) { return IsGone(origin); });
  ledger_.ForgetCopies();
  for (const wire::Data& data : copies) {
    if (data.sequence > ledger_.TakenFrom(data.origin)) {
      ledger_.SetTaken(data.origin, data.sequence);
      if (data.to == kAllPlayers ? OwnsPlayer(self_) : IsLocal(data.to)) Deliver(data.from, data.to, data.payload);
    }
    Relay(data, std::nullopt, true, false);
  }
  UpdateAllStable();
}

void SessionCore::OnFormerHostAlive(MachineId id) {
  if (role_ != Role::kHost) return;
  auto former = std::find_if(former_hosts_.begin(), former_hosts_.end(), [&](const FormerHost& f) { return f.id == id; });
  if (former == former_hosts_.end()) return;
  const FormerHost target = *former;
  if ((former->given_up && former->missed) ||
      std::any_of(departed_.begin(), departed_.end(), [](const auto& d) { return d.second.missed; }))
    return EndSplitPart();
  // The whole part goes back: each member to that host, then this machine.
  QueueToMembers(wire::Encode(wire::Return{target.id, target.address}), true, std::nullopt);
  role_ = Role::kMember;
  former_hosts_.clear();
  settling_ = false;
  ledger_.ForgetWaiting();
  // What was kept for the others goes: their senders, this machine among
  // them, send it again to that host.
  for (auto& [mid, machine] : machines_) {
    machine.peer.reset();
    machine.lost_at.reset();
    machine.kept.clear();
  }
  kept_bytes_ = 0;
  ledger_.ForgetAccounts();
  returning_to_ = target;
  returned_ = true;
  MoveTo(target.id, target.address);
}

void SessionCore::EndSplitPart() {
  QueueToMembers(wire::Encode(wire::Refused{wire::Refusal::kWrongSession}), true, std::nullopt);
  std::vector<OutgoingPacket> last_words = TakeOutgoing();
  role_ = Role::kMember;
  former_hosts_.clear();
  Lose();
  outgoing_ = std::move(last_words);
}

void SessionCore::SendAskersTo(MachineId host, MachineAddress address) {
  for (auto& [peer, bytes] : std::exchange(asked_to_take_over_, {}))
    Queue(peer, wire::Encode(wire::Return{host, address}), true);
}

std::optional<SessionCore::HostChange> SessionCore::TakeHostChange() { return std::exchange(host_change_, {}); }

std::vector<MachineAddress> SessionCore::AwaitedAddresses() const {
  std::vector<MachineAddress> out;
  if (role_ != Role::kHost) return out;
  for (const auto& [id, machine] : machines_)
    if (machine.lost_at && machine.address.host != 0) out.push_back(machine.address);
  return out;
}

}  // namespace zv::platform
