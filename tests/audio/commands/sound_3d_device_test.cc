#include <gtest/gtest.h>

#include <cstring>

#include "audio/library/channel.h"
#include "audio/library/library.h"
#include "platform/audio3d/openal/openal_backend.h"
#include "tests/audio/commands/sound_program_fixture.h"

namespace zv {
namespace {

struct LoopbackDevice {
  platform::LoopbackAudio3DBackend loopback;
};

// Programs run against the sound system on a 3D sound device that renders
// into memory: what the test hears is what a sound card would play.
class Sound3DDeviceTest : public LoopbackDevice, public test::SoundProgramTest {
 protected:
  Sound3DDeviceTest() : SoundProgramTest(SoundSystemOptions{nullptr, true, &loopback}) {}

  void TearDown() override {
    SoundProgramTest::TearDown();
    SetAudio3DBackend(nullptr);
  }

  // The next `frames` frames the device plays. The software mix is made
  // ahead of what the device takes from it; its loudest value is kept.
  std::vector<int16_t> HearDevice(int32_t frames) {
    constexpr int32_t kPiece = 512;
    constexpr int32_t kLead = 1024;
    std::vector<int16_t> out;
    for (int32_t done = 0; done < frames;) {
      const int32_t piece = std::min(kPiece, frames - done);
      while (mixed_ < rendered_ + piece + kLead) {
        const std::vector<int16_t> mix = Hear(kPiece);
        mixed_ += kPiece;
        software_peak_ = std::max(software_peak_, std::max(Peak(mix).first, Peak(mix).second));
      }
      const std::vector<int16_t> heard = loopback.Render(static_cast<uint32_t>(piece));
      out.insert(out.end(), heard.begin(), heard.end());
      rendered_ += piece;
      done += piece;
    }
    return out;
  }

