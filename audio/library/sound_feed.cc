#include "audio/library/sound_feed.h"

#include <algorithm>

#include "audio/library/library.h"
#include "audio/library/mix_routines.h"
#include "audio/library/mixer.h"

namespace zv {

std::unique_ptr<SoundFeedUnit> SoundFeedUnit::Create(SoundFeedReader reader) {
  if (!AudioInitialised() || !reader) return nullptr;
  std::unique_ptr<SoundFeedUnit> feed(new SoundFeedUnit(std::move(reader)));
  // A block is never longer than the output buffer: no allocation while mixing.
  feed->frames_.assign(static_cast<size_t>(std::max(GetMixBufferLength(), 1)) * 2, 0);
  MixerGuard guard(MixerMutex());
  feed->unit_ = CreateDspUnit(Mix, kSoundFeedUnitPriority, feed.get());
  if (feed->unit_ == nullptr) return nullptr;
  feed->generation_ = GetMixerGeneration();
  return feed;
}

SoundFeedUnit::~SoundFeedUnit() {
  MixerGuard guard(MixerMutex());
  if (UnitAlive()) FreeDspUnit(unit_);
}

bool SoundFeedUnit::UnitAlive() const { return unit_ != nullptr && generation_ == GetMixerGeneration(); }

void SoundFeedUnit::SetActive(bool active) {
  MixerGuard guard(MixerMutex());
  if (UnitAlive()) SetDspUnitActive(unit_, active);
}

bool SoundFeedUnit::Active() const {
  MixerGuard guard(MixerMutex());
  return UnitAlive() && GetDspUnitActive(unit_);
}

void* SoundFeedUnit::Mix(void*, void* buffer, int32_t frames, void* user) {
  auto* feed = static_cast<SoundFeedUnit*>(user);
  if (feed == nullptr || buffer == nullptr || frames <= 0) return buffer;
  const int32_t wanted = std::min(frames, static_cast<int32_t>(feed->frames_.size() / 2));
  const int32_t got = std::clamp(feed->reader_(feed->frames_.data(), wanted), 0, wanted);
  AddInt16Frames(buffer, feed->frames_.data(), got);
  return buffer;
}

}  // namespace zv
