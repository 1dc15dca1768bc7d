#include "platform/audio3d/openal/openal_device.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "platform/audio3d/openal/environment_rooms.h"
#include "platform/audio3d/openal/openal_library.h"

namespace zv::platform {
namespace {

// The 3D voices a device offers: as many as the sound cards this system
// was made for had. OpenAL could give more sources, but every voice is a
// channel of the library, walked when a sound looks for one.
constexpr int kOfferedVoices = 64;
// How often the pump refills the mix stream of a real device.
constexpr auto kPumpPeriod = std::chrono::milliseconds(4);

bool Clear() { return OpenAl().alGetError() == AL_NO_ERROR; }

float Within(float v, float lo, float hi) { return std::isnan(v) ? lo : std::clamp(v, lo, hi); }

// A value of the room: its parameter in the extended and in the basic
// reverb model (0 where the basic one lacks it) and the range both take.
struct RoomParameter {
  ALenum extended;
  ALenum basic;
  float RoomReverb::*value;
  float lowest, highest;
};

const RoomParameter kRoomParameters[] = {
    {AL_EAXREVERB_DENSITY, AL_REVERB_DENSITY, &RoomReverb::density, 0.0f, 1.0f},
    {AL_EAXREVERB_DIFFUSION, AL_REVERB_DIFFUSION, &RoomReverb::diffusion, 0.0f, 1.0f},
    {AL_EAXREVERB_GAIN, AL_REVERB_GAIN, &RoomReverb::gain, 0.0f, 1.0f},
    {AL_EAXREVERB_GAINHF, AL_REVERB_GAINHF, &RoomReverb::gain_hf, 0.0f, 1.0f},
    {AL_EAXREVERB_GAINLF, 0, &RoomReverb::gain_lf, 0.0f, 1.0f},
    {AL_EAXREVERB_DECAY_TIME, AL_REVERB_DECAY_TIME, &RoomReverb::decay_time, 0.1f, 20.0f},
    {AL_EAXREVERB_DECAY_HFRATIO, AL_REVERB_DECAY_HFRATIO, &RoomReverb::decay_hf_ratio, 0.1f, 2.0f},
    {AL_EAXREVERB_DECAY_LFRATIO, 0, &RoomReverb::decay_lf_ratio, 0.1f, 2.0f},
    {AL_EAXREVERB_REFLECTIONS_GAIN, AL_REVERB_REFLECTIONS_GAIN, &RoomReverb::reflections_gain, 0.0f, 3.16f},
    {AL_EAXREVERB_REFLECTIONS_DELAY, AL_REVERB_REFLECTIONS_DELAY, &RoomReverb::reflections_delay, 0.0f, 0.3f},
    {AL_EAXREVERB_LATE_REVERB_GAIN, AL_REVERB_LATE_REVERB_GAIN, &RoomReverb::late_reverb_gain, 0.0f, 10.0f},
    {AL_EAXREVERB_LATE_REVERB_DELAY, AL_REVERB_LATE_REVERB_DELAY, &RoomReverb::late_reverb_delay, 0.0f, 0.1f},
    {AL_EAXREVERB_ECHO_TIME, 0, &RoomReverb::echo_time, 0.075f, 0.25f},
    {AL_EAXREVERB_ECHO_DEPTH, 0, &RoomReverb::echo_depth, 0.0f, 1.0f},
    {AL_EAXREVERB_MODULATION_TIME, 0, &RoomReverb::modulation_time, 0.04f, 4.0f},
    {AL_EAXREVERB_MODULATION_DEPTH, 0, &RoomReverb::modulation_depth, 0.0f, 1.0f},
    {AL_EAXREVERB_AIR_ABSORPTION_GAINHF, AL_REVERB_AIR_ABSORPTION_GAINHF, &RoomReverb::air_absorption_gain_hf, 0.892f,
     1.0f},
    {AL_EAXREVERB_HFREFERENCE, 0, &RoomReverb::hf_reference, 1000.0f, 20000.0f},
    {AL_EAXREVERB_LFREFERENCE, 0, &RoomReverb::lf_reference, 20.0f, 1000.0f},
    {AL_EAXREVERB_ROOM_ROLLOFF_FACTOR, AL_REVERB_ROOM_ROLLOFF_FACTOR, &RoomReverb::room_rolloff_factor, 0.0f, 10.0f},
};

class OpenAlVoiceBuffer final : public VoiceBuffer {
 public:
  explicit OpenAlVoiceBuffer(ALuint buffer) : buffer_(buffer) {}
  ~OpenAlVoiceBuffer() override { OpenAl().alDeleteBuffers(1, &buffer_); }

