#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "audio/library/channel.h"
#include "audio/library/sample.h"
#include "audio/library/streamer.h"
#include "tests/audio/library/audio_test_util.h"
#include "tests/support/test_paths.h"

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

// The limit only finds a hang: streams play in real time, and a loaded
// machine running the sanitizer build plays a second of sound in several.
bool WaitFor(const std::function<bool()>& done, int ms = 60000) {
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

// What a stream wrote into its sample, half after half, as a unit of the
// stream sees it.
struct StreamCapture {
  int32_t channels = 2;
  std::mutex lock;
  std::vector<int16_t> values;

  static void* Record(void* half, void* buffer, int32_t frames, void* user) {
    auto& c = *static_cast<StreamCapture*>(user);
    const auto* v = static_cast<const int16_t*>(half);
    std::lock_guard hold(c.lock);
    c.values.insert(c.values.end(), v, v + static_cast<size_t>(frames) * c.channels);
    return buffer;
  }
  void Attach(StreamRecord* s) {
    channels = GetStreamSample(s)->layout == sample_mode::kStereo ? 2 : 1;
    SetDspUnitActive(CreateStreamDspUnit(s, Record, 0, this), true);
  }
  void Clear() {
    std::lock_guard hold(lock);
    values.clear();
  }
  // Whether the first `count` values seen are `expected`; where not, the
  // first that differs (or is missing).
  bool Matches(const int16_t* expected, size_t count, size_t* first_difference) {
    std::lock_guard hold(lock);
    for (size_t i = 0; i < count; ++i) {
      if (i >= values.size() || values[i] != expected[i]) {
        *first_difference = i;
        return false;
      }
    }
    return true;
  }
};

std::vector<uint8_t> MpegFixture(const std::string& name) {
  return test::ReadBytes(zv::test::SourcePath("tests/audio/library/formats/fixtures/") + name);
}

// Plays the stream to its end, heard by `capture`; `ends` counts the ends.
void PlayToTheEnd(StreamRecord* s, std::atomic<int>& ends) {
  const int before = ends.load();
  ASSERT_NE(PlayStream(kChooseChannel, s), kChooseChannel);
  EXPECT_TRUE(WaitFor([&] { return ends.load() > before; }));
}

// A streamed MPEG file, of either layer, mono or stereo, at MPEG-1 rates
// and the lower ones whose layer III frames are half as long, is the same
// sound as the file loaded whole, from its first frame to its last; after
// a seek by time (to frame 3), from that frame on, not from where the
// decoder last was.
TEST_F(StreamerTest, AnMpegStreamIsTheLoadedSound) {
  struct File {
    const char* name;
    size_t frame;  // samples per channel in one frame
  };
  for (const auto [name, frame] : {File{"l2_joint_128k_44k.mp2", 1152}, File{"l2_mono_48k_32k.mp2", 1152},
                                   File{"l3_joint_128k_44k.mp3", 1152}, File{"l3_mono_64k_32k.mp3", 1152},
                                   File{"l3_lsf_stereo_crc_64k_24k.mp3", 576}, File{"l3_mpeg25_mono_16k_8k.mp3", 576}}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> file = MpegFixture(name);
    SampleHandle loaded = LoadSample(-1, file.data(), sample_mode::kMemoryImage, static_cast<int32_t>(file.size()));
    ASSERT_NE(loaded, nullptr);
    const auto* whole = reinterpret_cast<const int16_t*>(loaded->data);
    const size_t channels = loaded->layout == sample_mode::kStereo ? 2 : 1;
    const size_t values = static_cast<size_t>(loaded->length) * channels;
    StreamRecord* s = OpenStreamEx(file.data(), sample_mode::kMemoryImage | sample_mode::kExactMpegLength,
                                   static_cast<int32_t>(file.size()));
    ASSERT_NE(s, nullptr) << GetAudioError();
    static std::atomic<int> ends{0};
    SetStreamEndCallback(s, [](StreamRecord*, void*, int32_t, void*) { ++ends; }, nullptr);
    StreamCapture capture;
    capture.Attach(s);

    PlayToTheEnd(s, ends);
    size_t at = 0;
    EXPECT_TRUE(capture.Matches(whole, values, &at)) << "differs at " << at;

    capture.Clear();
    const size_t frame3 = 3 * frame * channels;
    ASSERT_TRUE(SetStreamTime(s, static_cast<int32_t>(3 * frame * 1000 / loaded->default_frequency + 1)));
    PlayToTheEnd(s, ends);
    EXPECT_TRUE(capture.Matches(whole + frame3, values - frame3, &at)) << "after the seek, differs at " << at;
    CloseStream(s);
    FreeSample(loaded);
  }
}

// MPEG audio in a wave file with a cue point "beat" at `cue`.
std::vector<uint8_t> MpegWithCue(const std::vector<uint8_t>& mpeg, int channels, uint32_t rate, uint32_t cue) {
  std::vector<uint8_t> chunks;
  test::PutChunk(chunks, "fmt ", test::FormatChunk(0x55, static_cast<uint16_t>(channels), rate, 0, true));
  std::vector<uint8_t> points;
  test::Put(points, 1, 4);
  test::Put(points, 1, 4);  // its id
  for (int i = 0; i < 4; ++i) test::Put(points, 0, 4);
  test::Put(points, cue, 4);
  test::PutChunk(chunks, "cue ", points);
  std::vector<uint8_t> list;
  test::PutId(list, "adtl");
  std::vector<uint8_t> label;
  test::Put(label, 1, 4);
  for (char c : std::string("beat")) label.push_back(static_cast<uint8_t>(c));
  label.push_back(0);
  test::PutChunk(list, "labl", label);
  test::PutChunk(chunks, "LIST", list);
  test::PutChunk(chunks, "data", mpeg);
  return test::Riff(chunks);
}

struct CueHeard {
  std::string name;
  uint32_t offset = 0;
  int32_t stream_ms = 0;  // the stream's clock when it was called
};

// The cue point is reported once, when the stream's clock reaches it.
TEST_F(StreamerTest, ACuePointIsReportedOnTime) {
  constexpr uint32_t kCue = 5000;  // 113.4 ms
  const std::vector<uint8_t> image = MpegWithCue(MpegFixture("l3_joint_128k_44k.mp3"), 2, 44100, kCue);
  StreamRecord* s = OpenStreamEx(image.data(), sample_mode::kMemoryImage, static_cast<int32_t>(image.size()));
  ASSERT_NE(s, nullptr) << GetAudioError();
  static std::mutex heard_lock;
  static std::vector<CueHeard> heard;
  heard.clear();
  SetStreamSyncCallback(
      s,
      [](StreamRecord* stream, const char* name, uint32_t offset, void*) {
        std::lock_guard hold(heard_lock);
        heard.push_back({name, offset, GetStreamTime(stream)});
      },
      nullptr);
  static std::atomic<int> ends{0};
  SetStreamEndCallback(s, [](StreamRecord*, void*, int32_t, void*) { ++ends; }, nullptr);
  PlayToTheEnd(s, ends);
  CloseStream(s);
  std::lock_guard hold(heard_lock);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].name, "beat");
  EXPECT_EQ(heard[0].offset, kCue);
  EXPECT_GE(heard[0].stream_ms, 114);
  EXPECT_LT(heard[0].stream_ms, 114 + 25);  // within the block that reached it
}

}  // namespace
}  // namespace zv
