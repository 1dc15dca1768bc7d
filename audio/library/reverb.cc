#include "audio/library/reverb.h"

#include <algorithm>
#include <cmath>

#include "audio/library/volume_table.h"

namespace zv {
namespace {

// Delay lengths at 44100 Hz: mutually prime-ish, so the combs' echoes do not
// pile up on the same instants; the right side's are a little longer, which
// makes the two sides differ as they would in a room.
constexpr int32_t kCombLengths[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int32_t kAllPassLengths[4] = {556, 441, 341, 225};
constexpr int32_t kStereoSpread = 23;
constexpr float kAllPassFeedback = 0.5f;
// The eight combs add up; the input is scaled down before them and the
// tail up after, so a long room gives a tail about as loud as what went in.
constexpr float kInputGain = 0.015f;
constexpr float kWetScale = 3.0f;

// Values this small are of no sound; kept, they would slow every sum.
float Flush(float v) { return std::fabs(v) < 1e-20f ? 0.0f : v; }

// `v` within lo..hi; a value that is not a number becomes `fallback`.
float Bounded(float v, float lo, float hi, float fallback) {
  if (std::isnan(v)) return fallback;
  return std::clamp(v, lo, hi);
}

}  // namespace

float ReverbSendGain(float mix) {
  if (std::isnan(mix)) return 0.0f;
  if (mix < 0.0f) return 1.0f;
  const auto volume = static_cast<int32_t>(std::min(mix, 1.0f) * 255.0f);
  return MillibelsToGain(VolumeMillibels(volume));
}

float SoftwareReverb::Comb::Run(float in) {
  const float out = line[at];
  low = Flush(out * (1.0f - damp) + low * damp);
  line[at] = in + low * feedback;
  if (++at == line.size()) at = 0;
  return out;
}

float SoftwareReverb::AllPass::Run(float in) {
  const float delayed = line[at];
  const float w = Flush(in + kAllPassFeedback * delayed);
  line[at] = w;
  if (++at == line.size()) at = 0;
  return delayed - kAllPassFeedback * w;
}

float SoftwareReverb::Side::Run(float in) {
  float out = 0;
  for (Comb& comb : combs) out += comb.Run(in);
  for (AllPass& pass : all_passes) out = pass.Run(out);
  return out;
}

void SoftwareReverb::Configure(int32_t mix_rate) {
  rate_ = std::clamp(mix_rate, 4000, 192000);
  auto scaled = [this](int32_t length) {
    return static_cast<size_t>(std::max<int64_t>(1, int64_t{length} * rate_ / 44100));
  };
  for (int side = 0; side < 2; ++side) {
    const int32_t spread = side == 0 ? 0 : kStereoSpread;
    Side& s = sides_[static_cast<size_t>(side)];
    for (int i = 0; i < kCombs; ++i) s.combs[static_cast<size_t>(i)].line.assign(scaled(kCombLengths[i] + spread), 0.0f);
    for (int i = 0; i < kAllPasses; ++i)
      s.all_passes[static_cast<size_t>(i)].line.assign(scaled(kAllPassLengths[i] + spread), 0.0f);
  }
  Clear();
  Tune();
}

void SoftwareReverb::Set(int32_t environment, float level, float decay_time, float damping) {
  const bool was_active = Active();
  if (environment != kReverbLeaveUnchanged) environment_ = environment;
  if (level != kReverbLeaveUnchangedFloat) level_ = Bounded(level, 0.0f, 1.0f, 0.0f);
  if (decay_time != kReverbLeaveUnchangedFloat) decay_ = Bounded(decay_time, 0.1f, 20.0f, 1.0f);
  if (damping != kReverbLeaveUnchangedFloat) damping_ = Bounded(damping, 0.0f, 2.0f, 1.0f);
  // A room switched on starts empty, not with the tail of an older one.
  if (!was_active && level_ > 0.0f) Clear();
  Tune();
}

void SoftwareReverb::Get(int32_t* environment, float* level, float* decay_time, float* damping) const {
  if (environment) *environment = environment_;
  if (level) *level = level_;
  if (decay_time) *decay_time = decay_;
  if (damping) *damping = damping_;
}

void SoftwareReverb::Tune() {
  // Each comb loses 60 dB in the decay time: its echo comes back every
  // `line` samples, so it keeps 10^(-3 * line / (decay * rate)) of it. The
  // highs die in damping x decay instead; the loop's low-pass takes off the
  // difference at the top of the band.
  const double hf_ratio = std::max(0.001, static_cast<double>(damping_));
  for (Side& side : sides_) {
    for (Comb& comb : side.combs) {
      const double samples = static_cast<double>(comb.line.size());
      const double keep = std::pow(10.0, -3.0 * samples / (decay_ * rate_));
      const double keep_high = std::pow(10.0, -3.0 * samples / (decay_ * hf_ratio * rate_));
      const double ratio = keep > 0 ? keep_high / keep : 1.0;
      comb.feedback = static_cast<float>(keep);
      comb.damp = hf_ratio >= 1.0 ? 0.0f : static_cast<float>(std::clamp((1.0 - ratio) / (1.0 + ratio), 0.0, 0.98));
    }
  }
}

void SoftwareReverb::Clear() {
  for (Side& side : sides_) {
    for (Comb& comb : side.combs) {
      std::fill(comb.line.begin(), comb.line.end(), 0.0f);
      comb.at = 0;
      comb.low = 0;
    }
    for (AllPass& pass : side.all_passes) {
      std::fill(pass.line.begin(), pass.line.end(), 0.0f);
      pass.at = 0;
    }
  }
}

void SoftwareReverb::Process(float* buffer, float* send, int32_t frames) {
  if (buffer == nullptr || send == nullptr || frames <= 0 || sides_[0].combs[0].line.empty()) return;
  // The wet gain moves to its new value over the block, so a change of room
  // does not click.
  const float start = gain_;
  const float step = (level_ - gain_) / static_cast<float>(frames);
  for (int32_t i = 0; i < frames; ++i) {
    const float in = (send[2 * i] + send[2 * i + 1]) * kInputGain;
    const float left = sides_[0].Run(in);
    const float right = sides_[1].Run(in);
    const float gain = (start + step * static_cast<float>(i + 1)) * kWetScale;
    buffer[2 * i] += left * gain;
    buffer[2 * i + 1] += right * gain;
  }
  gain_ = level_;
  std::fill(send, send + 2 * static_cast<size_t>(frames), 0.0f);
}

}  // namespace zv
