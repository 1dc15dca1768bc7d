#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "audio/library/formats/file_layer.h"
#include "tests/audio/library/audio_test_util.h"

namespace zv {
namespace {

TEST(FileLayer, MemoryImageReadsSeeksAndClamps) {
  const uint8_t image[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  AudioFile* f = OpenAudioFile(image, kAudioFileMemory, 10);
  ASSERT_NE(f, nullptr);
  uint8_t buffer[8] = {};
  EXPECT_EQ(ReadAudioFile(buffer, 4, f), 4);
  EXPECT_EQ(buffer[3], 4);
  EXPECT_EQ(SeekAudioFile(f, 0, kSeekEnd), 10);
  EXPECT_EQ(ReadAudioFile(buffer, 4, f), 0);
  EXPECT_EQ(ReadAudioFileByte(f), 0u);
  EXPECT_EQ(SeekAudioFile(f, -5, kSeekCurrent), 5);
  EXPECT_EQ(ReadAudioFileByte(f), 6u);
  EXPECT_EQ(SeekAudioFile(f, 20, kSeekSet), 10);
  EXPECT_EQ(SeekAudioFile(f, -3, kSeekSet), 0);
  EXPECT_EQ(SeekAudioFile(f, 0, 3), -1);
  EXPECT_EQ(TellAudioFile(f), 0);
  EXPECT_EQ(ReadAudioFile(buffer, 8, f), 8);
  EXPECT_EQ(ReadAudioFile(buffer, 8, f), 2);  // only what is left
  CloseAudioFile(f);
  CloseAudioFile(nullptr);
  EXPECT_EQ(ReadAudioFile(buffer, 1, nullptr), 0);
  EXPECT_EQ(SeekAudioFile(nullptr, 0, 0), -1);
  EXPECT_EQ(TellAudioFile(nullptr), 0);
}

TEST(FileLayer, DiskFilesReadThroughTheSameCalls) {
  const std::string path = test::TempPath("layer.bin");
  ASSERT_TRUE(test::WriteBytes(path, {9, 8, 7, 6}));
  AudioFile* f = OpenAudioFile(path.c_str(), kAudioFileDisk, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(SeekAudioFile(f, 2, kSeekSet), 0);
  EXPECT_EQ(ReadAudioFileByte(f), 7u);
  EXPECT_EQ(TellAudioFile(f), 3);
  CloseAudioFile(f);
  std::remove(path.c_str());
  EXPECT_EQ(OpenAudioFile("/nonexistent/file", kAudioFileDisk, 0), nullptr);
  EXPECT_EQ(OpenAudioFile(nullptr, kAudioFileDisk, 0), nullptr);
}

// A callback source serving one name from memory.
struct Served {
  static inline std::vector<uint8_t> bytes{'a', 'b', 'c'};
  static inline int32_t at = 0;
  static inline int opens = 0;
  static uint32_t Open(const char* name) {
    ++opens;
    at = 0;
    return std::strcmp(name, "served") == 0 ? 7 : 0;
  }
  static void Close(uint32_t) {}
  static int32_t Read(void* buffer, int32_t count, uint32_t) {
    const int32_t n = std::min<int32_t>(count, static_cast<int32_t>(bytes.size()) - at);
    std::memcpy(buffer, bytes.data() + at, static_cast<size_t>(n));
    at += n;
    return n;
  }
  static int32_t Seek(uint32_t, int32_t position, int32_t) {
    at = position;
    return 0;
  }
  static int32_t Tell(uint32_t) { return at; }
};

TEST(FileLayer, CallbacksTakeOverOpensByName) {
  SetFileCallbacks(Served::Open, Served::Close, Served::Read, Served::Seek, Served::Tell);
  Served::opens = 0;
  AudioFile* f = OpenAudioFile("served", kAudioFileDisk, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->kind, kAudioFileCallbacks);
  EXPECT_EQ(ReadAudioFileByte(f), static_cast<uint32_t>('a'));
  CloseAudioFile(f);
  EXPECT_EQ(OpenAudioFile("other", kAudioFileDisk, 0), nullptr);
  // A memory image still reads the memory.
  const uint8_t image[1] = {42};
  AudioFile* m = OpenAudioFile(image, kAudioFileMemory, 1);
  EXPECT_EQ(ReadAudioFileByte(m), 42u);
  CloseAudioFile(m);
  EXPECT_EQ(OpenAudioFile(nullptr, kAudioFileDisk, 0), nullptr);
  EXPECT_EQ(Served::opens, 2);
  // Four callbacks and a missing fifth clear them all.
  SetFileCallbacks(Served::Open, Served::Close, Served::Read, Served::Seek, nullptr);
  EXPECT_EQ(OpenAudioFile("served", kAudioFileDisk, 0), nullptr);  // no such disk file
  EXPECT_EQ(Served::opens, 2);
}

}  // namespace
}  // namespace zv
