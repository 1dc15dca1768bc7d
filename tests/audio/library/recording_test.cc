#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "audio/library/output_driver.h"
#include "audio/library/recording.h"
#include "audio/library/sample.h"
#include "platform/audio/headless/headless_audio.h"
#include "tests/audio/library/audio_test_util.h"

namespace zv {
namespace {

using test::AudioLibraryTest;

TEST_F(AudioLibraryTest, NoSoundDriverCannotRecord) {
  EXPECT_EQ(GetNumRecordDrivers(), 1);
  EXPECT_STREQ(GetRecordDriverName(0), "No Sound Driver");
  EXPECT_EQ(GetRecordDriverName(1), nullptr);
  SampleHandle s = AllocSample(-2, 44100, 0x30, 44100, 255, 128, 255);
  EXPECT_FALSE(StartRecording(s, false));
  EXPECT_EQ(GetAudioError(), audio_error::kNotSupported);
  EXPECT_FALSE(IsRecording());
  // The caller may free the sample at once: nothing writes into it any more.
  FreeSample(s);
  EXPECT_TRUE(StopRecording());
}

// The wave-out driver over an in-memory device whose capture the test feeds.
class MemoryDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseAudio();
    SetAudioBackend(&backend_);
    SetOfflineMixing(true);
    SetOutputType(kOutputWave);
    ASSERT_TRUE(InitAudio(44100, 4, 0)) << GetAudioError();
  }
  void TearDown() override {
    CloseAudio();
    SetAudioBackend(nullptr);
    SetOfflineMixing(false);
    SetOutputType(kOutputNoSound);
  }
  // 16-bit mono values as capture bytes.
  static std::vector<uint8_t> Values(int count, int16_t first, int16_t step) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < count; ++i) test::Put(bytes, static_cast<uint16_t>(first + i * step), 2);
    return bytes;
  }

  platform::MemoryAudioBackend backend_;
};

TEST_F(MemoryDeviceTest, RecordingCopiesWhatTheDeviceCaptured) {
  EXPECT_EQ(GetNumRecordDrivers(), 1);
  SampleHandle s = AllocSample(-2, 1000, 0x30, 8000, 255, 128, 255);
  ASSERT_TRUE(StartRecording(s, false));
  ASSERT_TRUE(backend_.CaptureOpen());
  ASSERT_TRUE(backend_.Feed(Values(300, 1, 1)));
  ASSERT_TRUE(test::WaitFor([] { return GetRecordPosition() >= 300; }));
  StopRecording();
  const auto* v = reinterpret_cast<const int16_t*>(s->data);
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[299], 300);
  EXPECT_EQ(v[300], 0);
  EXPECT_FALSE(backend_.CaptureOpen());
  FreeSample(s);
}

TEST_F(MemoryDeviceTest, RecordingOnceStopsAtTheEndOfTheSample) {
  SampleHandle s = AllocSample(-2, 500, 0x30, 8000, 255, 128, 255);  // ring of 4000 samples
  ASSERT_TRUE(StartRecording(s, false));
  ASSERT_TRUE(backend_.Feed(Values(400, 1, 1)));
  ASSERT_TRUE(test::WaitFor([] { return GetRecordPosition() >= 400; }));
  ASSERT_TRUE(backend_.Feed(Values(300, 1000, 1)));
  ASSERT_TRUE(test::WaitFor([] { return !IsRecording(); }));
  StopRecording();
  const auto* v = reinterpret_cast<const int16_t*>(s->data);
  EXPECT_EQ(v[0], 1);  // the start is not written over
  EXPECT_EQ(v[400], 1000);
  EXPECT_EQ(v[499], 1099);
  FreeSample(s);
}

