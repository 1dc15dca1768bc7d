#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio/library/audio_error.h"
#include "audio/library/library.h"
#include "audio/library/mixer.h"
#include "audio/library/song_hooks.h"
#include "audio/library/timing.h"

namespace zv::test {

// Little-endian byte writers for building files in memory.
inline void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
inline void PutId(std::vector<uint8_t>& out, const char* id) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(id[i]));
}

// A chunk: id, size, the body and a pad byte for an odd size.
inline void PutChunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body) {
  PutId(out, id);
  Put(out, static_cast<uint32_t>(body.size()), 4);
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() & 1) out.push_back(0);
}

inline std::vector<uint8_t> FormatChunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                                        bool with_extra_size = false) {
  std::vector<uint8_t> f;
  const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  Put(f, tag, 2);
  Put(f, channels, 2);
  Put(f, rate, 4);
  Put(f, rate * align, 4);
  Put(f, align, 2);
  Put(f, bits, 2);
  if (with_extra_size) Put(f, 0, 2);
  return f;
}

// A RIFF/WAVE file of the given chunks.
inline std::vector<uint8_t> Riff(const std::vector<uint8_t>& chunks) {
  std::vector<uint8_t> out;
  PutId(out, "RIFF");
  Put(out, static_cast<uint32_t>(chunks.size() + 4), 4);
  PutId(out, "WAVE");
  out.insert(out.end(), chunks.begin(), chunks.end());
  return out;
}

// A plain PCM wave file of 16-bit values.
inline std::vector<uint8_t> Wav16(const std::vector<int16_t>& values, uint16_t channels = 1, uint32_t rate = 44100) {
  std::vector<uint8_t> chunks;
  PutChunk(chunks, "fmt ", FormatChunk(1, channels, rate, 16));
  std::vector<uint8_t> data;
  for (int16_t v : values) Put(data, static_cast<uint16_t>(v), 2);
  PutChunk(chunks, "data", data);
  return Riff(chunks);
}

// Waits for `done`, as the library's threads work: they play in real time,
// and a loaded machine starves them for a while, so only a thread that
// never gets there reaches the limit.
inline bool WaitFor(const std::function<bool()>& done) {
  const auto start = std::chrono::steady_clock::now();
  while (!done()) {
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(120)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

inline std::string TempPath(const std::string& name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/zv_audio_" + std::to_string(::getpid()) + "_" + name;
}

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  uint8_t buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(f);
  return bytes;
}

// What a voice value at gain 0..255 adds to the output with the default
// mixer on this machine, the saturating family: the high half of the value
// times gain x 256.
inline int SaturatingGain(int value, int gain = 255) { return (value * gain * 256) >> 16; }

// The library on the no-sound driver with offline mixing: nothing runs on
// its own, and Mix() produces the output block after block.
class AudioLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetAudioBackend(nullptr);
    SetOfflineMixing(true);
    SetOutputType(kOutputNoSound);
    ASSERT_TRUE(InitAudio(44100, channels_, 0)) << GetAudioError();
  }
  void TearDown() override {
    CloseAudio();
    SetMixerType(4);  // back to the choice by processor, for the next test
    SetOfflineMixing(false);
    SetAudioClock(nullptr);
    SetSongHooks(SongHooks{});
    SetMasterVolume(255);
    SetPanSeparation(1.0f);
  }
  // `frames` stereo frames of output.
  std::vector<int16_t> Mix(int32_t frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    EXPECT_TRUE(MixOffline(out.data(), frames));
    return out;
  }

  int32_t channels_ = 8;
};

}  // namespace zv::test
