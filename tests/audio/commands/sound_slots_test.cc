#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "audio/commands/sound_commands_service.h"
#include "audio/library/library.h"
#include "audio/library/recording.h"
#include "platform/audio/headless/headless_audio.h"
#include "tests/audio/library/audio_test_util.h"

namespace zv {
namespace {

// The slots over a machine with an in-memory sound device.
class SoundSlotsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(slots.StartSoundSystem(SoundSystemOptions{&backend, true}, 0)); }
  void TearDown() override {
    slots.StopSoundSystem();
    SetOfflineMixing(false);
    SetAudioBackend(nullptr);
  }
  bool WaitForRecorded(uint32_t frames) {
    const auto start = std::chrono::steady_clock::now();
    while (GetRecordPosition() < frames) {
      if (std::chrono::steady_clock::now() - start > std::chrono::seconds(30)) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  platform::MemoryAudioBackend backend;
  SoundSlots slots;
};

TEST_F(SoundSlotsTest, ASoundDeviceWithoutA3DOnePlaysThroughWaveOut) {
  EXPECT_EQ(GetOutputType(), kOutputWave);
  EXPECT_TRUE(backend.OutputOpen());
}

TEST_F(SoundSlotsTest, RecordingKeepsWhatFollowsTheLeadingSilence) {
  ASSERT_TRUE(slots.StartRecordingSound(3, 1));
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 100; ++i) test::Put(bytes, static_cast<uint16_t>(i % 2 ? 2048 : -2048), 2);
  for (int i = 0; i < 50; ++i) test::Put(bytes, static_cast<uint16_t>(5000 + i), 2);
  ASSERT_TRUE(backend.Feed(bytes));
  ASSERT_TRUE(WaitForRecorded(150));
  EXPECT_EQ(slots.StopRecordingSound(), 3);
  const SoundSlot& s = slots.Slot(3);
  ASSERT_TRUE(s.loaded);
  EXPECT_TRUE(s.owns_sample);
  ASSERT_EQ(s.sample->length, 50);
  EXPECT_EQ(reinterpret_cast<const int16_t*>(s.sample->data)[0], 5000);
  EXPECT_EQ(s.frequency, 44100);
}

TEST_F(SoundSlotsTest, ARecordingOfSilenceKeepsNothing) {
  ASSERT_TRUE(slots.StartRecordingSound(4, 1));
  ASSERT_TRUE(backend.Feed(std::vector<uint8_t>(400, 0)));
  ASSERT_TRUE(WaitForRecorded(200));
  EXPECT_EQ(slots.StopRecordingSound(), 0);
  EXPECT_FALSE(slots.Slot(4).loaded);
  EXPECT_EQ(slots.StopRecordingSound(), 0);  // nothing recording any more
}

TEST_F(SoundSlotsTest, SoundsBecomeMemoryAndBack) {
  SoundMemory in;
  in.bits = 8;
  in.frequency = 11025;
  in.data = {1, 2, 3, 4, 5};
  ASSERT_TRUE(slots.MemoryToSound(in, 9));
  EXPECT_TRUE(slots.Slot(9).loaded);
  EXPECT_EQ(slots.Slot(9).frequency, 11025);
  SoundMemory out;
  ASSERT_TRUE(slots.SoundToMemory(9, out));
  EXPECT_EQ(out.bits, 8u);
  EXPECT_EQ(out.frequency, 11025u);
  EXPECT_EQ(out.length, 5u);
  EXPECT_EQ(out.data, in.data);
  // A loaded slot keeps its own settings; its old sample goes.
  slots.Slot(9).frequency = 1234;
  in.bits = 16;
  in.data = {0, 1, 0, 2, 7};  // the odd byte is no whole sample
  ASSERT_TRUE(slots.MemoryToSound(in, 9));
  EXPECT_EQ(slots.Slot(9).frequency, 1234);
  EXPECT_EQ(slots.Slot(9).sample->length, 2);
  in.bits = 12;
  EXPECT_FALSE(slots.MemoryToSound(in, 9));
  EXPECT_FALSE(slots.SoundToMemory(10, out));
}

// A saved sound's file states the sample's own format and holds every
// frame as the sample has it, so it loads back as it was.
TEST_F(SoundSlotsTest, ASoundSavesInItsOwnFormatWithEveryFrame) {
  const std::string path = test::TempPath("saved.wav");
  // 8-bit mono at 22050 Hz, of an odd length: unsigned on disk, the data
  // chunk padded to a whole word.
  SoundMemory in;
  in.bits = 8;
  in.frequency = 22050;
  in.data = {0x40, 0xC0, 0x01};
  ASSERT_TRUE(slots.MemoryToSound(in, 2));
  ASSERT_TRUE(slots.SaveSoundAsWav(path, 2));
  std::vector<uint8_t> expected;
  test::PutChunk(expected, "fmt ", test::FormatChunk(1, 1, 22050, 8));
  test::PutChunk(expected, "data", {0xC0, 0x40, 0x81});
  EXPECT_EQ(test::ReadBytes(path), test::Riff(expected));
  ASSERT_TRUE(slots.LoadSound(3, path, false));
  ASSERT_EQ(slots.Slot(3).sample->length, 3);
  EXPECT_EQ(std::vector<uint8_t>(slots.Slot(3).sample->data, slots.Slot(3).sample->data + 3), in.data);
  // 16-bit with a loop that ends inside the sound, played once: the frame
  // after the loop, which playback borrows, is saved as the file had it.
  std::vector<int16_t> values(1000);
  for (int i = 0; i < 1000; ++i) values[static_cast<size_t>(i)] = static_cast<int16_t>(i * 31 + 1);
  std::vector<uint8_t> chunks;
  test::PutChunk(chunks, "fmt ", test::FormatChunk(1, 1, 44100, 16));
  std::vector<uint8_t> sampler(60, 0);
  sampler[48] = 0xF3, sampler[49] = 0x01;  // loop 0..499
  test::PutChunk(chunks, "smpl", sampler);
  std::vector<uint8_t> data;
  for (int16_t v : values) test::Put(data, static_cast<uint16_t>(v), 2);
  test::PutChunk(chunks, "data", data);
  ASSERT_TRUE(test::WriteBytes(path, test::Riff(chunks)));
  ASSERT_TRUE(slots.LoadSound(4, path, false));
  slots.PlaySound(4);
  ASSERT_TRUE(slots.SaveSoundAsWav(path, 4));
  const std::vector<uint8_t> saved = test::ReadBytes(path);
  std::remove(path.c_str());
  ASSERT_EQ(saved.size(), 44u + 2000u);
  EXPECT_EQ(std::vector<uint8_t>(saved.begin() + 44, saved.end()), data);
}

// A WAV rate that no sample holds is refused, not cut; a sound whose rate
// a WAV file cannot state in its format is not saved into one.
TEST_F(SoundSlotsTest, RatesNoFileStatesAreRefused) {
  const std::string path = test::TempPath("rates.wav");
  auto stereo_file = [&path](uint32_t rate) {
    std::vector<uint8_t> chunks;
    test::PutChunk(chunks, "fmt ", test::FormatChunk(1, 2, rate, 16));
    test::PutChunk(chunks, "data", std::vector<uint8_t>(8, 1));
    return test::WriteBytes(path, test::Riff(chunks));
  };
  ASSERT_TRUE(stereo_file(0x80000000u));
  EXPECT_FALSE(slots.LoadSound(5, path, false));
  // Its bytes per second would pass 32 bits.
  ASSERT_TRUE(stereo_file(1500000000u));
  ASSERT_TRUE(slots.LoadSound(5, path, false));
  std::string refused;
  EXPECT_FALSE(slots.SaveSoundAsWav(path, 5, &refused));
  EXPECT_EQ(refused, "a WAV file cannot state its rate of 1500000000 Hz in 16-bit stereo");
  std::remove(path.c_str());
}

}  // namespace
}  // namespace zv
