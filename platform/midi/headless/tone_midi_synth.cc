// The headless MIDI synthesiser: every instrument a soft triangle, drums a
// short noise burst. It honours notes, velocities, channel volume and
// expression, sustain and pitch bends, so a song keeps its shape and timing
// where no SoundFont is installed.

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "platform/midi/midi_synth.h"

namespace zv::platform {
namespace {

constexpr int kChannels = 16;
constexpr int kDrumChannel = 9;
constexpr size_t kMaxVoices = 64;

struct ChannelState {
  int volume = 100;
  int expression = 127;
  int bend = 8192;
  bool sustain = false;
};

struct Voice {
  int channel = 0;
  int key = 0;
  float level = 0.0f;  // velocity
  double phase = 0.0;
  float envelope = 0.0f;
  bool held = true;      // key down
  bool sustained = false;
  bool releasing = false;
  int age = 0;  // frames
};

class ToneMidiSynth final : public MidiSynth {
 public:
  explicit ToneMidiSynth(int rate) : rate_(std::clamp(rate, 8000, 192000)) {}

  int SampleRate() const override { return rate_; }
  void NoteOn(int channel, int key, int velocity) override {
    if (!Valid(channel)) return;
    if (velocity == 0) return NoteOff(channel, key);
    if (voices_.size() >= kMaxVoices) voices_.erase(voices_.begin());
    Voice v;
    v.channel = channel;
    v.key = std::clamp(key, 0, 127);
    v.level = static_cast<float>(std::clamp(velocity, 0, 127)) / 127.0f;
    voices_.push_back(v);
  }
  void NoteOff(int channel, int key) override {
    if (!Valid(channel)) return;
    for (Voice& v : voices_) {
      if (v.channel != channel || v.key != key || !v.held) continue;
      v.held = false;
      if (channels_[static_cast<size_t>(channel)].sustain)
        v.sustained = true;
      else
        v.releasing = true;
    }
  }
  void ControlChange(int channel, int controller, int value) override {
    if (!Valid(channel)) return;
    ChannelState& c = channels_[static_cast<size_t>(channel)];
    value = std::clamp(value, 0, 127);
    switch (controller) {
      case 7:
        c.volume = value;
        break;
      case 11:
        c.expression = value;
        break;
      case 64:
        c.sustain = value >= 64;
        if (!c.sustain) {
          for (Voice& v : voices_) {
            if (v.channel == channel && v.sustained) v.releasing = true;
          }
        }
        break;
      case 120:
      case 123:
        for (Voice& v : voices_) {
          if (v.channel == channel) v.releasing = true;
        }
        break;
      case 121:
        c = ChannelState{};
        break;
      default:
        break;
    }
  }
  void ProgramChange(int, int) override {}
  void PitchBend(int channel, int value) override {
    if (Valid(channel)) channels_[static_cast<size_t>(channel)].bend = std::clamp(value, 0, 16383);
  }
  void ChannelPressure(int, int) override {}
  void KeyPressure(int, int, int) override {}
  void SysEx(const uint8_t*, size_t) override {}
  void AllSoundOff() override { voices_.clear(); }
  void Reset() override {
    voices_.clear();
    channels_.fill(ChannelState{});
  }
  void SetGain(float gain) override { gain_ = std::max(0.0f, gain); }
  void SetReverb(bool) override {}

  void Render(float* out, int frames) override {
    std::fill(out, out + 2 * std::max(0, frames), 0.0f);
    const float attack = 1.0f / (0.005f * static_cast<float>(rate_));
    const float release = 1.0f / (0.08f * static_cast<float>(rate_));
    for (Voice& v : voices_) {
      const ChannelState& c = channels_[static_cast<size_t>(v.channel)];
      const float amp = 0.15f * gain_ * v.level * static_cast<float>(c.volume * c.expression) / (127.0f * 127.0f);
      const double semis = v.key - 69 + 2.0 * (c.bend - 8192) / 8192.0;
      const double step = 440.0 * std::pow(2.0, semis / 12.0) / rate_;
      for (int i = 0; i < frames; ++i) {
        if (v.releasing) {
          v.envelope -= release;
          if (v.envelope <= 0.0f) {
            v.envelope = 0.0f;
            break;
          }
        } else if (v.envelope < 1.0f) {
          v.envelope = std::min(1.0f, v.envelope + attack);
        }
        float sample;
        if (v.channel == kDrumChannel) {
          noise_ = noise_ * 1103515245u + 12345u;
          sample = static_cast<float>((noise_ >> 16) & 0x7FFF) / 16384.0f - 1.0f;
          if (v.age > rate_ / 10) v.releasing = true;
        } else {
          sample = static_cast<float>(4.0 * std::fabs(v.phase - 0.5) - 1.0);
          v.phase += step;
          v.phase -= std::floor(v.phase);
        }
        const float s = sample * amp * v.envelope;
        out[2 * i] += s;
        out[2 * i + 1] += s;
        ++v.age;
      }
    }
    voices_.erase(std::remove_if(voices_.begin(), voices_.end(),
                                 [](const Voice& v) { return v.releasing && v.envelope <= 0.0f; }),
                  voices_.end());
  }

 private:
  static bool Valid(int channel) { return channel >= 0 && channel < kChannels; }

  int rate_;
  float gain_ = 1.0f;
  uint32_t noise_ = 1;
  std::array<ChannelState, kChannels> channels_{};
  std::vector<Voice> voices_;
};

}  // namespace

std::unique_ptr<MidiSynth> CreateToneMidiSynth(int sample_rate) { return std::make_unique<ToneMidiSynth>(sample_rate); }

}  // namespace zv::platform
