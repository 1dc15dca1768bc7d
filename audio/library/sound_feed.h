#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "audio/library/dsp_unit.h"

namespace zv {

// Fills up to `frames` 16-bit stereo frames at the mix rate; fewer only at
// the end of the sound.
using SoundFeedReader = std::function<int32_t(int16_t* out, int32_t frames)>;

// Sound decoded elsewhere as it plays (the sound track of an animation): a
// DSP unit of its own asks the reader each block for the block's frames and
// adds them to the mix, after the songs and before the reverb and the
// output. The reader runs on the mixer thread with the mixer lock held, so
// whoever changes what it reads takes that lock. The unit lives as long as
// the library that made it: once the library has closed, the object stays
// harmless and does nothing.
class SoundFeedUnit {
 public:
  // Switched off at first; null when the library is not initialised or the
  // unit cannot be made.
  static std::unique_ptr<SoundFeedUnit> Create(SoundFeedReader reader);
  ~SoundFeedUnit();
  SoundFeedUnit(const SoundFeedUnit&) = delete;
  SoundFeedUnit& operator=(const SoundFeedUnit&) = delete;

  // Off, the reader is not asked: the sound holds its place.
  void SetActive(bool active);
  bool Active() const;

 private:
  explicit SoundFeedUnit(SoundFeedReader reader) : reader_(std::move(reader)) {}
  static void* Mix(void* block, void* buffer, int32_t frames, void* user);
  bool UnitAlive() const;

  SoundFeedReader reader_;
  DspUnit* unit_ = nullptr;
  int32_t generation_ = 0;  // the mixer's, when the unit was made
  std::vector<int16_t> frames_;
};

}  // namespace zv
