#include "audio/library/formats/midi_file.h"

#include <algorithm>
#include <cstring>

#include "audio/library/formats/song_reader.h"

namespace zv {
namespace {

// Bounds that keep a hostile file from taking the machine: events kept,
// and the longest song (a day).
constexpr size_t kMaxEvents = 1u << 21;
constexpr uint64_t kMaxLengthUs = 24ull * 3600 * 1000000;
constexpr uint32_t kDefaultTempoUs = 500000;

enum class Kind : uint8_t { kChannel, kTempo, kSysEx, kEnd };

struct RawEvent {
  uint64_t tick;
  uint32_t order;  // keeps events of one tick in file order
  Kind kind;
  uint8_t status, data1, data2;
  uint32_t tempo_us;
  uint32_t sysex_offset, sysex_length;
};

bool ReadVlq(SongReader& in, size_t end, uint32_t& value) {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    if (in.Tell() >= end) return false;
    const uint8_t b = in.U8();
    value = (value << 7) | (b & 0x7F);
    if (!(b & 0x80)) return true;
  }
  return false;
}

int DataBytes(uint8_t status) {
  switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
      return 1;
    default:
      return 2;
  }
}

// Reads one track's events into `events`; the tick of its end.
uint64_t ReadTrack(SongReader& in, size_t end, uint64_t start_tick, std::vector<RawEvent>& events,
                   std::vector<uint8_t>& sysex) {
  uint64_t tick = start_tick;
  uint8_t running = 0;
  while (in.Tell() < end && events.size() < kMaxEvents) {
    uint32_t delta = 0;
    if (!ReadVlq(in, end, delta)) break;
    tick += delta;
    if (in.Tell() >= end) break;
    uint8_t status = in.U8();
    if (status < 0x80) {
      if (!running) break;  // data with no status to run on: the track is damaged
      status = running;
      in.Seek(in.Tell() - 1);
    }
    RawEvent e{tick, static_cast<uint32_t>(events.size()), Kind::kChannel, status, 0, 0, 0, 0, 0};
    if (status < 0xF0) {
      running = status;
      e.data1 = in.Tell() < end ? in.U8() & 0x7F : 0;
      if (DataBytes(status) == 2) e.data2 = in.Tell() < end ? in.U8() & 0x7F : 0;
      events.push_back(e);
      continue;
    }
    running = 0;
    if (status == 0xFF) {
      if (in.Tell() >= end) break;
      const uint8_t type = in.U8();
      uint32_t length = 0;
      if (!ReadVlq(in, end, length) || length > end - in.Tell()) break;
      const size_t data_at = in.Tell();
      if (type == 0x51 && length >= 3) {
        const uint32_t tempo = (in.U8() << 16) | (in.U8() << 8) | in.U8();
        e.kind = Kind::kTempo;
        e.tempo_us = tempo ? tempo : 1;
        events.push_back(e);
      } else if (type == 0x2F) {
        e.kind = Kind::kEnd;
        events.push_back(e);
        return tick;
      }
      in.Seek(data_at + length);
    } else if (status == 0xF0 || status == 0xF7) {
      uint32_t length = 0;
      if (!ReadVlq(in, end, length) || length > end - in.Tell()) break;
      auto bytes = in.Bytes(in.Tell(), length);
      in.Seek(in.Tell() + length);
      if (status == 0xF0 && !bytes.empty()) {
        if (bytes.back() == 0xF7) bytes = bytes.first(bytes.size() - 1);
        e.kind = Kind::kSysEx;
        e.sysex_offset = static_cast<uint32_t>(sysex.size());
        e.sysex_length = static_cast<uint32_t>(bytes.size());
        sysex.insert(sysex.end(), bytes.begin(), bytes.end());
        events.push_back(e);
      }
    } else {
      break;  // system messages do not belong in a file
    }
  }
  return tick;
}

}  // namespace

