// The MIDI synthesiser over FluidSynth: no audio driver of its own, it only
// renders when the mixer asks.

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/midi/fluidsynth/fluidsynth_library.h"
#include "platform/midi/midi_synth.h"

namespace zv::platform {
namespace {

// FluidSynth writes its warnings to the console; the game's console is not
// the place for them.
void SilenceFluidLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
      FluidSynth().fluid_set_log_function(level, nullptr, nullptr);
  });
}

class FluidMidiSynth final : public MidiSynth {
 public:
  FluidMidiSynth(fluid_settings_t* settings, fluid_synth_t* synth, int rate)
      : settings_(settings), synth_(synth), rate_(rate) {}
  ~FluidMidiSynth() override {
    FluidSynth().delete_fluid_synth(synth_);
    FluidSynth().delete_fluid_settings(settings_);
  }
  FluidMidiSynth(const FluidMidiSynth&) = delete;
  FluidMidiSynth& operator=(const FluidMidiSynth&) = delete;

  int SampleRate() const override { return rate_; }
  void NoteOn(int channel, int key, int velocity) override {
    if (velocity == 0)
      FluidSynth().fluid_synth_noteoff(synth_, channel, key);
    else
      FluidSynth().fluid_synth_noteon(synth_, channel, key, velocity);
  }
  void NoteOff(int channel, int key) override { FluidSynth().fluid_synth_noteoff(synth_, channel, key); }
  void ControlChange(int channel, int controller, int value) override {
    FluidSynth().fluid_synth_cc(synth_, channel, controller, value);
  }
  void ProgramChange(int channel, int program) override {
    FluidSynth().fluid_synth_program_change(synth_, channel, program);
  }
  void PitchBend(int channel, int value) override { FluidSynth().fluid_synth_pitch_bend(synth_, channel, value); }
  void ChannelPressure(int channel, int value) override {
    FluidSynth().fluid_synth_channel_pressure(synth_, channel, value);
  }
  void KeyPressure(int channel, int key, int value) override {
    FluidSynth().fluid_synth_key_pressure(synth_, channel, key, value);
  }
  void SysEx(const uint8_t* data, size_t length) override {
    if (length == 0 || length > 65536) return;
    FluidSynth().fluid_synth_sysex(synth_, reinterpret_cast<const char*>(data), static_cast<int>(length), nullptr,
                                   nullptr, nullptr, 0);
  }
  void AllSoundOff() override { FluidSynth().fluid_synth_all_sounds_off(synth_, -1); }
  void Reset() override {
    FluidSynth().fluid_synth_all_sounds_off(synth_, -1);
    FluidSynth().fluid_synth_system_reset(synth_);
  }
  void SetGain(float gain) override { FluidSynth().fluid_synth_set_gain(synth_, kBaseGain * std::max(0.0f, gain)); }
  void SetReverb(bool on) override { FluidSynth().fluid_synth_reverb_on(synth_, -1, on ? 1 : 0); }
  void Render(float* left_right, int frames) override {
    if (frames <= 0) return;
    FluidSynth().fluid_synth_write_float(synth_, frames, left_right, 0, 2, left_right, 1, 2);
  }

 private:
  static constexpr float kBaseGain = 0.4f;
  fluid_settings_t* settings_;
  fluid_synth_t* synth_;
  int rate_;
};

}  // namespace

std::string DefaultSoundFontPath() {
  if (const char* path = std::getenv("ZENTROVEX_SOUNDFONT"); path && *path) return path;
  return "/usr/share/sounds/sf2/TimGM6mb.sf2";
}

std::unique_ptr<MidiSynth> CreateFluidMidiSynth(int sample_rate, const std::string& soundfont,
                                                std::string* error) {
  SilenceFluidLog();
  auto fail = [error](const char* why) -> std::unique_ptr<MidiSynth> {
    if (error) *error = why;
    return nullptr;
  };
  fluid_settings_t* settings = FluidSynth().new_fluid_settings();
  if (!settings) return fail("FluidSynth settings could not be made");
  FluidSynth().fluid_settings_setnum(settings, "synth.sample-rate", std::clamp(sample_rate, 8000, 96000));
  FluidSynth().fluid_settings_setint(settings, "synth.threadsafe-api", 1);
  FluidSynth().fluid_settings_setint(settings, "synth.cpu-cores", 1);
  fluid_synth_t* synth = FluidSynth().new_fluid_synth(settings);
  if (!synth) {
    FluidSynth().delete_fluid_settings(settings);
    return fail("FluidSynth could not start");
  }
  if (FluidSynth().fluid_synth_sfload(synth, soundfont.c_str(), 1) == FLUID_FAILED) {
    FluidSynth().delete_fluid_synth(synth);
    FluidSynth().delete_fluid_settings(settings);
    return fail("the SoundFont could not be loaded");
  }
  auto result = std::make_unique<FluidMidiSynth>(settings, synth, sample_rate);
  result->SetGain(1.0f);
  return result;
}

std::unique_ptr<MidiSynth> CreateMidiSynth(int sample_rate) {
  if (auto synth = CreateFluidMidiSynth(sample_rate, DefaultSoundFontPath(), nullptr)) return synth;
  return CreateToneMidiSynth(sample_rate);
}

}  // namespace zv::platform
