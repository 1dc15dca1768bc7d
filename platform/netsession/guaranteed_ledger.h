#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "platform/netsession/session_wire.h"

namespace zv::platform {

// What one machine of a session knows of the guaranteed messages: every
// machine numbers its own from 1 and keeps them until every other machine
// has them; it takes each other machine's only in that machine's order, a
// later one waiting for the one before it; and a host keeps an account of
// what it handed to each machine over its link and what each said it has,
// and a copy of what it handed on until everybody it went to has it. The
// session's rules (session_core.h) decide where messages go; this is their
// record. A member also keeps a copy of what it takes from the others
// until the host says every machine it went to has it: should the machine
// that sent it be gone by then, the survivors pass on to each other what
// any of them took.
class GuaranteedLedger {
 public:
  using Marks = std::map<MachineId, uint32_t>;
  // Bytes kept in each of the ledger's stores before it lets go.
  static constexpr size_t kMaxBytes = 64u << 20;

  // One of this machine's own, kept until every other machine has it.
  struct Own {
    uint32_t sequence = 0;
    PlayerId from = 0;
    PlayerId to = 0;
    std::vector<uint8_t> data;
  };
  // A message to pass on, in its origin's order; `fresh`: not taken before
  // (one that came again is passed on to those that may lack it).
  struct Taken {
    wire::Data data;
    std::optional<MachineId> sender;
    bool fresh = false;
  };
  struct TakeResult {
    std::vector<Taken> passed;
    bool overflow = false;  // what waits for a missing message is too much
  };
  // Host: one machine's share of the guaranteed messages.
  struct Account {
    Marks delivered;  // what it said it has
    Marks forwarded;  // what it was handed
    Marks chained;    // the last it was handed over a link, by origin
    Marks let_go;     // let go of before it said it has them
  };

  static uint32_t MarkOf(const Marks& marks, MachineId origin);
  static std::vector<wire::Mark> ToWire(const Marks& marks);
  // The highest of each origin's.
  static Marks FromWire(const std::vector<wire::Mark>& marks);

  // ---- This machine's own ------------------------------------------------
  uint32_t LastOwn() const { return next_sequence_ - 1; }
  bool OwnFits(size_t bytes) const { return own_bytes_ + bytes <= kMaxBytes; }
  // Numbers a message of this machine's player and keeps it; past the
  // bound the oldest are let go: they only matter should the host change
  // before they are everywhere.
  wire::Data NumberOwn(MachineId self, PlayerId from, PlayerId to, std::vector<uint8_t> payload);
  // Every other machine has those up to `upto`.
  void ReleaseOwn(uint32_t upto);
  // Those not known to be everywhere, to be sent again after a host change.
  std::vector<wire::Data> OwnToSendAgain(MachineId self) const;

  // ---- Taken from the others ---------------------------------------------
  const Marks& taken() const { return taken_; }
  uint32_t TakenFrom(MachineId origin) const { return MarkOf(taken_, origin); }
  void SetTaken(MachineId origin, uint32_t sequence) { taken_[origin] = sequence; }
  // A numbered message from `sender` (host) or the host (member): taken
  // only after the one before it (`prior`); one that comes early waits for
  // it, and those waiting for it follow it. `now` times the wait.
  TakeResult Take(wire::Data data, std::optional<MachineId> sender, uint64_t now);
  // The origins whose missing message was waited for `wait` ms by `now`.
  std::vector<MachineId> Overdue(uint64_t now, uint64_t wait) const;
  // Drops what waits for a message of `origin` that will never come.
  void StopWaitingFor(MachineId origin);
  // Forgets everything waiting: its senders keep it, and send it again
  // wherever this machine goes.
  void ForgetWaiting();
  // Host that took over: the next message of each of `origins` starts its
  // numbering here (this machine, a member until now, saw only those meant
  // for it).
  void StartChainsAnew(const std::vector<MachineId>& origins);