  bool Fill(const void* data, size_t bytes, const PcmFormat& format) override {
    if (format.rate < 1 || (format.bits != 8 && format.bits != 16) || (format.channels != 1 && format.channels != 2) ||
        bytes > static_cast<size_t>(INT32_MAX))
      return false;
    const ALenum al_format = format.bits == 8 ? (format.channels == 1 ? AL_FORMAT_MONO8 : AL_FORMAT_STEREO8)
                                              : (format.channels == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16);
    const void* pcm = data;
    std::vector<uint8_t> unsigned_bytes;
    if (format.bits == 8) {
      // OpenAL's 8-bit data is unsigned.
      const auto* in = static_cast<const uint8_t*>(data);
      unsigned_bytes.assign(in, in + bytes);
      for (uint8_t& b : unsigned_bytes) b ^= 0x80;
      pcm = unsigned_bytes.data();
    }
    OpenAl().alGetError();
    OpenAl().alBufferData(buffer_, al_format, pcm, static_cast<ALsizei>(bytes), format.rate);
    if (!Clear()) return false;
    rate_ = static_cast<float>(format.rate);
    return true;
  }

  ALuint Name() const { return buffer_; }
  float Rate() const { return rate_; }

 private:
  ALuint buffer_;
  float rate_ = 44100.0f;
};

// The library's frame has z forward, OpenAL's z backward: z changes sign
// on the way in and out.
void Put3(ALuint source, ALenum what, const float v[3]) { OpenAl().alSource3f(source, what, v[0], v[1], -v[2]); }
void Get3(ALuint source, ALenum what, float v[3]) {
  OpenAl().alGetSource3f(source, what, &v[0], &v[1], &v[2]);
  v[2] = -v[2];
}

class OpenAlVoice final : public Voice3D {
 public:
  OpenAlVoice(OpenAlDevice& device, ALuint source, float buffer_rate)
      : device_(device), source_(source), buffer_rate_(buffer_rate) {}
  ~OpenAlVoice() override {
    OpenAl().alSourceStop(source_);
    OpenAl().alSourcei(source_, AL_BUFFER, 0);
    OpenAl().alDeleteSources(1, &source_);
    device_.ForgetVoice(source_);
  }

