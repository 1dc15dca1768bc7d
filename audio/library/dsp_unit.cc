#include "audio/library/dsp_unit.h"

#include <new>

#include "audio/library/audio_error.h"
#include "audio/library/channel.h"
#include "audio/library/mix_routines.h"
#include "audio/library/mixer.h"

namespace zv {
namespace {

// The chain's head; it is not a unit that runs.
DspUnit& ChainHead() {
  static DspUnit head;
  return head;
}

void UnlinkUnit(DspUnit& unit) {
  unit.prev->next = unit.next;
  unit.next->prev = unit.prev;
  unit.next = unit.prev = &unit;
}

// Inserts after every unit of a lower or equal priority.
void InsertByPriority(DspUnit& unit, int32_t priority) {
  if (priority < 0) priority = 0;
  MixerGuard guard(MixerMutex());
  unit.priority = priority;
  UnlinkUnit(unit);
  DspUnit& head = ChainHead();
  DspUnit* at = head.next;
  while (at != &head && at->priority <= priority) at = at->next;
  unit.next = at;
  unit.prev = at->prev;
  at->prev->next = &unit;
  at->prev = &unit;
}

// A unit's voices go back to the idle list before the unit goes, so no
// list the mixer walks points into freed memory.
void ReleaseUnitVoices(DspUnit& unit) {
  while (!unit.channels.Empty()) ReturnVoiceToIdleList(*static_cast<ChannelRecord*>(unit.channels.next));
}

}  // namespace

DspUnit* CreateDspUnit(DspCallback callback, int32_t priority, void* user) {
  auto* unit = new (std::nothrow) DspUnit();
  if (unit == nullptr) return nullptr;
  ClearAudioErrorOnLibraryThread();
  unit->callback = callback;
  unit->user = user;
  unit->active = false;
  InsertByPriority(*unit, priority);
  return unit;
}

void FreeDspUnit(DspUnit* unit) {
  if (unit == nullptr) return;
  MixerGuard guard(MixerMutex());
  ClearAudioErrorOnLibraryThread();
  ReleaseUnitVoices(*unit);
  UnlinkUnit(*unit);
  delete unit;
}

void SetDspUnitPriority(DspUnit* unit, int32_t priority) {
  if (unit == nullptr) return;
  ClearAudioErrorOnLibraryThread();
  InsertByPriority(*unit, priority);
}

int32_t GetDspUnitPriority(const DspUnit* unit) { return unit ? unit->priority : -1; }

void SetDspUnitActive(DspUnit* unit, bool active) {
  if (unit == nullptr) return;
  MixerGuard guard(MixerMutex());
  unit->active = active;
}

bool GetDspUnitActive(const DspUnit* unit) { return unit && unit->active; }

void RunDspChain(void* block, int32_t frames) {
  DspUnit& head = ChainHead();
  void* buffer = block;
  for (DspUnit* unit = head.next; unit != &head; unit = unit->next) {
    if (unit->active && unit->callback) buffer = unit->callback(block, buffer, frames, unit->user);
  }
}

void FreeAllDspUnits() {
  MixerGuard guard(MixerMutex());
  DspUnit& head = ChainHead();
  while (head.next != &head) FreeDspUnit(head.next);
}

void* ChannelMixCallback(void* block, void* buffer, int32_t frames, void* user) {
  (void)block;
  auto* unit = static_cast<DspUnit*>(user);
  if (unit == nullptr || unit->channels.Empty()) return buffer;
  MixVoices(buffer, unit->channels, frames, GetReverbSendBus(frames));
  return buffer;
}

}  // namespace zv