  // ---- Copies of the others' -----------------------------------------------
  // Past the bound the oldest go: they matter only should their sender be
  // gone before every machine has them.
  void KeepCopy(const wire::Data& data);
  // Those up to each mark are everywhere they went.
  void ReleaseCopies(const Marks& stable);
  // The copies of those origins `keep` accepts, by origin and number.
  template <class Keep>
  std::vector<wire::Data> Copies(Keep keep) const {
    std::vector<wire::Data> out;
    for (const auto& [origin, copies] : copies_)
      if (keep(origin))
        for (const auto& [sequence, data] : copies) out.push_back(data);
    return out;
  }
  void ForgetCopies();
  // The last message of `origin` this machine's host handed it over its
  // link (host: to machine `id`).
  uint32_t ChainedTo(MachineId id, MachineId origin) const;
  // Every origin's last one handed to machine `id` over its link.
  Marks ChainedTo(MachineId id) const;

  // ---- Host: what each machine was handed and has ---------------------------
  Account& AccountOf(MachineId id) { return accounts_[id]; }
  void DropAccount(MachineId id);
  // `id` says it has `marks` (only of origins `known` accepts).
  template <class Known>
  void TakeMarks(MachineId id, const std::vector<wire::Mark>& marks, Known known) {
    Marks& has = accounts_[id].delivered;
    for (const wire::Mark& m : marks)
      if (known(m.origin)) has[m.origin] = std::max(has[m.origin], m.sequence);
    ReleaseHanded();
  }
  // The one before `sequence` on machine `id`'s way, which becomes it.
  uint32_t Chain(MachineId id, MachineId origin, uint32_t sequence);
  // A guaranteed message kept for `id` while it was away, on its way now;
  // false when it has it already.
  bool Rechain(MachineId id, std::vector<uint8_t>& bytes);
  // A message handed on over the links of `to` (machines, with the one
  // before it on each one's way), kept until each has it.
  void KeepHanded(const wire::Data& data, std::vector<std::pair<MachineId, uint32_t>> to);
  // Whether `id`, back on a new link, has what was let go of what it was
  // handed: otherwise it cannot be caught up.
  bool CanCatchUp(MachineId id) const;
  // What `id` lacks of what it was handed, in the order it went.
  std::vector<wire::Data> HandAgain(MachineId id) const;
  // Whether `id` lacks something it was handed.
  bool LacksHanded(MachineId id) const;
  // The last message of `origin` that every machine handed one has, up to
  // `upto`.
  uint32_t StableUpTo(MachineId origin, uint32_t upto) const;
  // The accounts of a host that is one no longer (its part of the game
  // goes to another host: what it handed on is its senders' to send
  // again), or of a member that learns the machines anew.
  void ForgetAccounts();

 private:
  struct Handed {
    wire::Data data;
    std::vector<std::pair<MachineId, uint32_t>> to;
    size_t Bytes() const { return data.payload.size() + sizeof(wire::Data); }
  };
  struct Waiting {
    wire::Data data;
    std::optional<MachineId> sender;
  };

  bool Lacks(MachineId id, const Handed& handed) const;
  void ReleaseHanded();

  uint32_t next_sequence_ = 1;
  std::deque<Own> own_;
  size_t own_bytes_ = 0;
  Marks taken_;  // the last guaranteed message taken from each machine
  std::map<MachineId, std::map<uint32_t, Waiting>> waiting_;  // by origin and number
  std::map<MachineId, uint64_t> gap_since_;  // when a message of that origin first waited
  size_t waiting_bytes_ = 0;
  std::set<MachineId> unchained_;
  std::map<MachineId, Account> accounts_;
  std::deque<Handed> handed_;  // in the order handed on
  size_t handed_bytes_ = 0;
  std::map<MachineId, std::map<uint32_t, wire::Data>> copies_;  // by origin and number
  size_t copies_bytes_ = 0;
};

}  // namespace zv::platform