TEST_F(MemoryDeviceTest, LoopingRecordingWrapsToTheStart) {
  SampleHandle s = AllocSample(-2, 500, 0x30, 8000, 255, 128, 255);
  ASSERT_TRUE(StartRecording(s, true));
  ASSERT_TRUE(backend_.Feed(Values(400, 1, 1)));
  ASSERT_TRUE(test::WaitFor([] { return GetRecordPosition() >= 400; }));
  ASSERT_TRUE(backend_.Feed(Values(300, 1000, 1)));
  ASSERT_TRUE(test::WaitFor([] { return GetRecordPosition() == 200; }));
  EXPECT_TRUE(IsRecording());
  StopRecording();
  const auto* v = reinterpret_cast<const int16_t*>(s->data);
  EXPECT_EQ(v[499], 1099);
  EXPECT_EQ(v[0], 1100);
  EXPECT_EQ(v[199], 1299);
  EXPECT_EQ(v[200], 201);
  FreeSample(s);
}

TEST_F(MemoryDeviceTest, RecordDriverOutsideTheListOpensTheFirst) {
  EXPECT_TRUE(SetRecordDriver(99));
  EXPECT_EQ(GetRecordDriver(), 0);
  EXPECT_STREQ(GetRecordDriverName(0), "Memory Capture");
}

TEST_F(MemoryDeviceTest, OutputGoesToTheDeviceBuffer) {
  EXPECT_STREQ(GetDriverName(0), "Memory Output");
  EXPECT_EQ(GetNumHardwareChannels(), 0);
  SampleHandle s = AllocSample(-1, 44100, sample_mode::k16Bit | sample_mode::k2D, 44100, 255, -1, 255);
  auto* v = reinterpret_cast<int16_t*>(s->data);
  for (int i = 0; i < 44100; ++i) v[i] = 3000;
  PadSampleLoop(*s);
  PlaySample(kChooseChannel, s);
  std::vector<int16_t> mixed(2 * 2208);
  ASSERT_TRUE(MixOffline(mixed.data(), 2208));  // blocks 0 and 1
  ASSERT_TRUE(backend_.Play(2208));
  const std::vector<int16_t> heard = backend_.Played();
  ASSERT_EQ(heard.size(), mixed.size());
  EXPECT_EQ(heard, mixed);
  EXPECT_EQ(heard[2 * 1000], test::SaturatingGain(3000));
  EXPECT_EQ(GetChannelPosition(kMixerChannel), 2208u);
}

TEST_F(MemoryDeviceTest, TheWaveKindKeepsReverbSettings) {
  EXPECT_EQ(GetBufferSetting(), 400);  // the wave-out kind's 200 ms, doubled
  EXPECT_TRUE(SetReverbEnvironment(3, 0.5f, 1.0f, 0.5f));
  int32_t environment = 0;
  EXPECT_TRUE(GetReverbEnvironment(&environment, nullptr, nullptr, nullptr));
  EXPECT_EQ(environment, 3);
  uint32_t caps = 99;
  CloseAudio();
  EXPECT_TRUE(GetOutputDriverCaps(0, &caps));
  EXPECT_EQ(caps, 0u);
}

TEST_F(MemoryDeviceTest, TheMixerThreadFeedsTheDevice) {
  CloseAudio();
  SetOfflineMixing(false);
  ASSERT_TRUE(InitAudio(44100, 4, 0));
  SampleHandle s = AllocSample(-1, 44100, sample_mode::k16Bit | sample_mode::k2D, 44100, 255, -1, 255);
  auto* v = reinterpret_cast<int16_t*>(s->data);
  for (int i = 0; i < 44100; ++i) v[i] = -1234;
  PadSampleLoop(*s);
  PlaySample(kChooseChannel, s);
  // The device takes blocks as it plays; the thread refills those behind it,
  // so the sound comes round once the device is back at a refilled block:
  // in a few steps, on a loaded machine that starves the thread in many.
  // Only a thread that never refills reaches the limit.
  bool found = false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!found && std::chrono::steady_clock::now() < end) {
    backend_.Play(552);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::vector<int16_t> heard = backend_.Played();
    for (size_t i = 0; i < heard.size() && !found; i += 2) found = heard[i] == test::SaturatingGain(-1234);
  }
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace zv
