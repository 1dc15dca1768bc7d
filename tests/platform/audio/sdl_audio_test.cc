#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/audio/sdl/sdl_audio.h"

namespace zv::platform {
namespace {

// SDL's dummy driver stands for a sound card: it takes frames at the
// device's pace and records silence, so the SDL backend runs where there is
// no sound hardware (CI).
class SdlAudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    backend_ = MakeSdlAudioBackend();
    if (backend_->OutputDevices().empty()) GTEST_SKIP() << "no SDL audio driver";
  }
  std::unique_ptr<AudioBackend> backend_;
};

bool WaitFor(const std::function<bool()>& done) {
  const auto start = std::chrono::steady_clock::now();
  while (!done()) {
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(30)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

TEST_F(SdlAudioTest, TheDeviceTakesFramesFromTheLoopingBuffer) {
  std::unique_ptr<AudioOutput> out = backend_->OpenOutput(-1, 44100);
  ASSERT_NE(out, nullptr);
  std::vector<int16_t> buffer(2 * 4416, 0);
  out->SetBuffer(buffer.data(), 4416);
  EXPECT_EQ(out->FramesPlayed(), 0u);
  out->Start();
  ASSERT_TRUE(WaitFor([&] { return out->FramesPlayed() > 2 * 4416u; }));  // round the buffer and on
  out->Stop();
  out->SetBuffer(nullptr, 0);
}

TEST_F(SdlAudioTest, CaptureFillsItsRing) {
  if (backend_->CaptureDevices().empty()) GTEST_SKIP() << "no capture on this driver";
  std::unique_ptr<AudioCapture> in = backend_->OpenCapture(-1, 8000, 16, 1, 16000);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->RingBytes(), 16000u);
  ASSERT_TRUE(WaitFor([&] { return in->WriteOffset() > 0; }));
  in->Stop();
}

TEST_F(SdlAudioTest, DevicesOutsideTheListDoNotOpen) {
  EXPECT_EQ(backend_->OpenOutput(99, 44100), nullptr);
  EXPECT_EQ(backend_->OpenCapture(-1, 8000, 12, 1, 100), nullptr);
}

}  // namespace
}  // namespace zv::platform
