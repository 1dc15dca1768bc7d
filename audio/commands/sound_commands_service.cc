#include "audio/commands/sound_commands_service.h"

#include "audio/library/cd_audio.h"
#include "audio/library/library.h"
#include "audio/library/mixer.h"
#include "audio/library/sound_feed.h"
#include "runtime/vm/vm.h"

namespace zv {
namespace {

// A source played by a feed unit of the mixer. The unit goes first when the
// feed goes, so the mixer never reads a source that is gone.
class MixerFeed final : public SoundFeed {
 public:
  explicit MixerFeed(std::unique_ptr<SoundFeedSource> source) : source_(std::move(source)) {}
  bool Start() {
    SoundFeedSource* source = source_.get();
    unit_ = SoundFeedUnit::Create([source](int16_t* out, int32_t frames) { return source->Read(out, frames); });
    return unit_ != nullptr;
  }
  void SetPaused(bool paused) override { unit_->SetActive(!paused); }
  bool Rewind() override {
    MixerGuard guard(MixerMutex());
    return source_->Rewind();
  }

 private:
  std::unique_ptr<SoundFeedSource> source_;
  std::unique_ptr<SoundFeedUnit> unit_;
};

}  // namespace

int32_t SoundCommandsService::FeedRate() { return slots_.Running() ? GetOutputRate() : 0; }

std::unique_ptr<SoundFeed> SoundCommandsService::StartFeed(std::unique_ptr<SoundFeedSource> source) {
  if (!slots_.Running() || !source) return nullptr;
  auto feed = std::make_unique<MixerFeed>(std::move(source));
  if (!feed->Start()) return nullptr;
  return feed;
}

void SoundCommandsService::UpdateSoundLibrary() {
  PumpCdEvents();
  music_->UpdateSoundLibrary();
}

SoundSlots* FindSoundSlots(Vm& vm) {
  auto* service = dynamic_cast<SoundCommandsService*>(vm.sound);
  return service ? &service->Slots() : nullptr;
}

}  // namespace zv
