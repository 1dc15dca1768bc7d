// Feeds clips of any bytes to the video service: open, decode every frame
// into a small 16-bit target, seek back to the start and decode again; read
// the sound track through, rewind it and read it again.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/video/clip_sound.h"
#include "platform/video/video_stream.h"

namespace {

// The bytes as a file without touching the disk.
class MemoryFile {
 public:
  MemoryFile(const uint8_t* data, size_t size) : fd_(memfd_create("clip", 0)) {
    if (fd_ < 0) return;
    size_t done = 0;
    while (done < size) {
      ssize_t n = write(fd_, data + done, size - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }
  ~MemoryFile() {
    if (fd_ >= 0) close(fd_);
  }
  bool Valid() const { return fd_ >= 0; }
  std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

void PlayThrough(zv::platform::VideoStream& clip, zv::platform::Surface& target, uint32_t start) {
  zv::platform::LockedRegion pixels;
  if (target.Lock(nullptr, 0, &pixels) != zv::platform::result::kOk) return;
  for (uint32_t t = start; t < start + 2000; t += 40)
    if (clip.Update(t, pixels) != zv::platform::VideoUpdate::kFrame) break;
  target.Unlock();
}

void ListenThrough(zv::platform::ClipSound& sound) {
  int16_t frames[2 * 4096];
  for (int piece = 0; piece < 64; ++piece)
    if (sound.Read(frames, 4096) < 4096) break;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFile file(data, size);
  if (!file.Valid()) return 0;
  if (auto sound = zv::platform::OpenClipSound(file.Path(), 22050)) {
    ListenThrough(*sound);
    sound->Rewind();
    ListenThrough(*sound);
  }
  auto clip = zv::platform::OpenVideoStream(file.Path());
  if (!clip || !clip->HasVideo()) return 0;
  zv::platform::SurfaceDesc desc;
  desc.width = 24;
  desc.height = 16;
  desc.format = zv::platform::PixelFormat::Rgb565();
  zv::platform::SurfacePtr target = zv::platform::Surface::Create(desc);
  if (!target) return 0;
  clip->Run(0);
  PlayThrough(*clip, *target, 0);
  clip->SeekToStart(5000);
  PlayThrough(*clip, *target, 5000);
  return 0;
}
