#include "audio/commands/music_service.h"

#include "audio/library/cd_audio.h"
#include "audio/library/formats/song_library_host.h"
#include "runtime/vm/vm.h"

namespace zv {

bool LibraryMusicCd::PlayTrack(int32_t track) { return PlayCdTrack(track); }
bool LibraryMusicCd::Stop() { return StopCd(); }
bool LibraryMusicCd::Pause(bool paused) { return PauseCd(paused); }
void LibraryMusicCd::SetPlayMode(int8_t mode) { SetCdPlayMode(mode); }
bool LibraryMusicCd::SetVolume(int32_t volume) { return SetCdVolume(volume); }
int32_t LibraryMusicCd::TrackCount() { return GetCdTrackCount(); }

MusicService::MusicService()
    : opener_(std::make_unique<LibraryMciMediaOpener>(LibrarySongs())),
      mci_(std::make_unique<MciMusicDevice>(*opener_)),
      cd_(std::make_unique<LibraryMusicCd>()),
      slots_(std::make_unique<MusicSlots>(LibrarySongs(), *mci_, *cd_)) {}

MusicService::MusicService(SongEngine& songs, MciDevice& mci, MusicCd& cd)
    : slots_(std::make_unique<MusicSlots>(songs, mci, cd)) {}

MusicService::~MusicService() { slots_->DeleteAllMusic(); }

MusicSlots* FindMusicSlots(Vm& vm) {
  if (auto* service = dynamic_cast<MusicService*>(vm.sound)) return &service->Slots();
  if (auto* owner = dynamic_cast<MusicOwner*>(vm.sound)) return owner->OwnedMusic();
  return nullptr;
}

}  // namespace zv
