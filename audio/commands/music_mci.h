#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "audio/commands/music_slots.h"

namespace zv {

class SongEngine;

// One file opened through command strings, as it plays.
class MciMedia {
 public:
  virtual ~MciMedia() = default;
  virtual bool Play() = 0;
  // Halts where it is; Rewind goes back to the start.
  virtual bool Stop() = 0;
  virtual bool Rewind() = 0;
  virtual bool Pause() = 0;
  virtual bool Resume() = 0;
  virtual int32_t LengthMs() = 0;
  virtual int32_t PositionMs() = 0;
  // 0 to 255; media without a loudness of their own keep theirs.
  virtual bool SetVolume(int32_t /*volume*/) { return true; }
};

// Opens a file (a path of this machine) for play; null when it cannot play.
class MciMediaOpener {
 public:
  virtual ~MciMediaOpener() = default;
  virtual std::unique_ptr<MciMedia> Open(const std::string& path) = 0;
};

// The command-string device of the music slots: it understands the verbs
// the slots send ("open \"path\" alias a", "play a", "stop a", "close a",
// "seek a to start", "pause a", "resume a", "status a length",
// "status a position", "setaudio a volume to n"), with times in
// milliseconds and volumes 0 to 255, and plays the files through the opener.
class MciMusicDevice final : public MciDevice {
 public:
  explicit MciMusicDevice(MciMediaOpener& opener) : opener_(opener) {}
  int32_t SendString(const std::string& command, std::string* reply) override;
  bool IsOpen(const std::string& alias) const { return media_.count(alias) != 0; }

 private:
  MciMediaOpener& opener_;
  std::map<std::string, std::unique_ptr<MciMedia>> media_;
};

// Error numbers the device answers with (the system's own numbering).
namespace mci_error {
constexpr int32_t kUnrecognisedCommand = 261;
constexpr int32_t kInvalidDevice = 263;
constexpr int32_t kFileNotFound = 275;
constexpr int32_t kAliasInUse = 289;
constexpr int32_t kBadArgument = 274;
}  // namespace mci_error

// Plays opened files through the sound library: MIDI files (and anything
// else the song player takes) as songs of `songs`, WAV and MPEG audio as
// library samples on a reserved channel, and every other sound file the
// platform's decoder reads (WMA, Ogg Vorbis, FLAC, AAC ...) decoded as it
// plays, mixed beside the channels.
class LibraryMciMediaOpener final : public MciMediaOpener {
 public:
  explicit LibraryMciMediaOpener(SongEngine& songs) : songs_(songs) {}
  std::unique_ptr<MciMedia> Open(const std::string& path) override;

 private:
  SongEngine& songs_;
};

}  // namespace zv
