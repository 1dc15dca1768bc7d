#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "audio/library/channel.h"
#include "audio/library/streamer.h"
#include "tests/audio/library/audio_test_util.h"

namespace zv {
namespace {

std::vector<int16_t> Ramp(int count) {
  std::vector<int16_t> v(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) v[static_cast<size_t>(i)] = static_cast<int16_t>(i % 1000);
  return v;
}

// Streams need the stream thread and the mixer running in real time.
class StreamerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseAudio();
    SetAudioBackend(nullptr);
    SetOfflineMixing(false);
    SetOutputType(kOutputNoSound);
    ASSERT_TRUE(InitAudio(22050, 4, 0));
  }
  void TearDown() override { CloseAudio(); }
};

bool WaitFor(const std::function<bool()>& done, int ms = 3000) {
  const auto start = std::chrono::steady_clock::now();
  while (!done()) {
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(ms)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

TEST_F(StreamerTest, AWaveStreamPlaysToItsEndAndCallsBackOnce) {
  const std::vector<uint8_t> wav = test::Wav16(Ramp(2205), 1, 22050);  // 100 ms
  StreamRecord* s = OpenStreamEx(wav.data(), sample_mode::kMemoryImage, static_cast<int32_t>(wav.size()));
  ASSERT_NE(s, nullptr) << GetAudioError();
  EXPECT_EQ(GetStreamLength(s), 4410);
  EXPECT_EQ(GetStreamLengthMs(s), 100);
  static std::atomic<int> ends{0};
  ends = 0;
  SetStreamEndCallback(s, [](StreamRecord*, void*, int32_t, void*) { ++ends; }, nullptr);
  const ChannelHandle h = PlayStream(kChooseChannel, s);
  ASSERT_NE(h, kChooseChannel);
  EXPECT_TRUE(GetChannelReserved(h));
  // The first half was filled before the channel started.
  const auto* data = reinterpret_cast<const int16_t*>(GetStreamSample(s)->data);
  EXPECT_EQ(data[100], 100);
  ASSERT_TRUE(WaitFor([] { return ends.load() > 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(ends.load(), 1);
  EXPECT_FALSE(GetChannelReserved(h & 0xfff));
  EXPECT_TRUE(CloseStream(s));
}

TEST_F(StreamerTest, CallbackStreamsAreFilledAsTheyPlay) {
  static std::atomic<int> fills{0};
  fills = 0;
  StreamRecord* s = CreateStream(
      [](StreamRecord*, void* destination, int32_t bytes, void*) {
        auto* v = static_cast<int16_t*>(destination);
        for (int32_t i = 0; i < bytes / 2; ++i) v[i] = 500;
        ++fills;
        return true;
      },
      2000, sample_mode::k16Bit | sample_mode::kMono, 22050, nullptr);
  ASSERT_NE(s, nullptr);
  ASSERT_NE(PlayStream(kChooseChannel, s), kChooseChannel);
  ASSERT_TRUE(WaitFor([] { return fills.load() >= 4; }));
  EXPECT_TRUE(StopStream(s));
  EXPECT_TRUE(CloseStream(s));
}

TEST_F(StreamerTest, PositionsAndTimesAreChecked) {
  const std::vector<uint8_t> wav = test::Wav16(Ramp(2205), 1, 22050);
  StreamRecord* s = OpenStreamEx(wav.data(), sample_mode::kMemoryImage, static_cast<int32_t>(wav.size()));
  ASSERT_NE(s, nullptr);
  EXPECT_FALSE(SetStreamPosition(s, GetStreamLength(s)));
  EXPECT_EQ(GetAudioError(), audio_error::kBadParameter);
  EXPECT_TRUE(SetStreamPosition(s, 101));
  EXPECT_TRUE(SetStreamTime(s, GetStreamLengthMs(s)));
  EXPECT_FALSE(SetStreamTime(s, GetStreamLengthMs(s) + 1));
  EXPECT_FALSE(SetStreamPaused(nullptr, true));
  CloseStream(s);
}

TEST_F(StreamerTest, TextIsNoStream) {
  const std::string text = "just some words, no sound in here at all, none whatsoever........";
  EXPECT_EQ(OpenStreamEx(text.data(), sample_mode::kMemoryImage, static_cast<int32_t>(text.size())), nullptr);
  EXPECT_EQ(GetAudioError(), audio_error::kBadFormat);
  EXPECT_EQ(OpenStream("http://example.com/a.mp3", 0), nullptr);
  EXPECT_EQ(OpenStream("/nonexistent/a.wav", 0), nullptr);
  EXPECT_EQ(GetAudioError(), audio_error::kFileOpen);
}

TEST_F(StreamerTest, ALoopingStreamKeepsGoing) {
  const std::vector<uint8_t> wav = test::Wav16(Ramp(1102), 1, 22050);  // 50 ms
  StreamRecord* s = OpenStreamEx(wav.data(), sample_mode::kMemoryImage | sample_mode::kLoopNormal,
                                 static_cast<int32_t>(wav.size()));
  ASSERT_NE(s, nullptr);
  static std::atomic<int> ends{0};
  ends = 0;
  SetStreamEndCallback(s, [](StreamRecord*, void*, int32_t, void*) { ++ends; }, nullptr);
  const ChannelHandle h = PlayStream(kChooseChannel, s);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(ends.load(), 0);
  EXPECT_TRUE(IsChannelPlaying(h));
  EXPECT_GE(GetStreamTime(s), 0);
  EXPECT_LE(GetStreamTime(s), 50);
  CloseStream(s);
  EXPECT_EQ(ends.load(), 1);
}

}  // namespace
}  // namespace zv
