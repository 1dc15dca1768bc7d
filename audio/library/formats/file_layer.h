#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "platform/paths/file_read.h"

namespace zv {

// Every reader of the sound library reads through an AudioFile: a disk file
// opened by name, a memory image, or a source served by five callbacks that
// the host installs.
inline constexpr uint8_t kAudioFileDisk = 0;
inline constexpr uint8_t kAudioFileMemory = 1;
inline constexpr uint8_t kAudioFileCallbacks = 3;

inline constexpr int32_t kSeekSet = 0;
inline constexpr int32_t kSeekCurrent = 1;
inline constexpr int32_t kSeekEnd = 2;

struct AudioFile {
  uint8_t kind = kAudioFileDisk;
  std::unique_ptr<platform::FileForReading> disk;  // disk: owns `stream`
  std::FILE* stream = nullptr;        // disk
  const uint8_t* image = nullptr;     // memory: not owned
  int32_t position = 0;               // memory
  uint32_t user_handle = 0;           // callbacks
  int32_t length = 0;
};

using FileOpenCallback = uint32_t (*)(const char* name);
using FileCloseCallback = void (*)(uint32_t handle);
using FileReadCallback = int32_t (*)(void* buffer, int32_t count, uint32_t handle);
using FileSeekCallback = int32_t (*)(uint32_t handle, int32_t position, int32_t origin);
using FileTellCallback = int32_t (*)(uint32_t handle);

// Installs all five, or (any one null) clears all five.
void SetFileCallbacks(FileOpenCallback open, FileCloseCallback close, FileReadCallback read, FileSeekCallback seek,
                      FileTellCallback tell);

// kind 0: `source` is a NUL-terminated path; kind 1: a memory image of
// `length` bytes that the caller keeps alive until the file is closed.
AudioFile* OpenAudioFile(const void* source, uint8_t kind, int32_t length);
void CloseAudioFile(AudioFile* file);
int32_t ReadAudioFile(void* buffer, int32_t count, AudioFile* file);
uint32_t ReadAudioFileByte(AudioFile* file);
int32_t SeekAudioFile(AudioFile* file, int32_t offset, int32_t origin);
int32_t TellAudioFile(AudioFile* file);

}  // namespace zv
