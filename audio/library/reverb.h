#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zv {

// A reverb parameter given as this mark keeps its current value.
inline constexpr int32_t kReverbLeaveUnchanged = -9999999;
inline constexpr float kReverbLeaveUnchangedFloat = -9999999.0f;

// How much of a channel goes into the reverb, from the channel's reverb mix
// (its level scale): a negative mix sends all of it; 0 to 1 is a library
// volume (mix x 255) read from the volume table, so 0 sends nothing and 0.5
// about a third.
float ReverbSendGain(float mix);

// The software mixer's room. Channels send into it, and the tail it makes
// is added to the mix: for each side eight feedback combs with a low-pass
// in their loops, in parallel, then four all-passes in series, the classic
// algorithmic design. An environment gives the wet level (0 to 1), the decay
// time (seconds for the tail to fall by 60 dB) and the damping (how long
// the highs last against the decay: below 1 the room is duller). A level of
// 0 switches it off; nothing is then sent or computed.
class SoftwareReverb {
 public:
  // Sizes the delay lines for `mix_rate` and empties them.
  void Configure(int32_t mix_rate);
  // Values equal to the leave-unchanged marks keep the current ones; the
  // others are brought into range (level 0..1, decay 0.1..20 s, damping
  // 0..2). `environment` is kept as given.
  void Set(int32_t environment, float level, float decay_time, float damping);
  void Get(int32_t* environment, float* level, float* decay_time, float* damping) const;
  // True while there is a room to send into or a tail still fading out.
  bool Active() const { return level_ > 0.0f || gain_ > 0.0f; }
  // Adds the reverberation of `send` (stereo frames, as sent this block) to
  // `buffer`, then empties `send`.
  void Process(float* buffer, float* send, int32_t frames);

 private:
  static constexpr int kCombs = 8;
  static constexpr int kAllPasses = 4;

  struct Comb {
    std::vector<float> line;
    std::size_t at = 0;
    float feedback = 0;
    float damp = 0;
    float low = 0;  // the loop's low-pass state
    float Run(float in);
  };
  struct AllPass {
    std::vector<float> line;
    std::size_t at = 0;
    float Run(float in);
  };
  struct Side {
    std::array<Comb, kCombs> combs;
    std::array<AllPass, kAllPasses> all_passes;
    float Run(float in);
  };

  void Tune();
  void Clear();

  int32_t rate_ = 44100;
  int32_t environment_ = 0;
  float level_ = 0;
  float decay_ = 1.0f;
  float damping_ = 1.0f;
  float gain_ = 0;  // the wet gain now, moving to level_ over each block
  std::array<Side, 2> sides_;
};

}  // namespace zv
