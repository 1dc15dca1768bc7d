#include "audio/library/sound3d.h"

#include <cmath>
#include <cstdint>
#include <mutex>

#include "audio/library/library_state.h"
#include "audio/library/mixer.h"
#include "audio/library/timing.h"

namespace zv {
namespace {

struct Listener {
  float position[3] = {0, 0, 0};
  float velocity[3] = {0, 0, 0};
  float front[3] = {0, 0, 1};
  float top[3] = {0, 1, 0};
  float right[3] = {1, 0, 0};
  float previous[3] = {0, 0, 0};
  float doppler = 1.0f;
  float inverse_distance = 1.0f;
  float rolloff = 1.0f;
};

Listener& TheListener() {
  static Listener listener;
  return listener;
}

float Length(const float v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// Float to int, truncated toward zero, without undefined behaviour for
// values out of range.
int32_t Truncate(float v) {
  if (!(v > -2147483648.0f)) return INT32_MIN;
  if (v >= 2147483647.0f) return INT32_MAX;
  return static_cast<int32_t>(v);
}

}  // namespace

void SetListenerAttributes(const float* position, const float* velocity, const float* front, const float* top) {
  Listener& l = TheListener();
  for (int i = 0; i < 3; ++i) {
    if (position) l.position[i] = position[i];
    if (velocity) l.velocity[i] = velocity[i];
    if (front) l.front[i] = front[i];
    if (top) l.top[i] = top[i];
  }
  l.right[0] = l.top[1] * l.front[2] - l.top[2] * l.front[1];
  l.right[1] = l.top[2] * l.front[0] - l.top[0] * l.front[2];
  l.right[2] = l.top[0] * l.front[1] - l.top[1] * l.front[0];
  for (int i = 0; i < 3; ++i) l.previous[i] = l.position[i] - l.velocity[i];
}

void SetListener(const float* position, const float* velocity, float fx, float fy, float fz, float tx, float ty,
                 float tz) {
  if (!Lib().initialised) return;
  const float front[3] = {fx, fy, fz};
  const float top[3] = {tx, ty, tz};
  SetListenerAttributes(position, velocity, front, top);
  const Listener& l = TheListener();
  Lib().driver->set_listener_3d(l.position, l.velocity, front, top);
}

void GetListener(float* position, float* velocity, float* fx, float* fy, float* fz, float* tx, float* ty, float* tz) {
  const Listener& l = TheListener();
  for (int i = 0; i < 3; ++i) {
    if (position) position[i] = l.position[i];
    if (velocity) velocity[i] = l.velocity[i];
  }
  if (fx) *fx = l.front[0];
  if (fy) *fy = l.front[1];
  if (fz) *fz = l.front[2];
  if (tx) *tx = l.top[0];
  if (ty) *ty = l.top[1];
  if (tz) *tz = l.top[2];
}

void Set3DDopplerFactor(float factor) {
  TheListener().doppler = factor;
  if (Lib().driver) Lib().driver->set_doppler_factor_3d(factor);
}

void Set3DDistanceFactor(float factor) {
  if (!(factor >= 0.0001f)) factor = 0.0001f;
  float inverse = 1.0f / factor;
  if (!(inverse >= 0.00001f)) inverse = 0.00001f;
  TheListener().inverse_distance = inverse;
  if (Lib().driver) Lib().driver->set_distance_factor_3d(factor);
}

void Set3DRolloffFactor(float factor) {
  float bounded = factor;
  if (!(bounded >= 0.00001f)) bounded = 0.00001f;
  if (bounded > 10.0f) bounded = 10.0f;
  TheListener().rolloff = bounded;
  if (Lib().driver) Lib().driver->set_rolloff_factor_3d(factor);
}

float Get3DDopplerFactor() { return TheListener().doppler; }
float Get3DInverseDistanceFactor() { return TheListener().inverse_distance; }
float Get3DRolloffFactor() { return TheListener().rolloff; }

void ResetListener() { TheListener() = Listener{}; }

void UpdateChannel3D(ChannelRecord& c) {
  SampleRecord* s = c.sample;
  if (s == nullptr || s->is_2d || c.song_owned) return;
  const Listener& l = TheListener();
  float previous[3], d[3];
  for (int i = 0; i < 3; ++i) {
    previous[i] = (c.position3d[i] - c.velocity3d[i]) - l.previous[i];
    d[i] = c.position3d[i] - l.position[i];
  }
  const float previous_distance = Length(previous);
  const float distance = Length(d);

  const float speed = kSpeedOfSound / l.inverse_distance;
  const float k = (speed - (distance - previous_distance) * l.doppler) / speed;
  int32_t frequency = Truncate(static_cast<float>(c.frequency) * k);
  if (frequency < 100) frequency = 100;

  float a = distance;
  if (a > s->max_distance) a = s->max_distance;
  if (a < s->min_distance) a = s->min_distance;
  if (a > s->min_distance) a = (a - s->min_distance) * l.rolloff + s->min_distance;
  if (a < 0.00001f) a = 0.00001f;
  float gain = s->min_distance / a;
  if (!(gain >= 0.0f)) gain = 0.0f;
  if (gain > 1.0f) gain = 1.0f;
  const int32_t volume = Truncate(static_cast<float>(c.volume) * gain) & 0xff;

  float u[3] = {0, 0, 1};
  if (distance > 0) {
    for (int i = 0; i < 3; ++i) u[i] = d[i] / distance;
  }
  const float dot = u[0] * l.right[0] + u[1] * l.right[1] + u[2] * l.right[2];
  int32_t pan = Truncate(dot * 128.0f) + 128;
  pan = pan < 0 ? 0 : pan > 255 ? 255 : pan;

  c.ops.set_frequency(c, frequency);
  c.ops.set_volume(c, volume);
  c.ops.set_pan(c, pan);
}

void Update3DSound() {
  AudioLibraryState& lib = Lib();
  if (!lib.channels) return;
  for (int32_t i = lib.software_range.first; i <= lib.software_range.last; ++i) UpdateChannel3D(lib.channels[i]);
}

void Update3D() {
  if (!Lib().initialised) return;
  Update3DSound();
  Lib().driver->commit_3d();
  SleepMs(0);
}

void SetVoice3DAttributes(ChannelRecord& c, const float* position, const float* velocity) {
  for (int i = 0; i < 3; ++i) {
    if (position) c.position3d[i] = position[i];
    c.velocity3d[i] = velocity ? velocity[i] : 0.0f;
  }
}

bool GetVoice3DAttributes(ChannelRecord& c, float* position, float* velocity) {
  for (int i = 0; i < 3; ++i) {
    if (position) position[i] = c.position3d[i];
    if (velocity) velocity[i] = c.velocity3d[i];
  }
  return true;
}

}  // namespace zv
