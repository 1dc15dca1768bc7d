#include "audio/library/formats/song_library_host.h"

#include <algorithm>
#include <cstring>

#include "audio/library/audio_error.h"
#include "audio/library/channel.h"
#include "audio/library/formats/file_layer.h"
#include "audio/library/formats/midi_song.h"
#include "audio/library/library.h"
#include "audio/library/mix_routines.h"
#include "audio/library/mixer.h"
#include "audio/library/sample.h"
#include "audio/library/song_hooks.h"

namespace zv {
namespace {

// Files larger than this are no module or MIDI file we could hold.
constexpr int32_t kMaxSongFileBytes = 256 << 20;

// Song samples live outside the library's table (index -2); the song frees
// them through its SongSample.
void FreeLibrarySample(void* record) { FreeSample(static_cast<SampleRecord*>(record)); }

SampleRecord* LibrarySampleOf(SongSample& sample) { return static_cast<SampleRecord*>(sample.host_sample.get()); }

}  // namespace

int32_t LibrarySongHost::MixRate() const { return GetOutputRate(); }
int32_t LibrarySongHost::BufferLengthMs() const { return std::max(25, GetOutputBufferMs() / 25 * 25); }
int32_t LibrarySongHost::BlockCount() const { return std::max(1, GetMixBlockCount()); }
int32_t LibrarySongHost::CurrentBlock() const { return GetMixerNextBlock(); }
void LibrarySongHost::LockMixer() { MixerMutex().lock(); }
void LibrarySongHost::UnlockMixer() { MixerMutex().unlock(); }
int32_t LibrarySongHost::ChannelCount() const { return zv::ChannelCount(); }
int32_t LibrarySongHost::ChannelsPlaying() { return GetChannelsPlaying(); }

VoiceLink& LibrarySongHost::ListOf(Song& song) {
  auto& list = lists_[&song];
  if (!list) list = std::make_unique<VoiceLink>();
  return *list;
}

int32_t LibrarySongHost::AttachSongChannel(Song& song) {
  // A free software channel, never one that sounds or that a song or the
  // program reserved: the notes of a song do not cut off sound effects.
  ChannelRange& range = SoftwareChannelRange();
  if (range.last < range.first) return -1;
  const int32_t count = range.last - range.first + 1;
  for (int32_t k = 0; k < count; ++k) {
    const int32_t i = range.first + (range.next - range.first + k) % count;
    ChannelRecord* c = ChannelAt(i);
    if (!c || c->reserved || c->ops.is_playing == nullptr || c->ops.is_playing(*c)) continue;
    if (!AllocChannel(i, range, nullptr, 255)) return -1;
    c->priority = 255;
    c->reserved = 1;
    c->song_owned = 1;
    MoveVoiceToList(*c, ListOf(song));
    return i;
  }
  return -1;
}

void LibrarySongHost::DetachSongChannel(Song&, int32_t index) {
  ChannelRecord* c = ChannelAt(index);
  if (!c) return;
  c->reserved = 0;
  c->song_owned = 0;
  ReturnVoiceToIdleList(*c);
}

bool LibrarySongHost::IsChannelPlaying(int32_t index) { return zv::IsChannelPlaying(index & 0xFFF); }

int32_t LibrarySongHost::PlaySample(int32_t index, SongSample& sample) {
  ChannelRecord* c = ChannelAt(index);
  if (!c) return -1;
  SampleRecord* record = LibrarySampleOf(sample);
  if (!record || record->length <= 0) {
    StopChannel(index);
    return index;
  }
  const ChannelHandle handle = zv::PlaySample(index, record);
  c->reserved = 1;
  c->song_owned = 1;
  return handle;
}

void LibrarySongHost::SetChannelVolumeAbsolute(int32_t handle, int32_t volume) {
  zv::SetChannelVolumeAbsolute(handle, volume);
}

void LibrarySongHost::SetChannelPanDirect(int32_t handle, int32_t pan) { zv::SetChannelPanDirect(handle, pan); }

void LibrarySongHost::SetChannelFrequency(int32_t handle, int32_t hz) { zv::SetChannelFrequency(handle, hz); }

void LibrarySongHost::SetChannelSurround(int32_t handle, bool on) {
  MixerGuard guard(MixerMutex());
  if (ChannelRecord* c = LookupChannel(handle)) c->voice.surround = on ? 1 : 0;
}

void LibrarySongHost::StopChannel(int32_t handle) {
  ChannelRecord* c = LookupChannel(handle);
  if (!c) return;
  // Stopping sends a voice to the idle list; a song's voice goes back to its
  // song, so that its next note is mixed between the song's ticks again.
  const bool song_voice = c->voice.in_list != 0;
  VoiceLink* list = nullptr;
  if (song_voice) {
    for (auto& [song, head] : lists_) {
      for (VoiceLink* v = head->next; v != head.get(); v = v->next) {
        if (v == c) list = head.get();
      }
    }
  }
  zv::StopChannel(handle);
  if (list) MoveVoiceToList(*c, *list);
}

void LibrarySongHost::SetChannelStartOffset(int32_t index, int32_t frames) {
  MixerGuard guard(MixerMutex());
  if (ChannelRecord* c = ChannelAt(index)) c->voice.start_position = static_cast<uint32_t>(std::max(0, frames));
}

void LibrarySongHost::MixSongChannels(Song& song, void* buffer, int32_t frame_offset, int32_t frames) {
  auto it = lists_.find(&song);
  if (it == lists_.end() || it->second->Empty()) return;
  MixVoiceList(OffsetFrames(buffer, frame_offset), *it->second, frames);
}

void LibrarySongHost::AddStereoFrames(void* buffer, int32_t frame_offset, const float* left_right,
                                      int32_t frames) {
  AddFloatFrames(OffsetFrames(buffer, frame_offset), left_right, frames, 32768.0f);
}

bool LibrarySongHost::PrepareSample(SongSample& sample) {
  const uint32_t loop = sample.loop_mode == sample_loop::kNormal          ? sample_mode::kLoopNormal
                        : sample.loop_mode == sample_loop::kBidirectional ? sample_mode::kLoopBidi
                                                                          : sample_mode::kLoopOff;
  const uint32_t mode = sample_mode::k16Bit | sample_mode::kMono | sample_mode::k2D | loop;
  SampleRecord* record = AllocSampleSlot(-2, mode);
  if (!record) return false;
  sample.host_sample = std::shared_ptr<void>(record, FreeLibrarySample);
  SetSampleName(*record, sample.name.c_str());
  record->bits = 16;
  record->layout = static_cast<uint8_t>(sample_mode::kMono);
  record->length = static_cast<int32_t>(std::min<size_t>(sample.data.size(), static_cast<size_t>(sample.length)));
  record->loop_mode = sample.loop_mode;
  record->loop_start = sample.loop_start;
  record->loop_length = sample.loop_length;
  if (record->loop_start + record->loop_length > record->length) {
    record->loop_mode = kLoopModeOff;
    record->loop_start = 0;
    record->loop_length = record->length;
  }
  record->middle_c_rate = sample.middle_c_rate;
  record->default_volume = std::clamp(sample.library_volume, 0, 255);
  record->used_by_song = 1;
  if (record->length <= 0) return true;
  if (!record->ops.create_data || !record->ops.create_data(*record)) return false;
  return UploadSampleData(record, sample.data.data(), static_cast<size_t>(record->length) * 2, mode | sample_mode::kSigned);
}

void LibrarySongHost::ForgetSong(Song& song) {
  MixerGuard guard(MixerMutex());
  auto it = lists_.find(&song);
  if (it == lists_.end()) return;
  // Any voice still listed goes back to the idle list.
  while (!it->second->Empty()) {
    auto* c = static_cast<ChannelRecord*>(it->second->next);
    ReturnVoiceToIdleList(*c);
  }
  lists_.erase(it);
}

bool LibrarySongHost::ReadFile(const std::string& name, std::vector<uint8_t>& bytes) {
  AudioFile* file = OpenAudioFile(name.c_str(), 0, 0);
  if (!file) return false;
  SeekAudioFile(file, 0, 2);
  const int32_t size = TellAudioFile(file);
  SeekAudioFile(file, 0, 0);
  bool ok = size >= 0 && size <= kMaxSongFileBytes;
  if (ok) {
    bytes.resize(static_cast<size_t>(size));
    ok = size == 0 || ReadAudioFile(bytes.data(), size, file) == size;
  }
  CloseAudioFile(file);
  return ok;
}

void LibrarySongHost::SetError(int32_t code) { SetAudioError(code); }
int32_t LibrarySongHost::Error() const { return GetAudioError(); }
void LibrarySongHost::ClearError() { ClearAudioErrorOnLibraryThread(); }

void InstallLibrarySongHooks() {
  SongHooks hooks;
  hooks.mix_songs = [](void* buffer, int32_t frames) { LibrarySongs().MixSongs(buffer, frames); };
  hooks.stop_all_songs = [] { LibrarySongs().StopAllSongs(); };
  hooks.shutdown_midi = [] { LibrarySongs().ShutdownMidi(); };
  hooks.reapply_song_tempos = [] { LibrarySongs().ReapplyTempos(); };
  SetSongHooks(hooks);
}

SongEngine& LibrarySongs() {
  // Never destroyed: the library may call its hooks until the very end.
  static auto* host = new LibrarySongHost;
  static auto* engine = new SongEngine(*host);
  static const bool installed = (InstallLibrarySongHooks(), true);
  (void)installed;
  return *engine;
}

}  // namespace zv
