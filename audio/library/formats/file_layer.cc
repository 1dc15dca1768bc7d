#include "audio/library/formats/file_layer.h"

#include <atomic>
#include <cstring>
#include <new>

namespace zv {
namespace {

struct Callbacks {
  FileOpenCallback open = nullptr;
  FileCloseCallback close = nullptr;
  FileReadCallback read = nullptr;
  FileSeekCallback seek = nullptr;
  FileTellCallback tell = nullptr;
};

Callbacks g_callbacks;

bool CallbacksInstalled() { return g_callbacks.open != nullptr; }

}  // namespace

void SetFileCallbacks(FileOpenCallback open, FileCloseCallback close, FileReadCallback read, FileSeekCallback seek,
                      FileTellCallback tell) {
  if (open && close && read && seek && tell) {
    g_callbacks = Callbacks{open, close, read, seek, tell};
  } else {
    g_callbacks = Callbacks{};
  }
}

AudioFile* OpenAudioFile(const void* source, uint8_t kind, int32_t length) {
  if (source == nullptr) return nullptr;
  auto* file = new (std::nothrow) AudioFile();
  if (file == nullptr) return nullptr;
  file->kind = kind;
  file->length = length;
  if (kind == kAudioFileDisk && CallbacksInstalled()) file->kind = kAudioFileCallbacks;
  bool opened = false;
  switch (file->kind) {
    case kAudioFileDisk:
      file->disk = std::make_unique<platform::FileForReading>(static_cast<const char*>(source));
      file->stream = file->disk->Opened() ? file->disk->Stream() : nullptr;
      opened = file->stream != nullptr;
      break;
    case kAudioFileMemory:
      file->image = static_cast<const uint8_t*>(source);
      file->position = 0;
      if (file->length < 0) file->length = 0;
      opened = true;
      break;
    case kAudioFileCallbacks:
      file->user_handle = g_callbacks.open(static_cast<const char*>(source));
      opened = file->user_handle != 0;
      break;
    default:
      break;
  }
  if (!opened) {
    delete file;
    return nullptr;
  }
  return file;
}

void CloseAudioFile(AudioFile* file) {
  if (file == nullptr) return;
  if (file->kind == kAudioFileCallbacks && g_callbacks.close) g_callbacks.close(file->user_handle);
  delete file;
}

int32_t ReadAudioFile(void* buffer, int32_t count, AudioFile* file) {
  if (file == nullptr || buffer == nullptr || count <= 0) return 0;
  switch (file->kind) {
    case kAudioFileDisk:
      return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(count), file->stream));
    case kAudioFileMemory: {
      int64_t n = count;
      if (file->position + n >= file->length) n = file->length - file->position;
      if (n <= 0) return 0;
      std::memcpy(buffer, file->image + file->position, static_cast<size_t>(n));
      file->position += static_cast<int32_t>(n);
      return static_cast<int32_t>(n);
    }
    case kAudioFileCallbacks:
      return g_callbacks.read ? g_callbacks.read(buffer, count, file->user_handle) : 0;
    default:
      return 0;
  }
}

uint32_t ReadAudioFileByte(AudioFile* file) {
  uint8_t byte = 0;
  return ReadAudioFile(&byte, 1, file) == 1 ? byte : 0;
}

int32_t SeekAudioFile(AudioFile* file, int32_t offset, int32_t origin) {
  if (file == nullptr || origin < kSeekSet || origin > kSeekEnd) return -1;
  switch (file->kind) {
    case kAudioFileDisk: {
      const int whence = origin == kSeekSet ? SEEK_SET : origin == kSeekCurrent ? SEEK_CUR : SEEK_END;
      return std::fseek(file->stream, offset, whence);
    }
    case kAudioFileMemory: {
      int64_t position = origin == kSeekSet ? offset : origin == kSeekCurrent ? int64_t{file->position} + offset
                                                                              : int64_t{file->length};
      if (position < 0) position = 0;
      if (position > file->length) position = file->length;
      file->position = static_cast<int32_t>(position);
      return file->position;
    }
    case kAudioFileCallbacks:
      return g_callbacks.seek ? g_callbacks.seek(file->user_handle, offset, origin) : 0;
    default:
      return -1;
  }
}

int32_t TellAudioFile(AudioFile* file) {
  if (file == nullptr) return 0;
  switch (file->kind) {
    case kAudioFileDisk: {
      const long at = std::ftell(file->stream);
      return at < 0 || at > INT32_MAX ? 0 : static_cast<int32_t>(at);
    }
    case kAudioFileMemory:
      return file->position;
    case kAudioFileCallbacks:
      return g_callbacks.tell ? g_callbacks.tell(file->user_handle) : 0;
    default:
      return 0;
  }
}

}  // namespace zv