std::span<const uint8_t> FindStandardMidiFile(std::span<const uint8_t> image) {
  SongReader in(image);
  if (in.Matches(0, "MThd")) return image;
  if (!in.Matches(0, "RIFF") || !in.Matches(8, "RMID")) return {};
  size_t at = 12;
  while (at + 8 <= image.size()) {
    in.Seek(at + 4);
    const uint32_t length = in.U32();
    if (in.Matches(at, "data")) {
      auto data = in.Bytes(at + 8, length);
      return SongReader(data).Matches(0, "MThd") ? data : std::span<const uint8_t>{};
    }
    at += 8 + static_cast<size_t>(length) + (length & 1);
  }
  return {};
}

bool ParseMidiFile(std::span<const uint8_t> smf, MidiSequence& sequence) {
  SongReader in(smf);
  if (!in.Matches(0, "MThd")) return false;
  in.Seek(4);
  const uint32_t header_length = in.U32Big();
  if (header_length < 6) return false;
  const uint16_t format = in.U16Big();
  const uint16_t tracks = in.U16Big();
  const uint16_t division = in.U16Big();
  if (format > 2 || division == 0) return false;
  // Ticks to microseconds: quarter-note divisions follow the tempo, SMPTE
  // divisions are fixed frames per second.
  const bool smpte = (division & 0x8000) != 0;
  uint64_t smpte_ticks_per_second = 0;
  if (smpte) {
    const int fps = -static_cast<int8_t>(division >> 8);
    smpte_ticks_per_second = static_cast<uint64_t>(std::max(0, fps)) * (division & 0xFF);
    if (smpte_ticks_per_second == 0) return false;
  }

  std::vector<RawEvent> raw;
  sequence = MidiSequence{};
  size_t at = 8 + static_cast<size_t>(header_length);
  int read_tracks = 0;
  uint64_t track_start = 0;
  while (read_tracks < tracks && at + 8 <= smf.size()) {
    in.Seek(at + 4);
    const uint32_t length = in.U32Big();
    const size_t end = at + 8 + std::min<size_t>(length, smf.size() - at - 8);
    if (in.Matches(at, "MTrk")) {
      sequence.cut.Note(SongCutParts::kTrack, uint64_t{at} + 8 + length, smf.size());
      in.Seek(at + 8);
      const uint64_t track_end = ReadTrack(in, end, track_start, raw, sequence.sysex);
      // Format 2 tracks are independent patterns played one after another.
      if (format == 2) track_start = track_end;
      ++read_tracks;
    }
    at = end;
  }
  // A file that ends inside the header of a track it counts is cut short
  // there. (One that ends between tracks may be, or may count more than it
  // holds, as some writers do: it is taken as whole.)
  if (read_tracks < tracks && at < smf.size()) sequence.cut.Note(SongCutParts::kTrack, at + 8, smf.size());
  if (read_tracks == 0) return false;
  std::stable_sort(raw.begin(), raw.end(), [](const RawEvent& a, const RawEvent& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });

  uint64_t tempo_us = kDefaultTempoUs;
  uint64_t last_tick = 0;
  unsigned __int128 time = 0;  // in microseconds x division (or ticks per second)
  bool tempo_seen = false;
  for (const RawEvent& e : raw) {
    const uint64_t delta = e.tick - last_tick;
    last_tick = e.tick;
    time += smpte ? static_cast<unsigned __int128>(delta) * 1000000u
                  : static_cast<unsigned __int128>(delta) * tempo_us;
    const unsigned __int128 us = time / (smpte ? smpte_ticks_per_second : division);
    if (us > kMaxLengthUs) break;
    const auto now = static_cast<uint64_t>(us);
    sequence.length_us = now;
    switch (e.kind) {
      case Kind::kTempo:
        if (!smpte) tempo_us = e.tempo_us;
        if (!tempo_seen && e.tick == 0) sequence.initial_bpm = static_cast<int32_t>(60000000 / e.tempo_us);
        tempo_seen = true;
        break;
      case Kind::kChannel:
        sequence.events.push_back(MidiEvent{now, e.status, e.data1, e.data2, 0, 0});
        break;
      case Kind::kSysEx:
        sequence.events.push_back(MidiEvent{now, 0xF0, 0, 0, e.sysex_offset, e.sysex_length});
        break;
      case Kind::kEnd:
        break;
    }
  }
  return true;
}

}  // namespace zv
