#pragma once

#include <cstddef>
#include <cstdint>

namespace zv {

struct SampleRecord;
// A sample as callers hold it; null means none.
using SampleHandle = SampleRecord*;

// Mode flags given to sample allocation, loading and upload.
namespace sample_mode {
inline constexpr uint32_t kLoopOff = 0x1;
inline constexpr uint32_t kLoopNormal = 0x2;
inline constexpr uint32_t kLoopBidi = 0x4;
inline constexpr uint32_t k8Bit = 0x8;
inline constexpr uint32_t k16Bit = 0x10;
inline constexpr uint32_t kMono = 0x20;
inline constexpr uint32_t kStereo = 0x40;
inline constexpr uint32_t kUnsigned = 0x80;     // source data unsigned: converted on upload
inline constexpr uint32_t kSigned = 0x100;
inline constexpr uint32_t kDelta = 0x200;       // source data delta-coded
inline constexpr uint32_t kPacked = 0x400;      // source data in packed blocks
inline constexpr uint32_t kPackedDouble = 0x800;
inline constexpr uint32_t kHardware = 0x1000;   // in the driver when it can
inline constexpr uint32_t k2D = 0x2000;         // no hardware buffer, no software 3D
inline constexpr uint32_t kDriverCreated = 0x4000;
inline constexpr uint32_t kMemoryImage = 0x8000;  // the name is a memory image
inline constexpr uint32_t kRaw = 0x10000;          // raw sample data, format not looked at
inline constexpr uint32_t kExactMpegLength = 0x20000;
}  // namespace sample_mode

// Loop modes as the record keeps them.
inline constexpr uint8_t kLoopModeOff = 1;
inline constexpr uint8_t kLoopModeNormal = 2;
inline constexpr uint8_t kLoopModeBidi = 4;

// The operations every sample carries: the software ones (sample memory
// the mixer reads) or those of the output driver (its own buffer).
struct SampleOps {
  // Makes the sample's data (zeroed) for its length and format.
  bool (*create_data)(SampleRecord&) = nullptr;
  void (*release_data)(SampleRecord&) = nullptr;
  // Fills the data from `source` (at most `source_bytes` of it), converting
  // as `mode` says.
  bool (*upload)(SampleRecord&, const void* source, size_t source_bytes, uint32_t mode) = nullptr;
  // Up to two parts of the data covering `length` bytes from byte `offset`.
  bool (*lock)(SampleRecord&, int32_t offset, int32_t length, void** part1, void** part2, int32_t* length1,
               int32_t* length2) = nullptr;
  bool (*unlock)(SampleRecord&, void* part1, void* part2, int32_t length1, int32_t length2) = nullptr;
};

// What the song players keep per sample beside the library's own fields.
struct SongSampleFields {
  uint8_t global_volume = 64;
  int8_t relative_note = 0;
  int8_t finetune = 0;
  uint32_t sustain_start = 0;
  uint32_t sustain_end = 0;
  uint8_t vibrato[4] = {};  // type, sweep, depth, rate
};

struct SampleRecord {
  char name[256] = {};
  int32_t index = -2;              // place in the sample table; -2 unmanaged
  uint8_t* data = nullptr;         // software sample data; null for a driver sample
  int32_t length = 0;              // frames
  int32_t loop_start = 0;
  int32_t loop_length = 0;         // loop end = start + length - 1
  // The loop guard frame: the frame it overwrote and where.
  bool has_saved_frame = false;
  uint32_t saved_frame = 0;
  int32_t saved_frame_at = 0;
  int32_t default_frequency = 44100;
  int32_t default_volume = 255;
  int32_t default_pan = 128;       // -1 full volume on both sides
  int32_t default_priority = 255;
  uint8_t bits = 8;                // 8 or 16
  uint8_t loop_mode = kLoopModeOff;
  uint8_t layout = static_cast<uint8_t>(sample_mode::kMono);  // kMono or kStereo
  uint8_t used_by_song = 0;        // set by the song code: master volume leaves its channels alone
  uint8_t tuning = 0;
  uint32_t middle_c_rate = 8363;
  uint8_t owned_by_song = 0;       // set by the song loader: freeing removes it from the songs
  float min_distance = 1.0f;
  float max_distance = 1.0e9f;
  void* stream_link = nullptr;     // a decoder or stream that the sample's owner keeps here
  uint8_t is_2d = 0;
  uint8_t hardware = 0;
  uint32_t driver_buffer = 0;      // non-zero: the driver made the sample's buffer itself
  uint8_t driver_created = 0;
  SampleOps ops;
  SongSampleFields song;
  void* driver_data = nullptr;     // the output driver's own state for this sample
};

// Removes 0x1000 for 2D samples, 0x8 under 0x10 and 0x20 under 0x40.
uint32_t NormaliseSampleMode(uint32_t mode);

// Bytes of one frame and of the whole data (without the guard room).
int32_t SampleFrameBytes(const SampleRecord& sample);
int64_t SampleByteSize(const SampleRecord& sample);

SampleHandle AllocSampleSlot(int32_t index, uint32_t mode);
SampleHandle AllocSample(int32_t index, int32_t length, uint32_t mode, int32_t frequency, int32_t volume,
                         int32_t pan, int32_t priority);
void FreeSample(SampleHandle sample);

// `name` is a file name, or with mode 0x8000 a memory image of `length` bytes.
SampleHandle LoadSample(int32_t index, const void* name, uint32_t mode, int32_t length);
SampleHandle LoadRawSample(int32_t index, const char* name, uint32_t mode);
SampleHandle LoadSampleWav(int32_t index, const char* name, uint32_t mode);
SampleHandle LoadSampleMpeg(int32_t index, const char* name, uint32_t mode);
SampleHandle LoadSampleWavMemory(int32_t index, const void* image, uint32_t mode, int32_t length);
SampleHandle LoadSampleMpegMemory(int32_t index, const void* image, uint32_t mode, int32_t length);

bool UploadSampleData(SampleHandle sample, const void* data, size_t data_bytes, uint32_t mode);
bool LockSample(SampleHandle sample, int32_t offset, int32_t length, void** part1, void** part2, int32_t* length1,
                int32_t* length2);
bool UnlockSample(SampleHandle sample, void* part1, void* part2, int32_t length1, int32_t length2);

bool SetSampleLoopMode(SampleHandle sample, int32_t mode);
bool SetSampleLoopPoints(SampleHandle sample, int32_t first, int32_t last);
bool GetSampleLoopPoints(SampleHandle sample, int32_t* start, int32_t* end);
bool SetSampleDefaults(SampleHandle sample, int32_t frequency, int32_t volume, int32_t pan, int32_t priority);
bool GetSampleDefaults(SampleHandle sample, int32_t* frequency, int32_t* volume, int32_t* pan, int32_t* priority);
uint32_t GetSampleMode(SampleHandle sample);
int32_t GetSampleLength(SampleHandle sample);
const char* GetSampleName(SampleHandle sample);
bool SetSampleMinMaxDistance(SampleHandle sample, float min_distance, float max_distance);

// Rewrites the loop guard frame after a change of the loop (the frame after
// the loop holds the frame that playback continues with, so interpolation
// across the loop end reads the right value). Only for samples with data.
void PadSampleLoop(SampleRecord& sample);
// Writes a saved guard frame back, before the loop changes.
void RestoreSampleLoopGuard(SampleRecord& sample);

// Sets the sample's name, cut to 255 characters.
void SetSampleName(SampleRecord& sample, const char* name);

}  // namespace zv
