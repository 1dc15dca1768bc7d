#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/library/formats/file_layer.h"
#include "audio/library/formats/wav_codecs.h"
#include "audio/library/sample.h"

namespace zv {

// A cue point of a wave file: its sample offset and its label ("labl").
struct WavCuePoint {
  uint32_t position = 0;
  char label[256] = {};
};

struct WavCueList {
  std::vector<WavCuePoint> points;
};

// The first loop of a "smpl" chunk, in frames, the end as stored.
struct WavLoop {
  uint32_t start = 0;
  uint32_t end = 0;
};

// Walks the chunks of a RIFF file. `format` receives the "fmt " chunk (at
// least 18 bytes, zero-filled), when wanted. False for a file that is not
// RIFF or has no "fmt " (last error 10), or has no "data" (no error code;
// data start 0).
bool ParseRiffWave(AudioFile* file, std::vector<uint8_t>* format, int32_t* data_start, uint32_t* data_length,
                   WavCueList* cues, WavLoop* loop);

// What OpenWavData found out about a wave file's data.
struct WavData {
  uint32_t mode = 0;          // in: the caller's mode word; out: with the PCM format flags
  int32_t rate = 0;
  uint32_t data_length = 0;   // bytes of data in the file
  uint32_t pcm_length = 0;    // bytes of 16-bit (or 8-bit) PCM they give
  std::unique_ptr<WavDecoder> decoder;  // none for 8- and 16-bit PCM
  int32_t block_align = 0;    // of the source
  int32_t data_start = -1;
  WavLoop loop;
};

// Parses the file and, for a format that is not plain PCM, makes the
// decoder. False (last error 10) for a file that cannot become PCM.
bool OpenWavData(AudioFile* file, WavData& data, WavCueList* cues);

// Decodes one piece of data; the destination length becomes the bytes
// written.
bool ConvertWavData(WavDecoder& decoder, const uint8_t* source, uint32_t source_length, uint8_t* destination,
                    uint32_t& destination_length);

// Loads a whole wave file into a new sample in table entry `index` (-1 the
// first free one); null when it is not a wave file the reader can read.
SampleHandle LoadWavSample(AudioFile* file, uint32_t mode, int32_t index = -1);

}  // namespace zv
