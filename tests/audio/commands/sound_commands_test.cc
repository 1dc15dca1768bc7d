#include <gtest/gtest.h>

#include "audio/library/channel.h"
#include "audio/library/output_driver.h"
#include "audio/library/library.h"
#include "audio/library/sound3d.h"
#include "tests/audio/commands/sound_program_fixture.h"

namespace zv {
namespace {

using test::SoundProgramTest;

TEST_F(SoundProgramTest, LoadExistAndDelete) {
  ASSERT_TRUE(Run("load sound \"$TONE\", 1\na = sound exist(1)\nb = sound exist(2)\n"
                  "delete sound 1\nc = sound exist(1)\n"));
  EXPECT_EQ(Error(), 0);
  EXPECT_EQ(Int(0), 1);
  EXPECT_EQ(Int(1), 0);
  EXPECT_EQ(Int(2), 0);
}

TEST_F(SoundProgramTest, SoundNumbersOutsideTheRangeAreRefused) {
  for (const char* line : {"play sound 0", "play sound 1026", "delete sound 1026", "load sound \"$TONE\", 0",
                           "a = sound exist(1026)", "set sound volume 0, 50", "clone sound 1, 1026",
                           "save sound \"x.wav\", 0", "record sound 1026", "a = sound pan(0)"}) {
    ASSERT_TRUE(Run(line));
    EXPECT_EQ(Error(), 3001) << line;
  }
}

TEST_F(SoundProgramTest, AFileThatWillNotLoadIsAWarningThatNamesIt) {
  ASSERT_TRUE(Run("load sound \"/nonexistent/none.wav\", 1\n"));
  EXPECT_EQ(Error(), 3002);
  EXPECT_TRUE(Warning());
  EXPECT_EQ(vm.errors.subject, "/nonexistent/none.wav");
  ASSERT_TRUE(Run("load 3d sound \"/nonexistent/none.wav\", 1\n"));
  EXPECT_EQ(Error(), 3002);
}

TEST_F(SoundProgramTest, CommandsOnAnEmptySlotNeedASound) {
  for (const char* line : {"play sound 5", "loop sound 5", "stop sound 5", "pause sound 5", "resume sound 5",
                           "delete sound 5", "set sound speed 5, 1000", "position sound 5, 1.0, 2.0, 3.0",
                           "a = sound playing(5)", "a = sound volume(5)", "a# = sound position x(5)"}) {
    ASSERT_TRUE(Run(line));
    EXPECT_EQ(Error(), 3004) << line;
  }
}

TEST_F(SoundProgramTest, PlayingIsHeardAndStoppingSilencesIt) {
  ASSERT_TRUE(Run("load sound \"$TONE\", 1\nplay sound 1\na = sound playing(1)\nb = sound looping(1)\n"));
  EXPECT_EQ(Int(0), 1);
  EXPECT_EQ(Int(1), 0);
  const auto [left, right] = Peak(Hear(2000), 500);
  EXPECT_EQ(left, test::SaturatingGain(10000, 127));
  EXPECT_EQ(right, test::SaturatingGain(10000, 128));
  ASSERT_TRUE(Run("stop sound 1\na = sound playing(1)\n"));
  EXPECT_EQ(Int(0), 0);
  Hear(2000);  // what was mixed before the stop
  EXPECT_EQ(Peak(Hear(2000)).first, 0);
}

TEST_F(SoundProgramTest, PlayingEndsByItselfAndTheFlagFollows) {
  ASSERT_TRUE(Run("load sound \"$SHORT\", 1\nplay sound 1\n"));
  Hear(5000);
  ASSERT_TRUE(Run("a = sound playing(1)\n"));
  EXPECT_EQ(Int(0), 0);
}

TEST_F(SoundProgramTest, EveryLoopFormLoopsTheWholeSound) {
  for (const char* loop : {"loop sound 1", "loop sound 1, 100", "loop sound 1, 10, 200", "loop sound 1, 10, 200, 50"}) {
    ASSERT_TRUE(Run(std::string("load sound \"$SHORT\", 1\n") + loop + "\na = sound looping(1)\n"));
    EXPECT_EQ(Error(), 0) << loop;
    EXPECT_EQ(Int(0), 1) << loop;
    const std::vector<int16_t> out = Hear(4000);
    EXPECT_GT(Peak(out, 3000).first, 4000) << loop;  // far past the 300 samples
  }
  ASSERT_TRUE(Run("load sound \"$SHORT\", 1\nplay sound 1, 150\na = sound looping(1)\nb = sound playing(1)\n"));
  EXPECT_EQ(Int(0), 0);
  EXPECT_EQ(Int(1), 1);
}

TEST_F(SoundProgramTest, PauseAndResumeKeepTheirFlags) {
  ASSERT_TRUE(Run("load sound \"$TONE\", 1\nplay sound 1\npause sound 1\na = sound paused(1)\n"));
  EXPECT_EQ(Int(0), 1);
  Hear(2000);
  EXPECT_EQ(Peak(Hear(2000)).first, 0);
  ASSERT_TRUE(Run("resume sound 1\na = sound paused(1)\n"));
  EXPECT_EQ(Int(0), 0);
  Hear(2000);
  EXPECT_GT(Peak(Hear(2000)).first, 4000);
  // Pausing, then playing again: not paused, and heard.
  ASSERT_TRUE(Run("pause sound 1\nplay sound 1\na = sound paused(1)\n"));
  EXPECT_EQ(Int(0), 0);
}

TEST_F(SoundProgramTest, VolumeIsInPercent) {
  ASSERT_TRUE(Run("load sound \"$TONE\", 1\nset sound volume 1, 50\nplay sound 1\na = sound volume(1)\n"));
  EXPECT_EQ(Int(0), 50);
  EXPECT_EQ(service.Slots().Slot(1).library_volume, 127);
  // Volume 127 at centre pan: a left gain of 127 * 127 / 255 = 63.
  EXPECT_EQ(Peak(Hear(2000), 500).first, test::SaturatingGain(10000, 127 * 127 / 255));
  for (auto [percent, volume] : {std::pair{100, 254}, {40, 101}, {0, 0}}) {
    ASSERT_TRUE(Run("set sound volume 1, " + std::to_string(percent)));
    EXPECT_EQ(service.Slots().Slot(1).library_volume, volume);
  }
  ASSERT_TRUE(Run("set sound volume 1, 101"));
  EXPECT_EQ(Error(), 3005);
  ASSERT_TRUE(Run("set sound volume 1, -1"));
  EXPECT_EQ(Error(), 3005);
}

TEST_F(SoundProgramTest, SpeedIsInHertz) {
  ASSERT_TRUE(Run("load sound \"$TONE\", 1\nset sound speed 1, 22050\nplay sound 1\na = sound speed(1)\n"));
  EXPECT_EQ(Int(0), 22050);
  EXPECT_EQ(GetChannelFrequency(service.Slots().Slot(1).channel), 22050);
  for (const char* bad : {"set sound speed 1, 99", "set sound speed 1, 100001"}) {
    ASSERT_TRUE(Run(bad));
    EXPECT_EQ(Error(), 3006) << bad;
  }
  for (const char* good : {"set sound speed 1, 100", "set sound speed 1, 100000"}) {
    ASSERT_TRUE(Run(good));
    EXPECT_EQ(Error(), 0) << good;
  }
}

TEST_F(SoundProgramTest, PanMovesTheSoundBetweenTheSides) {
  ASSERT_TRUE(Run("load sound \"$TONE\", 1\nplay sound 1\nset sound pan 1, -10000\na = sound pan(1)\n"));
  EXPECT_EQ(Int(0), -10000);
  EXPECT_EQ(GetChannelPan(service.Slots().Slot(1).channel), 0);
  Hear(2000);
  const auto [left, right] = Peak(Hear(2000));
  EXPECT_EQ(left, test::SaturatingGain(10000));
  EXPECT_EQ(right, 0);
  for (auto [pan, sent] : {std::pair{5080, 255}, {39, 128}, {-40, 127}}) {
    ASSERT_TRUE(Run("set sound pan 1, " + std::to_string(pan)));
    EXPECT_EQ(GetChannelPan(service.Slots().Slot(1).channel), sent) << pan;
  }
  ASSERT_TRUE(Run("set sound pan 1, 10001"));
  EXPECT_EQ(Error(), 3007);
  // A pan set while the sound is silent is heard when it plays.
  ASSERT_TRUE(Run("stop sound 1\nset sound pan 1, 10000\nplay sound 1\n"));
  Hear(2000);
  EXPECT_EQ(Peak(Hear(2000)), std::make_pair(0, test::SaturatingGain(10000)));
}

// With the default settings this machine mixes with the saturating
// family: a voice hard left comes out at 255/256 of itself, and voices are
// added with 16-bit saturation in the order they started, so two loud ones
// pin the sum before a third takes it back down.
TEST_F(SoundProgramTest, TheDefaultMixerAddsVoicesWithSixteenBitSaturation) {
  struct Case {
    std::vector<int16_t> voices;
    int left;
  };
  const Case cases[] = {{{32767}, 32639}, {{25000, 25000, -25000}, 7864}, {{-25000, 25000, 25000}, 24901}};
  for (const Case& c : cases) {
    std::string program;
    std::vector<std::string> files;
    for (size_t i = 0; i < c.voices.size(); ++i) {
      files.push_back(test::TempPath("voice" + std::to_string(i) + ".wav"));
      ASSERT_TRUE(test::WriteBytes(files.back(), test::Wav16(std::vector<int16_t>(44100, c.voices[i]))));
      const std::string n = std::to_string(i + 1);
      program += "load sound \"" + files.back() + "\", " + n + "\n";
      program += "play sound " + n + "\nset sound pan " + n + ", -10000\n";
    }
    ASSERT_TRUE(Run(program));
    EXPECT_EQ(Error(), 0);
    EXPECT_EQ(Peak(Hear(2000), 500), std::make_pair(c.left, 0)) << c.voices.size() << " voices";
    std::string cleanup;
    for (size_t i = 0; i < c.voices.size(); ++i) cleanup += "delete sound " + std::to_string(i + 1) + "\n";
    ASSERT_TRUE(Run(cleanup));
    for (const std::string& f : files) std::remove(f.c_str());
  }
}

TEST_F(SoundProgramTest, ThreeDimensionalSoundsFollowTheListener) {
  ASSERT_TRUE(Run("load 3d sound \"$TONE\", 1\na = sound is 3d(1)\nposition sound 1, 10.0, 0.0, 0.0\n"
                  "loop sound 1\nx# = sound position x(1)\ny# = sound position y(1)\nz# = sound position z(1)\n"));
  EXPECT_EQ(Error(), 0);
  EXPECT_EQ(Int(0), 1);
  EXPECT_FLOAT_EQ(Float(0), 10.0f);
  EXPECT_FLOAT_EQ(Float(1), 0.0f);
  service.UpdateSound3D();
  ChannelRecord* c = LookupChannel(service.Slots().Slot(1).channel);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->voice.pan, 255);  // to the right of a listener facing +z
  // Turned to face +x, the sound is straight ahead.
  ASSERT_TRUE(Run("rotate listener 0.0, 90.0, 0.0\nax# = listener angle x()\nay# = listener angle y()\n"));
  service.UpdateSound3D();
  EXPECT_NEAR(c->voice.pan, 128, 1);
  EXPECT_FLOAT_EQ(Float(1), 90.0f);
  ASSERT_TRUE(Run("position listener 20.0, 0.0, 0.0\nx# = listener position x()\n"));
  EXPECT_FLOAT_EQ(Float(0), 20.0f);
  service.UpdateSound3D();
  EXPECT_NEAR(c->voice.pan, 128, 1);  // now straight behind
}

// The listener turns by exact degrees, as objects and the camera do: a
// quarter turn faces straight along the next axis.
TEST_F(SoundProgramTest, TheListenerTurnsByExactDegrees) {
  struct Case {
    const char* angles;
    float front[3], top[3];
  } cases[] = {{"0.0, 90.0, 0.0", {1, 0, 0}, {0, 1, 0}}, {"0.0, -270.0, 0.0", {1, 0, 0}, {0, 1, 0}},
               {"90.0, 0.0, 0.0", {0, -1, 0}, {0, 0, 1}}, {"0.0, 0.0, 90.0", {0, 0, 1}, {-1, 0, 0}}};
  for (const Case& c : cases) {
    ASSERT_TRUE(Run(std::string("rotate listener ") + c.angles + "\n"));
    for (int j = 0; j < 3; ++j) {
      EXPECT_EQ(service.Slots().listener_front[j], c.front[j]) << c.angles << " front " << j;
      EXPECT_EQ(service.Slots().listener_top[j], c.top[j]) << c.angles << " top " << j;
    }
  }
}

TEST_F(SoundProgramTest, DistanceFactorIsInHundredths) {
  ASSERT_TRUE(Run("set sound distance factor 200.0\n"));
  EXPECT_FLOAT_EQ(Get3DInverseDistanceFactor(), 0.5f);
}

TEST_F(SoundProgramTest, ClonesShareTheSample) {
  ASSERT_TRUE(Run("load sound \"$TONE\", 1\nclone sound 2, 1\na = sound exist(2)\ndelete sound 1\n"
                  "play sound 2\nb = sound playing(2)\n"));
  EXPECT_EQ(Error(), 0);
  EXPECT_EQ(Int(0), 1);
  EXPECT_EQ(Int(1), 1);
  EXPECT_GT(Peak(Hear(2000), 500).first, 4000);
  // The clone gone first, the sound it was cloned from is untouched.
  ASSERT_TRUE(Run("load sound \"$TONE\", 3\nclone sound 4, 3\ndelete sound 4\nplay sound 3\n"));
  EXPECT_TRUE(service.Slots().Slot(3).owns_sample);
  // A clone of a 3D sound is a 3D sound, and says so.
  ASSERT_TRUE(Run("load 3d sound \"$TONE\", 6\nclone sound 7, 6\na = sound is 3d(7)\n"));
  EXPECT_EQ(Int(0), 1);
  ASSERT_TRUE(Run("clone sound 5, 5"));
  EXPECT_EQ(Error(), 3023);
  ASSERT_TRUE(Run("clone sound 5, 9"));
  EXPECT_EQ(Error(), 3022);
}

TEST_F(SoundProgramTest, PriorityLoadsGiveTheirChannelsPriority) {
  ASSERT_TRUE(Run("load sound \"$TONE\", 1, 0\nplay sound 1\n"));
  EXPECT_EQ(Error(), 0);
  EXPECT_TRUE(service.Slots().Slot(1).priority);
  EXPECT_EQ(GetChannelPriority(service.Slots().Slot(1).channel), 1);
}

TEST_F(SoundProgramTest, RecordingWithoutADeviceFailsAndSaysWhy) {
  ASSERT_TRUE(Run("record sound 1\n"));
  EXPECT_EQ(Error(), 3002);
  EXPECT_EQ(vm.errors.cause, "no recording device could be opened");
  ASSERT_TRUE(Run("record sound 1, 2\n"));
  EXPECT_EQ(Error(), 3002);
  ASSERT_TRUE(Run("record sound 1, 100000\n"));
  EXPECT_EQ(Error(), 3002);
  EXPECT_EQ(vm.errors.cause, "a recording of 100000 seconds is longer than a sound can be");
  ASSERT_TRUE(Run("stop recording sound\na = sound exist(1)\n"));
  EXPECT_EQ(Error(), 0);
  EXPECT_EQ(Int(0), 0);
}

TEST_F(SoundProgramTest, SavingWritesASixteenBitMonoWaveFile) {
  const std::string out = test::TempPath("saved.wav");
  ASSERT_TRUE(Run("load sound \"$TONE\", 1\nsave sound \"" + out + "\", 1\n"));
  EXPECT_EQ(Error(), 0);
  const std::vector<uint8_t> bytes = test::ReadBytes(out);
  std::remove(out.c_str());
  ASSERT_EQ(bytes.size(), 44u + 88200u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
  EXPECT_EQ(bytes[22], 1);  // mono
  EXPECT_EQ(bytes[100], 10000 & 0xff);
  ASSERT_TRUE(Run("save sound \"/nonexistent/folder/x.wav\", 1\n"));
  EXPECT_EQ(Error(), 3008);
}

TEST_F(SoundProgramTest, EnvironmentsSetTheReverb) {
  ASSERT_TRUE(Run("set sound environment 10\n"));
  int32_t environment = -1;
  float volume = 0, decay = 0, damping = 0;
  ASSERT_TRUE(GetReverbEnvironment(&environment, &volume, &decay, &damping));
  EXPECT_EQ(environment, 9);
  EXPECT_FLOAT_EQ(volume, 0.361f);
  EXPECT_FLOAT_EQ(decay, 7.284f);
  EXPECT_FLOAT_EQ(damping, 0.332f);
  ASSERT_TRUE(Run("set sound environment 99\n"));
  ASSERT_TRUE(GetReverbEnvironment(&environment, &volume, nullptr, nullptr));
  EXPECT_EQ(environment, 0);
  EXPECT_EQ(volume, 0.0f);
}

// A click in a room rings on: the reverb's tail follows the environment's
// decay, and with no environment (or after switching it off) there is none.
TEST_F(SoundProgramTest, EnvironmentsGiveAClickATail) {
  const std::vector<int16_t> click(441, 20000);  // ten milliseconds
  const std::string path = test::TempPath("click.wav");
  ASSERT_TRUE(test::WriteBytes(path, test::Wav16(click)));
  // The loudest value of the output in each tenth of a second after a click
  // played with `preset` (0: none).
  auto tail = [&](int preset) {
    EXPECT_TRUE(Run("load sound \"" + path + "\", 1\nset sound environment " + std::to_string(preset) +
                    "\nplay sound 1\n"));
    EXPECT_EQ(Error(), 0);
    std::vector<int> peaks;
    for (int tenth = 0; tenth < 15; ++tenth) peaks.push_back(Peak(Hear(4410)).first);
    Hear(44100);  // let the room fall quiet before the next
    return peaks;
  };
  const std::vector<int> dry = tail(0);
  EXPECT_GT(dry[0], 5000);
  for (int tenth = 1; tenth < 15; ++tenth) EXPECT_EQ(dry[static_cast<size_t>(tenth)], 0) << tenth;

  // Preset 8: about four seconds to die away.
  const std::vector<int> hall = tail(8);
  EXPECT_LT(hall[1], dry[0]);
  EXPECT_GT(hall[1], 500);
  EXPECT_GT(hall[5], 200);
  EXPECT_LT(hall[14], hall[1] / 2);
  // Preset 2: a tenth of a second.
  const std::vector<int> cell = tail(2);
  EXPECT_GT(cell[1], 0);
  EXPECT_LT(cell[2], hall[2] / 10);
  EXPECT_EQ(cell[5], 0);
  // Any other number switches the room off again.
  EXPECT_EQ(tail(99), dry);
  std::remove(path.c_str());
}

TEST_F(SoundProgramTest, UnsupportedCommandsAlwaysFail) {
  for (const char* line : {"sound stub a 1", "sound stub c 1, 2", "sound stub d 3", "sound stub b 1, 7"}) {
    ASSERT_TRUE(Run(line));
    EXPECT_EQ(Error(), 3201) << line;
  }
  ASSERT_TRUE(Run("load sound \"$TONE\", 7\nsound stub b 1, 7\n"));
  EXPECT_EQ(Error(), 3003);
  ASSERT_TRUE(Run("sound stub b 1, 1026"));
  EXPECT_EQ(Error(), 3001);
}

TEST_F(SoundProgramTest, ListenerQueriesStartAtZero) {
  ASSERT_TRUE(Run("a# = listener position y()\nb# = listener position z()\nc# = listener angle z()\n"
                  "d# = listener angle x()\ne# = listener position x()\n"));
  EXPECT_EQ(Error(), 0);
  for (uint32_t k = 0; k < 5; ++k) EXPECT_EQ(Float(k), 0.0f);
}

TEST_F(SoundProgramTest, WithoutTheSoundSystemOnlyNumbersAreChecked) {
  service.StopSoundSystem();
  ASSERT_TRUE(Run("load sound \"$TONE\", 1\nplay sound 1\na = sound exist(1)\nb = sound playing(1)\n"
                  "record sound 2\nclone sound 3, 1\nsave sound \"/nonexistent/x.wav\", 1\n"));
  EXPECT_EQ(Error(), 0);
  EXPECT_EQ(Int(0), 0);
  ASSERT_TRUE(Run("play sound 2000\n"));
  EXPECT_EQ(Error(), 3001);
  ASSERT_TRUE(Run("set sound volume 1, 500\n"));
  EXPECT_EQ(Error(), 3005);
}

TEST_F(SoundProgramTest, DeactivationPausesWhatPlaysAndActivationResumesIt) {
  ASSERT_TRUE(Run("load sound \"$TONE\", 1\nloop sound 1\nload sound \"$TONE\", 2\nplay sound 2\npause sound 2\n"));
  service.PauseAllSounds();
  EXPECT_TRUE(GetChannelPaused(service.Slots().Slot(1).channel));
  service.ResumeAllSounds();
  EXPECT_FALSE(GetChannelPaused(service.Slots().Slot(1).channel));
  // The sound the program had paused itself stays paused, as its flag says.
  EXPECT_TRUE(GetChannelPaused(service.Slots().Slot(2).channel));
  ASSERT_TRUE(Run("a = sound paused(2)\n"));
  EXPECT_EQ(Int(0), 1);
}

}  // namespace
}  // namespace zv
