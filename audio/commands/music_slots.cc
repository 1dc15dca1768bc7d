#include "audio/commands/music_slots.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>

#include "audio/library/formats/song_engine.h"
#include "platform/paths/path_resolver.h"
#include "runtime/attached/attached_data.h"

namespace zv {
namespace {

constexpr size_t kMaxCurrentDirectory = 256;
// The per-frame check of the watched music runs on every 11th frame.
constexpr int32_t kMciCheckFrames = 11;

bool ExtensionIs(const std::string& extension, const char* wanted) { return platform::EqualNoCase(extension, wanted); }

// A built game's record of that name, in a temporary file of the extension.
std::string ResolvedCopy(const std::string& name, const std::string& extension, AttachedData* attached) {
  std::string copy = name;
  if (attached) attached->ResolveVirtualFile(copy, extension);
  return copy;
}

}  // namespace

std::string MusicSlots::Extension(const std::string& name) {
  return name.size() < 5 ? "mid" : name.substr(name.size() - 3);
}

std::string MusicSlots::ShortExtension(const std::string& name) {
  return name.size() < 4 ? "mi" : name.substr(name.size() - 2);
}

std::string MusicSlots::FullPath(const std::string& name) {
  // A drive letter, or a path of this machine (a built game's temporary
  // file), is already whole.
  if ((name.size() >= 2 && name[1] == ':') || (!name.empty() && name[0] == '/')) return name;
  char buffer[kMaxCurrentDirectory + 1] = {};
  if (!getcwd(buffer, sizeof buffer)) buffer[0] = '\0';
  return std::string(buffer) + "\\" + name;
}

std::string MusicSlots::Alias(int32_t n) { return "music" + std::to_string(n); }

bool MusicSlots::LoadMusic(int32_t n, const std::string& name, AttachedData* attached) {
  const std::string extension = Extension(name);
  const std::string short_extension = ShortExtension(name);
  const std::string copy = ResolvedCopy(name, extension, attached);
  if (slots_[static_cast<size_t>(n)].loaded) DeleteMusic(n);
  MusicSlot& slot = Slot(n);
  // Segment files ("sgt") are sorted here with the songs, but no segment
  // player exists on this platform and the song player reads none of them:
  // they fail to load, with the load warning.
  if (ExtensionIs(extension, "rmi") || ExtensionIs(extension, "mod") || ExtensionIs(extension, "s3m") ||
      ExtensionIs(extension, "sgt") || ExtensionIs(short_extension, "xm") || ExtensionIs(short_extension, "it")) {
    slot.song = songs_.LoadSong(platform::Paths().Resolve(copy));
    if (!slot.song) return false;
    slot.via_mci = false;
    slot.cd_track = -1;
    return true;
  }
  if (!MciOpenMusic(n, name, attached)) return false;
  slot.via_mci = true;
  return true;
}

bool MusicSlots::LoadCdMusic(int32_t n, int32_t track) {
  MusicSlot& slot = Slot(n);
  // The disc must have a track: the device's own count (it opens the
  // device when needed).
  if (cd_.TrackCount() < 1) {
    slot.cd_track = -1;
    return false;
  }
  slot.cd_track = track;
  slot.via_mci = false;
  slot.song = nullptr;
  return true;
}

void MusicSlots::DeleteMusic(int32_t n) {
  MusicSlot& slot = Slot(n);
  if (!slot.loaded) return;
  if (slot.via_mci) {
    slot.via_mci = false;
    MciCloseMusic(n);
    return;
  }
  if (slot.cd_track != -1)
    cd_.Stop();
  else if (slot.song)
    songs_.FreeSong(slot.song);
  slot.song = nullptr;
  slot.cd_track = -1;
}

void MusicSlots::DeleteAllMusic() {
  for (int32_t n = 0; n < kMusicSlots; ++n) DeleteMusic(n);
  slots_.fill(MusicSlot{});
}

bool MusicSlots::ShutdownMusicSystem() {
  DeleteAllMusic();
  return true;
}

bool MusicSlots::PlayMusic(int32_t n) {
  MusicSlot& slot = Slot(n);
  if (slot.via_mci) return MciPlayMusic(n);
  if (slot.cd_track != -1) {
    const bool ok = cd_.PlayTrack(slot.cd_track);
    cd_.SetPlayMode(1);
    return ok;
  }
  if (slot.song) return songs_.SetSongPlayOnce(slot.song, true) && songs_.PlaySong(slot.song);
  return true;
}

bool MusicSlots::LoopMusic(int32_t n) {
  MusicSlot& slot = Slot(n);
  if (slot.via_mci) return MciLoopMusic(n);
  if (slot.cd_track != -1) {
    const bool ok = cd_.PlayTrack(slot.cd_track);
    cd_.SetPlayMode(2);
    return ok;
  }
  if (slot.song) return songs_.SetSongPlayOnce(slot.song, false) && songs_.PlaySong(slot.song);
  return true;
}

bool MusicSlots::StopMusic(int32_t n) {
  MusicSlot& slot = Slot(n);
  if (slot.via_mci) return MciStopMusic(n);
  if (slot.cd_track != -1) return cd_.Stop();
  if (slot.song) return songs_.StopSong(slot.song);
  return true;
}

bool MusicSlots::PauseMusic(int32_t n) {
  MusicSlot& slot = Slot(n);
  if (slot.via_mci) return MciPauseMusic(n);
  if (slot.cd_track != -1)
    cd_.Pause(true);
  else if (slot.song)
    songs_.SetSongPaused(slot.song, 1);
  return true;
}

bool MusicSlots::ResumeMusic(int32_t n) {
  MusicSlot& slot = Slot(n);
  if (slot.via_mci) return MciResumeMusic(n);
  if (slot.cd_track != -1)
    cd_.Pause(false);
  else if (slot.song)
    songs_.SetSongPaused(slot.song, 0);
  return true;
}

bool MusicSlots::SetMusicVolume(int32_t n, int32_t volume) {
  MusicSlot& slot = Slot(n);
  if (slot.via_mci) return MciSetVolume(n, volume);
  if (slot.cd_track != -1)
    cd_.SetVolume(volume);
  else if (slot.song)
    songs_.SetSongMasterVolume(slot.song, volume);
  return true;
}

void MusicSlots::UpdateMusic() {
  for (MusicSlot& slot : slots_) {
    if (!slot.loaded || slot.via_mci || !slot.playing || !slot.song) continue;
    if (slot.looping) {
      if (songs_.IsSongFinished(slot.song)) songs_.PlaySong(slot.song);
    } else if (!songs_.IsSongPlaying(slot.song)) {
      // A song played once has fallen silent at its end: let go of its
      // channels and report it stopped.
      songs_.StopSong(slot.song);
      slot.playing = false;
    }
  }
  UpdateMciMusic();
}

void MusicSlots::PauseAllMusic() {
  for (int32_t n = 0; n < kMusicSlots; ++n) {
    paused_by_deactivation_[static_cast<size_t>(n)] = false;
    const MusicSlot& slot = Slot(n);
    if (slot.loaded && slot.playing && !slot.paused) {
      PauseMusic(n);
      paused_by_deactivation_[static_cast<size_t>(n)] = true;
    }
  }
}

void MusicSlots::ResumeAllMusic() {
  for (int32_t n = 0; n < kMusicSlots; ++n) {
    if (!paused_by_deactivation_[static_cast<size_t>(n)]) continue;
    paused_by_deactivation_[static_cast<size_t>(n)] = false;
    ResumeMusic(n);
  }
}

// ---- Command strings ----------------------------------------------------------------

bool MusicSlots::MciOpenMusic(int32_t n, const std::string& name, AttachedData* attached) {
  const std::string copy = ResolvedCopy(name, Extension(name), attached);
  if (Slot(n).loaded) MciCloseMusic(n);
  const std::string alias = Alias(n);
  const std::string open = "open \"" + FullPath(copy) + "\" alias " + alias;
  if (!Send(open)) return false;
  MciSlot& kept = mci_slots_[static_cast<size_t>(n)];
  kept.open = open;
  kept.play = "play " + alias;
  kept.volume = -1;
  std::string reply;
  if (!Send("status " + alias + " length", &reply)) return false;
  kept.length = std::atoi(reply.c_str());
  return true;
}

bool MusicSlots::MciCloseMusic(int32_t n) {
  const std::string alias = Alias(n);
  if (!Send("stop " + alias)) return false;
  if (!Send("close " + alias)) return false;
  last_mci_ = 0;
  return true;
}

bool MusicSlots::MciPlayMusic(int32_t n) {
  if (!Send(mci_slots_[static_cast<size_t>(n)].play)) return false;
  last_mci_ = n;
  mci_slots_[static_cast<size_t>(n)].loop = 0;
  return true;
}

bool MusicSlots::MciLoopMusic(int32_t n) {
  if (!Send(mci_slots_[static_cast<size_t>(n)].play)) return false;
  last_mci_ = n;
  mci_slots_[static_cast<size_t>(n)].loop = 1;
  return true;
}

bool MusicSlots::MciStopMusic(int32_t n) {
  const std::string alias = Alias(n);
  if (!Send("stop " + alias)) return false;
  return Send("seek " + alias + " to start");
}

bool MusicSlots::MciSetVolume(int32_t n, int32_t volume) {
  mci_slots_[static_cast<size_t>(n)].volume = volume;
  return SendVolume(n);
}

bool MusicSlots::SendVolume(int32_t n) {
  const int32_t volume = mci_slots_[static_cast<size_t>(n)].volume;
  return volume < 0 || Send("setaudio " + Alias(n) + " volume to " + std::to_string(volume));
}

bool MusicSlots::MciPauseMusic(int32_t n) { return Send("pause " + Alias(n)); }
bool MusicSlots::MciResumeMusic(int32_t n) { return Send("resume " + Alias(n)); }

void MusicSlots::UpdateMciMusic() {
  const int32_t n = last_mci_;
  if (n <= 0 || n >= kMusicSlots) return;
  if (++frame_counter_ < kMciCheckFrames) return;
  frame_counter_ = 0;
  MciSlot& kept = mci_slots_[static_cast<size_t>(n)];
  const std::string alias = Alias(n);
  std::string reply;
  if (!Send("status " + alias + " position", &reply)) return;
  kept.position = std::atoi(reply.c_str());
  if (kept.position < kept.length) return;
  Send("stop " + alias);
  if (kept.loop != 1) {
    Slot(n).playing = false;
    return;
  }
  if (!Send("close " + alias)) return;
  // Opened again, the music keeps the loudness the program gave it.
  if (!Send(kept.open) || !SendVolume(n)) return;
  Send(kept.play);
}

}  // namespace zv
