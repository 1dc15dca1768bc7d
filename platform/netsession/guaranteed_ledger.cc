#include "platform/netsession/guaranteed_ledger.h"

#include <algorithm>
#include <utility>

namespace zv::platform {

uint32_t GuaranteedLedger::MarkOf(const Marks& marks, MachineId origin) {
  auto it = marks.find(origin);
  return it == marks.end() ? 0 : it->second;
}

std::vector<wire::Mark> GuaranteedLedger::ToWire(const Marks& marks) {
  std::vector<wire::Mark> out;
  for (const auto& [origin, sequence] : marks) out.push_back(wire::Mark{origin, sequence});
  return out;
}

GuaranteedLedger::Marks GuaranteedLedger::FromWire(const std::vector<wire::Mark>& marks) {
  Marks out;
  for (const wire::Mark& m : marks) out[m.origin] = std::max(out[m.origin], m.sequence);
  return out;
}

// ---- This machine's own --------------------------------------------------------------

wire::Data GuaranteedLedger::NumberOwn(MachineId self, PlayerId from, PlayerId to, std::vector<uint8_t> payload) {
  const uint32_t sequence = next_sequence_++;
  wire::Data message{self, sequence, from, to, payload, sequence - 1};
  own_bytes_ += payload.size();
  own_.push_back(Own{sequence, from, to, std::move(payload)});
  while (own_bytes_ > kMaxBytes && own_.size() > 1) {
    own_bytes_ -= own_.front().data.size();
    own_.pop_front();
  }
  return message;
}

void GuaranteedLedger::ReleaseOwn(uint32_t upto) {
  while (!own_.empty() && own_.front().sequence <= upto) {
    own_bytes_ -= own_.front().data.size();
    own_.pop_front();
  }
}

std::vector<wire::Data> GuaranteedLedger::OwnToSendAgain(MachineId self) const {
  std::vector<wire::Data> out;
  for (const Own& m : own_) out.push_back(wire::Data{self, m.sequence, m.from, m.to, m.data, m.sequence - 1});
  return out;
}

// ---- Taken from the others -------------------------------------------------------------

GuaranteedLedger::TakeResult GuaranteedLedger::Take(wire::Data data, std::optional<MachineId> sender, uint64_t now) {
  TakeResult result;
  const MachineId origin = data.origin;
  bool moved = false;
  for (;;) {
    const uint32_t last = TakenFrom(origin);
    if (data.sequence <= last) {
      result.passed.push_back(Taken{std::move(data), sender, false});
    } else if (data.prior > last && !unchained_.count(origin)) {
      // It waits for the one before it.
      if (waiting_bytes_ + data.payload.size() > kMaxBytes) {
        result.overflow = true;
        return result;
      }
      gap_since_.try_emplace(origin, now);
      auto& waiting = waiting_[origin];
      const uint32_t sequence = data.sequence;
      if (!waiting.count(sequence)) {
        waiting_bytes_ += data.payload.size();
        waiting[sequence] = Waiting{std::move(data), sender};
      }
      break;
    } else {
      unchained_.erase(origin);
      taken_[origin] = data.sequence;
      result.passed.push_back(Taken{std::move(data), sender, true});
      moved = true;
    }
    auto waiting = waiting_.find(origin);
    if (waiting == waiting_.end()) break;
    auto next = waiting->second.begin();
    const uint32_t now_last = TakenFrom(origin);
    if (next->second.data.prior > now_last && next->first > now_last) break;
    data = std::move(next->second.data);
    sender = next->second.sender;
    waiting_bytes_ -= data.payload.size();
    waiting->second.erase(next);
    if (waiting->second.empty()) {
      waiting_.erase(waiting);
      gap_since_.erase(origin);
    }
  }
  // A gap was filled: what still waits waits for another one, which began
  // now, and has its own whole wait.
  if (moved && waiting_.count(origin)) gap_since_[origin] = now;
  return result;
}

std::vector<MachineId> GuaranteedLedger::Overdue(uint64_t now, uint64_t wait) const {
  std::vector<MachineId> out;
  for (const auto& [origin, since] : gap_since_)
    if (now - since >= wait) out.push_back(origin);
  return out;
}

void GuaranteedLedger::StopWaitingFor(MachineId origin) {
  if (auto waiting = waiting_.find(origin); waiting != waiting_.end()) {
    for (const auto& [sequence, w] : waiting->second) waiting_bytes_ -= w.data.payload.size();
    waiting_.erase(waiting);
  }
  gap_since_.erase(origin);
}

void GuaranteedLedger::ForgetWaiting() {
  waiting_.clear();
  gap_since_.clear();
  waiting_bytes_ = 0;
  unchained_.clear();
}

void GuaranteedLedger::StartChainsAnew(const std::vector<MachineId>& origins) {
  unchained_.insert(origins.begin(), origins.end());
}

// ---- Copies of the others' -------------------------------------------------------------

void GuaranteedLedger::KeepCopy(const wire::Data& data) {
  auto [at, fresh] = copies_[data.origin].try_emplace(data.sequence, data);
  if (!fresh) return;
  copies_bytes_ += data.payload.size();
  while (copies_bytes_ > kMaxBytes) {
    auto oldest = std::min_element(copies_.begin(), copies_.end(), [](const auto& a, const auto& b) {
      return a.second.size() > b.second.size();
    });
    copies_bytes_ -= oldest->second.begin()->second.payload.size();
    oldest->second.erase(oldest->second.begin());
    if (oldest->second.empty()) copies_.erase(oldest);
  }
}

void GuaranteedLedger::ReleaseCopies(const Marks& stable) {
  for (auto copies = copies_.begin(); copies != copies_.end();) {
    const uint32_t upto = MarkOf(stable, copies->first);
    auto& by_number = copies->second;
    while (!by_number.empty() && by_number.begin()->first <= upto) {
      copies_bytes_ -= by_number.begin()->second.payload.size();
      by_number.erase(by_number.begin());
    }
    copies = by_number.empty() ? copies_.erase(copies) : std::next(copies);
  }
}

void GuaranteedLedger::ForgetCopies() {
  copies_.clear();
  copies_bytes_ = 0;
}

uint32_t GuaranteedLedger::ChainedTo(MachineId id, MachineId origin) const {
  auto account = accounts_.find(id);
  return account == accounts_.end() ? 0 : MarkOf(account->second.chained, origin);
}

GuaranteedLedger::Marks GuaranteedLedger::ChainedTo(MachineId id) const {
  auto account = accounts_.find(id);
  return account == accounts_.end() ? Marks{} : account->second.chained;
}

// ---- Host: what each machine was handed and has ------------------------------------------

void GuaranteedLedger::DropAccount(MachineId id) {
  accounts_.erase(id);
  // It may have been what held the others' messages back.
  ReleaseHanded();
}

uint32_t GuaranteedLedger::Chain(MachineId id, MachineId origin, uint32_t sequence) {
  Account& account = accounts_[id];
  uint32_t& last = account.chained[origin];
  const uint32_t prior = std::max(last, MarkOf(account.delivered, origin));
  last = sequence;
  return prior;
}

bool GuaranteedLedger::Rechain(MachineId id, std::vector<uint8_t>& bytes) {
  std::optional<wire::Message> message = wire::Decode(bytes);
  auto* data = message ? std::get_if<wire::Data>(&*message) : nullptr;
  if (!data || data->sequence == 0) return true;
  const Account& account = accounts_[id];
  if (data->sequence <= std::max(MarkOf(account.chained, data->origin), MarkOf(account.delivered, data->origin)))
    return false;
  data->prior = Chain(id, data->origin, data->sequence);
  bytes = wire::Encode(*data);
  return true;
}

void GuaranteedLedger::KeepHanded(const wire::Data& data, std::vector<std::pair<MachineId, uint32_t>> to) {
  Handed handed{data, std::move(to)};
  handed_bytes_ += handed.Bytes();
  handed_.push_back(std::move(handed));
  // Past the bound the oldest go: they matter only should a link they went
  // into turn out to have been dead, and a machine that then lacks one is
  // given up when it comes back.
  while (handed_bytes_ > kMaxBytes && handed_.size() > 1) {
    const Handed& oldest = handed_.front();
    for (const auto& [id, prior] : oldest.to) {
      if (!Lacks(id, oldest)) continue;
      uint32_t& let_go = accounts_[id].let_go[oldest.data.origin];
      let_go = std::max(let_go, oldest.data.sequence);
    }
    handed_bytes_ -= oldest.Bytes();
    handed_.pop_front();
  }
}

bool GuaranteedLedger::Lacks(MachineId id, const Handed& handed) const {
  auto account = accounts_.find(id);
  return account != accounts_.end() && MarkOf(account->second.delivered, handed.data.origin) < handed.data.sequence;
}

void GuaranteedLedger::ReleaseHanded() {
  // In the order handed on: one that a machine lacks keeps those after it
  // until it has it, is gone, or the bound lets it go.
  while (!handed_.empty() && std::none_of(handed_.front().to.begin(), handed_.front().to.end(),
                                          [&](const auto& t) { return Lacks(t.first, handed_.front()); })) {
    handed_bytes_ -= handed_.front().Bytes();
    handed_.pop_front();
  }
}

bool GuaranteedLedger::CanCatchUp(MachineId id) const {
  auto account = accounts_.find(id);
  if (account == accounts_.end()) return true;
  for (const auto& [origin, sequence] : account->second.let_go)
    if (MarkOf(account->second.delivered, origin) < sequence) return false;
  return true;
}

std::vector<wire::Data> GuaranteedLedger::HandAgain(MachineId id) const {
  std::vector<wire::Data> out;
  for (const Handed& h : handed_)
    for (const auto& [to, prior] : h.to)
      if (to == id && Lacks(id, h)) {
        out.push_back(h.data);
        out.back().prior = prior;
      }
  return out;
}

bool GuaranteedLedger::LacksHanded(MachineId id) const {
  return std::any_of(handed_.begin(), handed_.end(), [&](const Handed& h) {
    return std::any_of(h.to.begin(), h.to.end(), [&](const auto& t) { return t.first == id; }) && Lacks(id, h);
  });
}

uint32_t GuaranteedLedger::StableUpTo(MachineId origin, uint32_t upto) const {
  uint32_t stable = upto;
  for (const auto& [id, account] : accounts_) {
    if (id == origin) continue;
    const uint32_t got = MarkOf(account.delivered, origin);
    if (MarkOf(account.forwarded, origin) > got) stable = std::min(stable, got);
  }
  return stable;
}

void GuaranteedLedger::ForgetAccounts() {
  accounts_.clear();
  handed_.clear();
  handed_bytes_ = 0;
}

}  // namespace zv::platform
