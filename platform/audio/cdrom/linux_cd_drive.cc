#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/audio/cdrom/cd_drive.h"

namespace zv::platform {
namespace {

class LinuxCdDrive final : public CdDrive {
 public:
  explicit LinuxCdDrive(std::string device) : device_(std::move(device)) {}
  ~LinuxCdDrive() override { Close(); }

  bool Open() override {
    if (fd_ >= 0) return true;
    fd_ = ::open(device_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    return fd_ >= 0;
  }

  void Close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  bool ReadDisc(CdDisc& disc) override {
    disc = CdDisc{};
    cdrom_tochdr header{};
    if (!Ioctl(CDROMREADTOCHDR, &header) || header.cdth_trk1 < header.cdth_trk0) return false;
    std::vector<int64_t> starts;
    for (int track = header.cdth_trk0; track <= header.cdth_trk1 + 1; ++track) {
      cdrom_tocentry entry{};
      entry.cdte_track = static_cast<__u8>(track > header.cdth_trk1 ? CDROM_LEADOUT : track);
      entry.cdte_format = CDROM_MSF;
      if (!Ioctl(CDROMREADTOCENTRY, &entry)) return false;
      const cdrom_msf0& msf = entry.cdte_addr.msf;
      starts.push_back((msf.minute * 60LL + msf.second) * 75 + msf.frame);
    }
    for (size_t i = 0; i + 1 < starts.size(); ++i)
      disc.track_lengths.push_back(CdTime::FromFrames(starts[i + 1] - starts[i]));
    disc.length = CdTime::FromFrames(starts.back() - starts.front());
    first_track_ = header.cdth_trk0;
    last_track_ = header.cdth_trk1;
    return true;
  }

  bool PlayTrack(int track) override {
    CdDisc disc;
    if (!ReadDisc(disc) || track < first_track_ || track > last_track_) return false;
    cdrom_ti ti{};
    ti.cdti_trk0 = static_cast<__u8>(track);
    ti.cdti_ind0 = 1;
    ti.cdti_trk1 = static_cast<__u8>(last_track_);
    ti.cdti_ind1 = 99;
    return Ioctl(CDROMPLAYTRKIND, &ti);
  }

  bool Stop() override { return Ioctl(CDROMSTOP, nullptr); }
  bool Pause() override { return Ioctl(CDROMPAUSE, nullptr); }

  bool Resume() override {
    CdPlace place;
    if (ReadPlace(place) && place.playing) return true;
    return Ioctl(CDROMRESUME, nullptr);
  }

  bool ReadPlace(CdPlace& place) override {
    place = CdPlace{};
    cdrom_subchnl sub{};
    sub.cdsc_format = CDROM_MSF;
    if (!Ioctl(CDROMSUBCHNL, &sub)) return false;
    place.track = sub.cdsc_trk;
    place.in_track.minutes = sub.cdsc_reladdr.msf.minute;
    place.in_track.seconds = sub.cdsc_reladdr.msf.second;
    place.in_track.frames = sub.cdsc_reladdr.msf.frame;
    place.playing = sub.cdsc_audiostatus == CDROM_AUDIO_PLAY;
    place.paused = sub.cdsc_audiostatus == CDROM_AUDIO_PAUSED;
    return true;
  }

  bool SetDoorOpen(bool open) override { return Ioctl(open ? CDROMEJECT : CDROMCLOSETRAY, nullptr); }

  bool SetVolume(int level) override {
    const __u8 v = static_cast<__u8>(level < 0 ? 0 : level > 255 ? 255 : level);
    cdrom_volctrl volume{v, v, v, v};
    return Ioctl(CDROMVOLCTRL, &volume);
  }

  bool GetVolume(int& level) override {
    cdrom_volctrl volume{};
    if (!Ioctl(CDROMVOLREAD, &volume)) return false;
    level = volume.channel0;
    return true;
  }

 private:
  bool Ioctl(unsigned long request, void* argument) {
    return fd_ >= 0 && ::ioctl(fd_, request, argument) == 0;
  }

  std::string device_;
  int fd_ = -1;
  int first_track_ = 1;
  int last_track_ = 0;
};

}  // namespace

std::unique_ptr<CdDrive> MakeLinuxCdDrive(std::string device) {
  return std::make_unique<LinuxCdDrive>(std::move(device));
}

}  // namespace zv::platform
