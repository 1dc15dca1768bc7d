#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/library/formats/file_layer.h"
#include "audio/library/formats/mpeg_decoder.h"
#include "audio/library/formats/wav_reader.h"
#include "audio/library/sample.h"

namespace zv {

// Frame offsets from the data start, one per frame (for seeking streams).
struct MpegSeekTable {
  std::vector<uint32_t> offsets;
};

// What ProbeMpegFile found.
struct MpegProbe {
  uint32_t mode = 0;          // in: the caller's mode word; out: 16-bit signed, mono or stereo
  int32_t rate = 0;
  int32_t data_start = 0;     // file offset of the first frame
  int32_t data_length = 0;    // bytes of audio data
  int32_t frame_bytes = 0;    // decoded bytes of one frame
  int64_t total_bytes = 0;    // decoded bytes of the whole stream (estimated or counted)
  int32_t length_ms = 0;
  int32_t block_size = 5000;  // input bytes per streaming read
  int32_t frame_size = 0;     // bytes of a frame, header included, rounded up to even
  // Samples per channel at the start and the end of the decoded frames that
  // are not sound: the encoder's delay and padding as its tag frame states
  // them (both 0 without one).
  int32_t skip_start = 0;
  int32_t skip_end = 0;
  std::unique_ptr<MpegDecoder> decoder;
};

// Finds the audio (behind ID3 tags or in a RIFF "data" chunk, past junk and
// an encoder's tag frame), checks two frame headers one frame apart and
// decodes the first frame. False with last error 10 when the file is not
// MPEG audio of layer II or III.
bool ProbeMpegFile(AudioFile* file, MpegProbe& probe, MpegSeekTable* table, WavCueList* cues);

// Decoded bytes of the frames from the current position on, to the end of
// the file; a damaged header loses its frame, not the rest. Fills the table
// when given.
int64_t CountMpegFrames(AudioFile* file, int32_t bytes_per_frame, MpegSeekTable* table);

// Decodes a whole MPEG audio file into a new 16-bit sample in table entry
// `index` (-1 the first free one).
SampleHandle LoadMpegSample(AudioFile* file, uint32_t mode, int32_t index = -1);

}  // namespace zv