  int64_t mixed_ = 0;
  int64_t rendered_ = 0;
  int software_peak_ = 0;
};

TEST_F(Sound3DDeviceTest, A3DSoundTakesItsLevelAndSideFromTheDevice) {
  ASSERT_TRUE(Run("load 3d sound \"$TONE\", 1\nposition sound 1, 10.0, 0.0, 0.0\nloop sound 1\n"));
  ASSERT_EQ(Error(), 0);
  EXPECT_GE(service.Slots().Slot(1).channel & 0xfff, 32);  // above the software channels
  HearDevice(2048);
  // To the right of a listener facing +z, a little fainter than at the
  // minimum distance: 1 / (1 + 0.002 x 9) with the start-up rolloff.
  auto [left, right] = Peak(HearDevice(4096));
  EXPECT_NEAR(right, 10000 / (1 + 0.002 * 9), 100);
  EXPECT_LT(left, 100);
  // A hundred times as far: a third of the level.
  ASSERT_TRUE(Run("position sound 1, 1000.0, 0.0, 0.0\n"));
  std::tie(left, right) = Peak(HearDevice(4096), 1024);
  EXPECT_NEAR(right, 10000 / (1 + 0.002 * 999), 100);
  EXPECT_LT(left, 100);
  // The listener turned round: the sound is on the left.
  ASSERT_TRUE(Run("rotate listener 0.0, 180.0, 0.0\n"));
  std::tie(left, right) = Peak(HearDevice(4096), 1024);
  EXPECT_NEAR(left, 10000 / (1 + 0.002 * 999), 100);
  EXPECT_LT(right, 100);
  // Standing at the sound: full level, on both sides alike.
  ASSERT_TRUE(Run("position listener 1000.0, 0.0, 0.0\n"));
  std::tie(left, right) = Peak(HearDevice(4096), 1024);
  EXPECT_GT(left, 5000);
  EXPECT_NEAR(left, right, 10);
  // None of it went through the software mixer.
  EXPECT_EQ(software_peak_, 0);
}

// A stereo 3D sound has one place like any other: its two sides are heard
// together from there.
TEST_F(Sound3DDeviceTest, AStereo3DSoundMovesFromSideToSide) {
  const std::string stereo = test::TempPath("stereo_tone.wav");
  std::vector<int16_t> values;
  for (int i = 0; i < 44100; ++i) values.insert(values.end(), {12000, 8000});
  ASSERT_TRUE(test::WriteBytes(stereo, test::Wav16(values, 2)));
  ASSERT_TRUE(Run("load 3d sound \"" + stereo + "\", 1\nposition sound 1, 10.0, 0.0, 0.0\nloop sound 1\n"));
  std::remove(stereo.c_str());
  ASSERT_EQ(Error(), 0);
  ASSERT_EQ(service.Slots().Slot(1).sample->layout, sample_mode::kStereo);
  const double level = 10000 / (1 + 0.002 * 9);  // the two sides' mean, 10 units off
  HearDevice(2048);
  auto [left, right] = Peak(HearDevice(4096));
  EXPECT_NEAR(right, level, 100);
  EXPECT_LT(left, 100);
  ASSERT_TRUE(Run("position sound 1, -10.0, 0.0, 0.0\n"));
  std::tie(left, right) = Peak(HearDevice(4096), 1024);
  EXPECT_NEAR(left, level, 100);
  EXPECT_LT(right, 100);
}

// A sound in the device's buffer is read back through the sample lock: it
// saves as the WAV it came from, with its own channels, bits and rate, and
// becomes memory.
TEST_F(Sound3DDeviceTest, A3DSoundSavesAndBecomesMemoryWithAllItsData) {
  struct Case {
    uint16_t channels;
    uint32_t rate;
  };
  for (const Case c : {Case{2, 22050}, Case{1, 11025}}) {
    SCOPED_TRACE(c.channels);
    const std::string in = test::TempPath("in.wav"), out = test::TempPath("out.wav");
    std::vector<int16_t> values;
    for (int i = 0; i < 999 * c.channels; ++i) values.push_back(static_cast<int16_t>(i * 37 - 18000));
    const std::vector<uint8_t> file = test::Wav16(values, c.channels, c.rate);
    ASSERT_TRUE(test::WriteBytes(in, file));
    ASSERT_TRUE(Run("load 3d sound \"" + in + "\", 1\nsave sound \"" + out + "\", 1\nload sound \"" + out +
                    "\", 2\n"));
    EXPECT_EQ(Error(), 0);
    ASSERT_EQ(service.Slots().Slot(1).sample->data, nullptr);  // held by the device
    EXPECT_EQ(test::ReadBytes(out), file);
    const SampleRecord* back = service.Slots().Slot(2).sample;
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->layout, c.channels == 2 ? sample_mode::kStereo : sample_mode::kMono);
    EXPECT_EQ(back->default_frequency, static_cast<int32_t>(c.rate));
    ASSERT_EQ(back->length, 999);
    EXPECT_EQ(std::memcmp(back->data, file.data() + 44, values.size() * 2), 0);
    // As memory: a mono sound, a stereo one with its two sides mixed.
    SoundMemory memory;
    ASSERT_TRUE(service.Slots().SoundToMemory(1, memory));
    EXPECT_EQ(memory.bits, 16u);
    EXPECT_EQ(memory.frequency, c.rate);
    EXPECT_EQ(memory.length, 999u);
    ASSERT_EQ(memory.data.size(), 999u * 2);
    const int16_t last = c.channels == 2 ? (values[1996] + values[1997]) / 2 : values[998];
    EXPECT_EQ(memory.data[1996] | memory.data[1997] << 8, static_cast<uint16_t>(last));
    std::remove(in.c_str());
    std::remove(out.c_str());
  }
}

// A paused 3D sound on a voice of the device reads as playing, as a paused
// 2D sound on a software channel does, and so it does once resumed.
TEST_F(Sound3DDeviceTest, APaused3DSoundReadsAsPlaying) {
  ASSERT_TRUE(Run("load 3d sound \"$TONE\", 1\nload sound \"$TONE\", 2\nloop sound 1\nloop sound 2\n"
                  "pause sound 1\npause sound 2\na = sound playing(1)\nb = sound playing(2)\n"
                  "resume sound 1\nc = sound playing(1)\n"));
  ASSERT_EQ(Error(), 0);
  EXPECT_EQ(Int(0), 1);
  EXPECT_EQ(Int(1), 1);
  EXPECT_EQ(Int(2), 1);
}

TEST_F(Sound3DDeviceTest, A2DSoundPlaysThroughTheMixStream) {
  ASSERT_TRUE(Run("load sound \"$TONE\", 1\nloop sound 1\nset sound pan 1, -10000\n"));
  ASSERT_LT(service.Slots().Slot(1).channel & 0xfff, 32);
  HearDevice(4096);
  const auto [left, right] = Peak(HearDevice(4096));
  EXPECT_NEAR(left, software_peak_, 2);
  EXPECT_EQ(right, 0);
}

// The loudness of a click's tail in the device's room, a quarter to three
// quarters of a second after the click.
class RoomTailTest : public Sound3DDeviceTest {
 protected:
  void SetUp() override {
    Sound3DDeviceTest::SetUp();
    click_ = test::TempPath("click.wav");
    ASSERT_TRUE(test::WriteBytes(click_, test::Wav16(std::vector<int16_t>(441, 20000))));
  }
  void TearDown() override {
    std::remove(click_.c_str());
    Sound3DDeviceTest::TearDown();
  }
  int Tail(const std::string& environment, const std::string& load = "load 3d sound") {
    EXPECT_TRUE(Run(load + " \"" + click_ + "\", 1\nposition sound 1, 0.0, 0.0, 2.0\n" + environment +
                    "\nplay sound 1\n"));
    EXPECT_EQ(Error(), 0) << environment;
    const std::vector<int16_t> heard = HearDevice(44100 * 3 / 4);
    int loudest = 0;
    for (size_t i = 44100 / 4 * 2; i < heard.size(); ++i) loudest = std::max(loudest, std::abs(int{heard[i]}));
    // The room falls quiet again before the next click.
    EXPECT_TRUE(Run("set sound environment 0\n"));
    HearDevice(44100);
    return loudest;
  }
  std::string click_;
};

TEST_F(RoomTailTest, BothReverbSetsChangeTheTail) {
  // Only the device's voices ring in its room; the software mix plays dry.
  EXPECT_EQ(Tail("set sound environment 8", "load sound"), 0);
  EXPECT_EQ(Tail("set sound environment 0"), 0);
  const int hall = Tail("set sound environment 8");
  EXPECT_GT(hall, 20);
  // The four values: a long decay rings on, a short one is gone, a quiet
  // room is quieter.
  const int long_hall = Tail("set sound environment 8, 1.0, 8.0, 1.0");
  EXPECT_GT(long_hall, hall);
  EXPECT_LT(Tail("set sound environment 8, 1.0, 0.1, 1.0"), long_hall / 20);
  EXPECT_LT(Tail("set sound environment 8, 0.1, 8.0, 1.0"), long_hall / 5);
  // The thirteen values: the late reverberation louder still, or the room
  // silenced.
  const std::string detailed = "set sound environment 8, 0, -100, 0.0, 8.0, 1.0, -1000, 0.02, ";
  EXPECT_GT(Tail(detailed + "1000, 0.03, 20.0, 1.0, -5.0"), long_hall * 3 / 2);
  EXPECT_EQ(Tail("set sound environment 8, -10000, -100, 0.0, 8.0, 1.0, -1000, 0.02, 2000, 0.03, 20.0, 1.0, -5.0"),
            0);
}

}  // namespace
}  // namespace zv
