#pragma once

#include <array>
#include <cstdint>

namespace zv {

// The decibel curve of the library's volumes 0..255: hundredths of a
// decibel, -10000 (silence) for 0 and 0 for 255, about 1000 less for each
// halving of the volume. The 3D device's voices and the reverb sends read
// their levels from it.
const std::array<int32_t, 256>& VolumeTable();
// The table's entry for `volume`, brought into 0..255.
int32_t VolumeMillibels(int32_t volume);
// The linear gain of a level in hundredths of a decibel; -10000 and below
// are silent.
float MillibelsToGain(int32_t millibels);
// And back: the level of a gain, rounded, at least -10000.
int32_t GainToMillibels(float gain);

}  // namespace zv
