#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "audio/library/formats/song.h"

namespace zv {

// One event of a MIDI song, at its time from the start of the song.
struct MidiEvent {
  uint64_t time_us = 0;
  uint8_t status = 0;  // channel message status, or 0xF0 for a system-exclusive message
  uint8_t data1 = 0;
  uint8_t data2 = 0;
  uint32_t sysex_offset = 0;  // into MidiSequence::sysex
  uint32_t sysex_length = 0;
};

// A standard MIDI file turned into one time line: the tracks merged, the
// tempo changes applied.
struct MidiSequence {
  std::vector<MidiEvent> events;  // in time order
  std::vector<uint8_t> sysex;
  uint64_t length_us = 0;         // the time of the last event (end of track included)
  int32_t initial_bpm = 120;
  SongCutParts cut;               // the tracks the file ends inside
};

// The standard MIDI file inside `image`: the image itself ("MThd") or the
// "data" chunk of a RIFF MIDI file ("RIFF" ... "RMID"); empty when it is
// neither.
std::span<const uint8_t> FindStandardMidiFile(std::span<const uint8_t> image);

// Parses a standard MIDI file (formats 0, 1 and 2). Damaged tracks end
// where their data ends, and those the file ends inside are noted in
// `cut`; false when the header is not MIDI or no track could be read at
// all.
bool ParseMidiFile(std::span<const uint8_t> smf, MidiSequence& sequence);

}  // namespace zv
