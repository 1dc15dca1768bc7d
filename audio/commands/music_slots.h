#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zv {

class AttachedData;
class Song;
class SongEngine;

// Music numbers the program may use, and the table's size (the loops over
// every slot cover all 33).
constexpr int32_t kFirstMusic = 1;
constexpr int32_t kLastMusic = 32;
constexpr int32_t kMusicSlots = 33;

struct MusicSlot {
  bool loaded = false;
  bool playing = false;
  bool paused = false;
  bool looping = false;
  bool via_mci = false;
  Song* song = nullptr;
  int32_t cd_track = -1;
};

// What the music slots need of CD audio.
class MusicCd {
 public:
  virtual ~MusicCd() = default;
  virtual bool PlayTrack(int32_t track) = 0;
  virtual bool Stop() = 0;
  virtual bool Pause(bool paused) = 0;
  // 1 play the track once, 2 repeat it.
  virtual void SetPlayMode(int8_t mode) = 0;
  virtual bool SetVolume(int32_t volume) = 0;
  // Tracks on the disc (the device is opened when needed); 0 without one.
  virtual int32_t TrackCount() = 0;
};

// A device driven by command strings, the way music files other than
// modules are played: "open", "play", "stop", "close", "seek", "pause",
// "resume", "status" and "setaudio" with an alias. 0 for success, as the system's
// command strings answer; the reply is written when asked for.
class MciDevice {
 public:
  virtual ~MciDevice() = default;
  virtual int32_t SendString(const std::string& command, std::string* reply) = 0;
};

// The 33 music slots and the music operations behind the music commands:
// modules, RIFF MIDI files and segments through the song player (which
// plays no segments: they do not load), MIDI files and every other
// extension through command strings, CD tracks through the CD device.
class MusicSlots {
 public:
  MusicSlots(SongEngine& songs, MciDevice& mci, MusicCd& cd) : songs_(songs), mci_(mci), cd_(cd) {}
  MusicSlots(const MusicSlots&) = delete;
  MusicSlots& operator=(const MusicSlots&) = delete;

  MusicSlot& Slot(int32_t n) { return slots_[static_cast<size_t>(n)]; }
  static bool InRange(int32_t n) { return n >= kFirstMusic && n <= kLastMusic; }

  bool InitMusicSystem() { return true; }
  // `attached`: a built game's records, or null.
  bool LoadMusic(int32_t n, const std::string& name, AttachedData* attached);
  bool LoadCdMusic(int32_t n, int32_t track);
  void DeleteMusic(int32_t n);
  void DeleteAllMusic();
  bool ShutdownMusicSystem();
  bool PlayMusic(int32_t n);
  bool LoopMusic(int32_t n);
  bool StopMusic(int32_t n);
  bool PauseMusic(int32_t n);
  bool ResumeMusic(int32_t n);
  bool SetMusicVolume(int32_t n, int32_t volume);
  // Every frame: repeats finished looping songs, reports songs played once
  // that have ended as stopped, and watches the last music played through
  // command strings.
  void UpdateMusic();
  void PauseAllMusic();
  void ResumeAllMusic();

  // The command-string side.
  bool MciOpenMusic(int32_t n, const std::string& name, AttachedData* attached);
  bool MciCloseMusic(int32_t n);
  bool MciPlayMusic(int32_t n);
  bool MciLoopMusic(int32_t n);
  bool MciStopMusic(int32_t n);
  bool MciPauseMusic(int32_t n);
  bool MciResumeMusic(int32_t n);
  // Only media that have a loudness of their own take it (songs).
  bool MciSetVolume(int32_t n, int32_t volume);
  void UpdateMciMusic();

  // The kept command strings of a slot (for tests).
  const std::string& OpenCommand(int32_t n) const { return mci_slots_[static_cast<size_t>(n)].open; }
  int32_t LastMciSlot() const { return last_mci_; }

  // The extension and short extension a name is sorted by.
  static std::string Extension(const std::string& name);
  static std::string ShortExtension(const std::string& name);
  // The full path the open command names.
  static std::string FullPath(const std::string& name);

 private:
  struct MciSlot {
    std::string open;
    std::string play;
    int32_t length = 0;
    int32_t position = 0;
    int32_t loop = 0;
    int32_t volume = -1;  // as the program last set it; -1 never set
  };
  static std::string Alias(int32_t n);
  // Sends the slot's kept volume, when it has one.
  bool SendVolume(int32_t n);
  bool Send(const std::string& command, std::string* reply = nullptr) { return mci_.SendString(command, reply) == 0; }

  SongEngine& songs_;
  MciDevice& mci_;
  MusicCd& cd_;
  std::array<MusicSlot, kMusicSlots> slots_{};
  std::array<MciSlot, kMusicSlots> mci_slots_{};
  std::array<bool, kMusicSlots> paused_by_deactivation_{};
  int32_t last_mci_ = 0;
  int32_t frame_counter_ = 0;
};

}  // namespace zv