  void Play(bool looping) override {
    OpenAl().alSourcei(source_, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
    // Playing again would start it over; a voice that plays goes on.
    if (!Playing()) OpenAl().alSourcePlay(source_);
  }
  void Pause() override {
    if (Playing()) OpenAl().alSourcePause(source_);
  }
  bool Playing() const override { return State() == AL_PLAYING; }
  bool Held() const override { return State() == AL_PAUSED; }
  uint32_t Position() const override {
    ALint offset = 0;
    OpenAl().alGetSourcei(source_, AL_SAMPLE_OFFSET, &offset);
    return static_cast<uint32_t>(std::max(offset, 0));
  }
  void SetGain(float gain) override { OpenAl().alSourcef(source_, AL_GAIN, Within(gain, 0.0f, 1.0f)); }
  void SetRate(float frames_per_second) override {
    OpenAl().alSourcef(source_, AL_PITCH, Within(frames_per_second / buffer_rate_, 0.0001f, 255.0f));
  }
  void SetPosition(const float position[3]) override { Put3(source_, AL_POSITION, position); }
  void SetVelocity(const float velocity[3]) override { Put3(source_, AL_VELOCITY, velocity); }
  void GetPosition(float position[3]) const override { Get3(source_, AL_POSITION, position); }
  void GetVelocity(float velocity[3]) const override { Get3(source_, AL_VELOCITY, velocity); }
  void SetDistances(float minimum, float maximum) override {
    OpenAl().alSourcef(source_, AL_REFERENCE_DISTANCE, std::max(minimum, 0.0f));
    OpenAl().alSourcef(source_, AL_MAX_DISTANCE, std::max(maximum, 0.0f));
  }
  void SetConeAngles(float inside_degrees, float outside_degrees) override {
    OpenAl().alSourcef(source_, AL_CONE_INNER_ANGLE, Within(inside_degrees, 0.0f, 360.0f));
    OpenAl().alSourcef(source_, AL_CONE_OUTER_ANGLE, Within(outside_degrees, 0.0f, 360.0f));
  }
  bool SetRoomSend(float gain) override { return device_.SendToRoom(source_, gain); }

 private:
  ALint State() const {
    ALint state = AL_STOPPED;
    OpenAl().alGetSourcei(source_, AL_SOURCE_STATE, &state);
    return state;
  }

  OpenAlDevice& device_;
  ALuint source_;
  float buffer_rate_;
};

}  // namespace

// ---- The mix stream ----------------------------------------------------------

OpenAlMixStream::OpenAlMixStream(int rate, int buffer_count, int buffer_frames)
    : rate_(rate), buffer_frames_(std::max(buffer_frames, 16)) {
  OpenAl().alGetError();
  OpenAl().alGenSources(1, &source_);
  if (!Clear()) {
    source_ = 0;
    return;
  }
  buffers_.resize(static_cast<size_t>(std::max(buffer_count, 2)));
  OpenAl().alGenBuffers(static_cast<ALsizei>(buffers_.size()), buffers_.data());
  if (!Clear()) {
    OpenAl().alDeleteSources(1, &source_);
    source_ = 0;
    buffers_.clear();
    return;
  }
  free_ = buffers_;
  chunk_.resize(static_cast<size_t>(buffer_frames_) * 2);
  // The mix is already panned: it plays as it is, left to left and right to
  // right, wherever the listener stands.
  OpenAl().alSourcei(source_, AL_SOURCE_RELATIVE, AL_TRUE);
  OpenAl().alSource3f(source_, AL_POSITION, 0, 0, 0);
  OpenAl().alSourcef(source_, AL_ROLLOFF_FACTOR, 0);
  if (OpenAl().alIsExtensionPresent("AL_SOFT_direct_channels"))
    OpenAl().alSourcei(source_, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
}

OpenAlMixStream::~OpenAlMixStream() {
  if (source_ == 0) return;
  Halt();
  OpenAl().alDeleteSources(1, &source_);
  OpenAl().alDeleteBuffers(static_cast<ALsizei>(buffers_.size()), buffers_.data());
}

void OpenAlMixStream::SetBuffer(const int16_t* frames, uint32_t frame_count) {
  std::lock_guard lock(mutex_);
  Halt();
  ring_ = frames;
  ring_frames_ = frames ? frame_count : 0;
  read_ = 0;
  played_.store(0, std::memory_order_release);
  if (started_) Refill();
}

void OpenAlMixStream::Start() {
  std::lock_guard lock(mutex_);
  started_ = true;
  Refill();
}

void OpenAlMixStream::Stop() {
  std::lock_guard lock(mutex_);
  started_ = false;
  Halt();
}

void OpenAlMixStream::Pump() {
  std::lock_guard lock(mutex_);
  if (!started_ || ring_ == nullptr || source_ == 0) return;
  ALint played = 0;
  OpenAl().alGetSourcei(source_, AL_BUFFERS_PROCESSED, &played);
  for (; played > 0; --played) {
    ALuint buffer = 0;
    OpenAl().alSourceUnqueueBuffers(source_, 1, &buffer);
    free_.push_back(buffer);
  }
  Refill();
}

void OpenAlMixStream::Halt() {
  if (source_ == 0) return;
  OpenAl().alSourceStop(source_);
  OpenAl().alSourcei(source_, AL_BUFFER, 0);
  free_ = buffers_;
}

void OpenAlMixStream::Refill() {
  if (ring_ == nullptr || ring_frames_ == 0 || source_ == 0) return;
  const auto frames = static_cast<uint32_t>(buffer_frames_);
  while (!free_.empty()) {
    const ALuint buffer = free_.back();
    free_.pop_back();
    for (uint32_t done = 0; done < frames;) {
      const uint32_t run = std::min(frames - done, ring_frames_ - read_);
      std::memcpy(chunk_.data() + done * 2, ring_ + static_cast<size_t>(read_) * 2, run * 4);
      done += run;
      read_ = (read_ + run) % ring_frames_;
    }
    OpenAl().alBufferData(buffer, AL_FORMAT_STEREO16, chunk_.data(), static_cast<ALsizei>(frames * 4), rate_);
    OpenAl().alSourceQueueBuffers(source_, 1, &buffer);
    played_.fetch_add(frames, std::memory_order_release);
  }
  // A stream that ran dry stopped; it goes on with what was just queued.
  ALint state = AL_STOPPED;
  OpenAl().alGetSourcei(source_, AL_SOURCE_STATE, &state);
  if (state != AL_PLAYING) OpenAl().alSourcePlay(source_);
}

// ---- The device -------------------------------------------------------------------

std::unique_ptr<OpenAlDevice> OpenAlDevice::Create(ALCdevice* device, int rate, Options options) {
  if (device == nullptr) return nullptr;
  std::unique_ptr<OpenAlDevice> d(new OpenAlDevice(device, std::move(options)));
  if (!d->MakeContext(rate)) return nullptr;
  d->MakeRoom();
  if (!d->options_.loopback) {
    OpenAlDevice* self = d.get();
    d->pump_ = std::thread([self] {
      do {
        self->stream_->Pump();
      } while (!self->stop_pump_.Nap(kPumpPeriod));
    });
  }
  return d;
}

bool OpenAlDevice::MakeContext(int rate) {
  if (rate < 1) return false;
  std::vector<ALCint> attributes = {ALC_FREQUENCY,      rate, ALC_MONO_SOURCES,        kOfferedVoices,
                                    ALC_STEREO_SOURCES, 1,    ALC_MAX_AUXILIARY_SENDS, 1};
  if (options_.loopback) {
    if (!OpenAl().alcIsRenderFormatSupportedSOFT(device_, rate, ALC_STEREO_SOFT, ALC_FLOAT_SOFT)) return false;
    // What a loopback device renders must not depend on the machine or on
    // chance: plain stereo panning, no head-related filters, and floats,
    // which are not dithered.
    for (ALCint v : {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT, ALC_HRTF_SOFT,
                     ALC_FALSE})
      attributes.push_back(v);
  }
  attributes.push_back(0);
  context_ = OpenAl().alcCreateContext(device_, attributes.data());
  if (context_ == nullptr || !OpenAl().alcMakeContextCurrent(context_)) return false;
  ALCint mono = 0;
  OpenAl().alcGetIntegerv(device_, ALC_MONO_SOURCES, 1, &mono);
  capacity_ = std::clamp(mono, 0, kOfferedVoices);
  // The fall-off of a voice between its two distances: minimum / distance,
  // the rolloff factor stretching the distance past the minimum.
  OpenAl().alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
  stream_ = std::make_unique<OpenAlMixStream>(rate, options_.stream_buffers, options_.stream_buffer_frames);
  return stream_->Ready();
}

void OpenAlDevice::MakeRoom() {
  ALCint sends = 0;
  if (!OpenAl().alcIsExtensionPresent(device_, "ALC_EXT_EFX")) return;
  OpenAl().alcGetIntegerv(device_, ALC_MAX_AUXILIARY_SENDS, 1, &sends);
  if (sends < 1) return;
  OpenAl().alGetError();
  OpenAl().alGenEffects(1, &effect_);
  if (!Clear()) {
    effect_ = 0;
    return;
  }
  OpenAl().alEffecti(effect_, AL_EFFECT_TYPE, AL_EFFECT_EAXREVERB);
  if (Clear()) {
    room_support_ = RoomSupport::kExtended;
  } else {
    OpenAl().alEffecti(effect_, AL_EFFECT_TYPE, AL_EFFECT_REVERB);
    if (Clear()) room_support_ = RoomSupport::kBasic;
  }
  OpenAl().alGenAuxiliaryEffectSlots(1, &slot_);
  if (!Clear()) slot_ = 0;
  OpenAl().alGenFilters(1, &send_filter_);
  OpenAl().alFilteri(send_filter_, AL_FILTER_TYPE, AL_FILTER_LOWPASS);
  if (!Clear() || slot_ == 0 || room_support_ == RoomSupport::kNone) {
    room_support_ = RoomSupport::kNone;
    return;
  }
  // The room starts silent until someone chooses one.
  RoomReverb silent = EnvironmentRoom(0);
  silent.gain = 0.0f;
  SetRoom(silent);
}

OpenAlDevice::~OpenAlDevice() {
  stop_pump_.Stop();
  if (pump_.joinable()) pump_.join();
  if (context_) {
    stream_.reset();
    if (slot_) OpenAl().alDeleteAuxiliaryEffectSlots(1, &slot_);
    if (effect_) OpenAl().alDeleteEffects(1, &effect_);
    if (send_filter_) OpenAl().alDeleteFilters(1, &send_filter_);
    if (OpenAl().alcGetCurrentContext() == context_) OpenAl().alcMakeContextCurrent(nullptr);
    OpenAl().alcDestroyContext(context_);
  }
  OpenAl().alcCloseDevice(device_);
  if (options_.on_close) options_.on_close(this);
}

int OpenAlDevice::FreeVoices() const {
  std::lock_guard lock(voices_mutex_);
  return capacity_ - static_cast<int>(voices_.size());
}

std::unique_ptr<VoiceBuffer> OpenAlDevice::CreateBuffer() {
  ALuint buffer = 0;
  OpenAl().alGetError();
  OpenAl().alGenBuffers(1, &buffer);
  if (!Clear()) return nullptr;
  return std::make_unique<OpenAlVoiceBuffer>(buffer);
}

std::unique_ptr<Voice3D> OpenAlDevice::CreateVoice(VoiceBuffer& buffer) {
  auto* data = dynamic_cast<OpenAlVoiceBuffer*>(&buffer);
  if (data == nullptr) return nullptr;
  std::lock_guard lock(voices_mutex_);
  if (static_cast<int>(voices_.size()) >= capacity_) return nullptr;
  ALuint source = 0;
  OpenAl().alGetError();
  OpenAl().alGenSources(1, &source);
  if (!Clear()) return nullptr;
  OpenAl().alSourcei(source, AL_BUFFER, static_cast<ALint>(data->Name()));
  OpenAl().alSourcef(source, AL_ROLLOFF_FACTOR, rolloff_);
  // Into the room at full level until told otherwise.
  if (room_support_ != RoomSupport::kNone)
    OpenAl().alSource3i(source, AL_AUXILIARY_SEND_FILTER, static_cast<ALint>(slot_), 0, AL_FILTER_NULL);
  if (!Clear()) {
    OpenAl().alDeleteSources(1, &source);
    return nullptr;
  }
  voices_.insert(source);
  return std::make_unique<OpenAlVoice>(*this, source, data->Rate());
}

void OpenAlDevice::ForgetVoice(ALuint source) {
  std::lock_guard lock(voices_mutex_);
  voices_.erase(source);
}

bool OpenAlDevice::SendToRoom(ALuint source, float gain) {
  if (room_support_ == RoomSupport::kNone) return false;
  std::lock_guard lock(voices_mutex_);
  OpenAl().alGetError();
  // The filter's values are copied into the send: one filter serves all.
  OpenAl().alFilterf(send_filter_, AL_LOWPASS_GAIN, Within(gain, 0.0f, 1.0f));
  OpenAl().alFilterf(send_filter_, AL_LOWPASS_GAINHF, 1.0f);
  OpenAl().alSource3i(source, AL_AUXILIARY_SEND_FILTER, static_cast<ALint>(slot_), 0, static_cast<ALint>(send_filter_));
  return Clear();
}

void OpenAlDevice::SetListener(const float* position, const float* velocity, const float* front, const float* top) {
  if (position) OpenAl().alListener3f(AL_POSITION, position[0], position[1], -position[2]);
  if (velocity) OpenAl().alListener3f(AL_VELOCITY, velocity[0], velocity[1], -velocity[2]);
  if (front || top) {
    float orientation[6] = {};
    OpenAl().alGetListenerfv(AL_ORIENTATION, orientation);
    if (front) orientation[0] = front[0], orientation[1] = front[1], orientation[2] = -front[2];
    if (top) orientation[3] = top[0], orientation[4] = top[1], orientation[5] = -top[2];
    OpenAl().alListenerfv(AL_ORIENTATION, orientation);
  }
}

void OpenAlDevice::GetListener(float* position, float* velocity, float* front, float* top) const {
  if (position) {
    OpenAl().alGetListener3f(AL_POSITION, &position[0], &position[1], &position[2]);
    position[2] = -position[2];
  }
  if (velocity) {
    OpenAl().alGetListener3f(AL_VELOCITY, &velocity[0], &velocity[1], &velocity[2]);
    velocity[2] = -velocity[2];
  }
  float orientation[6] = {};
  OpenAl().alGetListenerfv(AL_ORIENTATION, orientation);
  if (front) front[0] = orientation[0], front[1] = orientation[1], front[2] = -orientation[2];
  if (top) top[0] = orientation[3], top[1] = orientation[4], top[2] = -orientation[5];
}

void OpenAlDevice::SetDopplerFactor(float factor) {
  if (factor >= 0.0f) OpenAl().alDopplerFactor(factor);
}

void OpenAlDevice::SetMetersPerUnit(float meters) {
  if (!(meters > 0.0f) || std::isinf(meters)) return;
  // Sound travels 343.3 metres a second: so many units at this scale.
  OpenAl().alSpeedOfSound(343.3f / meters);
  if (room_support_ != RoomSupport::kNone) OpenAl().alListenerf(AL_METERS_PER_UNIT, meters);
}

void OpenAlDevice::SetRolloffFactor(float factor) {
  if (!(factor >= 0.0f) || std::isinf(factor)) return;
  std::lock_guard lock(voices_mutex_);
  rolloff_ = factor;
  for (ALuint source : voices_) OpenAl().alSourcef(source, AL_ROLLOFF_FACTOR, factor);
}

RoomReverb OpenAlDevice::EnvironmentRoom(int environment) const { return OpenAlEnvironmentRoom(environment); }

bool OpenAlDevice::SetRoom(const RoomReverb& room) {
  if (room_support_ == RoomSupport::kNone) return false;
  const bool extended = room_support_ == RoomSupport::kExtended;
  OpenAl().alGetError();
  for (const RoomParameter& p : kRoomParameters) {
    if (extended || p.basic != 0)
      OpenAl().alEffectf(effect_, extended ? p.extended : p.basic, Within(room.*p.value, p.lowest, p.highest));
  }
  if (extended) {
    OpenAl().alEffectfv(effect_, AL_EAXREVERB_REFLECTIONS_PAN, room.reflections_pan);
    OpenAl().alEffectfv(effect_, AL_EAXREVERB_LATE_REVERB_PAN, room.late_reverb_pan);
  }
  OpenAl().alEffecti(effect_, extended ? AL_EAXREVERB_DECAY_HFLIMIT : AL_REVERB_DECAY_HFLIMIT,
                     room.decay_hf_limit ? AL_TRUE : AL_FALSE);
  // The slot takes the effect's values when the effect is put into it.
  OpenAl().alAuxiliaryEffectSloti(slot_, AL_EFFECTSLOT_EFFECT, static_cast<ALint>(effect_));
  return Clear();
}

}  // namespace zv::platform
