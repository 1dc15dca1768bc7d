#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zv::platform {

// A General MIDI synthesiser that renders into memory: the sound library
// feeds it the events of a MIDI song and mixes what it renders. Nothing
// above platform/ sees which synthesiser is behind it.
class MidiSynth {
 public:
  virtual ~MidiSynth() = default;

  virtual int SampleRate() const = 0;
  virtual void NoteOn(int channel, int key, int velocity) = 0;
  virtual void NoteOff(int channel, int key) = 0;
  virtual void ControlChange(int channel, int controller, int value) = 0;
  virtual void ProgramChange(int channel, int program) = 0;
  // 0..16383, 8192 centre.
  virtual void PitchBend(int channel, int value) = 0;
  virtual void ChannelPressure(int channel, int value) = 0;
  virtual void KeyPressure(int channel, int key, int value) = 0;
  // A system-exclusive message without its F0 and F7 bytes.
  virtual void SysEx(const uint8_t* data, size_t length) = 0;
  // Silences every channel at once.
  virtual void AllSoundOff() = 0;
  // Back to the power-on state: programs, controllers, pitch bends.
  virtual void Reset() = 0;
  // Linear output gain, 1.0 = the synthesiser's own level.
  virtual void SetGain(float gain) = 0;
  virtual void SetReverb(bool on) = 0;
  // Renders `frames` interleaved stereo frames into `left_right`
  // (overwriting it).
  virtual void Render(float* left_right, int frames) = 0;
};

// The General MIDI SoundFont: $ZENTROVEX_SOUNDFONT when set, else the one
// from Debian's timgm6mb-soundfont.
std::string DefaultSoundFontPath();

// FluidSynth with the SoundFont; null (and `error` set) when FluidSynth
// cannot start or the SoundFont does not load. Throws LibraryMissing where
// FluidSynth is not installed.
std::unique_ptr<MidiSynth> CreateFluidMidiSynth(int sample_rate, const std::string& soundfont,
                                                std::string* error);

// The headless synthesiser: plain tones, no SoundFont, the same interface,
// for machines without a SoundFont.
std::unique_ptr<MidiSynth> CreateToneMidiSynth(int sample_rate);

// FluidSynth with the default SoundFont, or the tone synthesiser when that
// cannot start.
std::unique_ptr<MidiSynth> CreateMidiSynth(int sample_rate);

}  // namespace zv::platform
