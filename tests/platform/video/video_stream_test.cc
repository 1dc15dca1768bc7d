#include "platform/video/video_stream.h"
#include "tests/support/test_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zv::platform {
namespace {

namespace fs = std::filesystem;

std::string Clip(const std::string& name) { return zv::test::SourcePath("tests/platform/video/clips/") + name; }

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00,
                   kMagenta = 0xFF00FF, kCyan = 0x00FFFF, kWhite = 0xFFFFFF;
// The colours of the six frames of every test clip.
constexpr uint32_t kFrameColours[] = {kRed, kGreen, kBlue, kYellow, kMagenta, kCyan};

bool Near(uint32_t a, uint32_t b, int tolerance) {
  for (int shift : {0, 8, 16}) {
    int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(d) > tolerance) return false;
  }
  return true;
}

// A surface that a clip's frames are written into.
struct Target {
  explicit Target(int32_t width, int32_t height, PixelFormat format = PixelFormat::Xrgb8888()) {
    SurfaceDesc desc;
    desc.width = width;
    desc.height = height;
    desc.format = format;
    surface = Surface::Create(desc);
  }
  VideoUpdate Update(VideoStream& clip, uint32_t now) {
    LockedRegion region;
    if (surface->Lock(nullptr, 0, &region) != result::kOk) return VideoUpdate::kError;
    VideoUpdate got = clip.Update(now, region);
    surface->Unlock();
    return got;
  }
  uint32_t Rgb(int32_t x, int32_t y) const {
    uint32_t value = surface->PixelAt(x, y);
    if (surface->Format().indexed)  // the 3-3-2 ramp
      return ((value >> 5) & 7) * 255 / 7 << 16 | ((value >> 2) & 7) * 255 / 7 << 8 | (value & 3) * 255 / 3;
    return UnpackRgb(surface->Format(), value);
  }
  // The colour away from the white corner.
  uint32_t Body() const { return Rgb(surface->Width() * 3 / 4, surface->Height() * 3 / 4); }
  uint32_t Corner() const { return Rgb(0, 0); }

  SurfacePtr surface;
};

struct ClipCase {
  const char* file;
  int32_t width, height;
  double rate;
  int tolerance;  // the lossy codecs change colours a little
};

class EveryClip : public ::testing::TestWithParam<ClipCase> {};

TEST_P(EveryClip, TellsSizeAndRateAndPlaysItsFramesInTimeThenEnds) {
  const ClipCase& c = GetParam();
  auto clip = OpenVideoStream(Clip(c.file));
  ASSERT_NE(clip, nullptr);
  ASSERT_TRUE(clip->HasVideo());
  EXPECT_EQ(clip->Width(), c.width);
  EXPECT_EQ(clip->Height(), c.height);
  EXPECT_DOUBLE_EQ(clip->FrameRate(), c.rate);

  Target target(c.width, c.height);
  const uint32_t frame_ms = static_cast<uint32_t>(1000 / c.rate);
  clip->Run(5000);
  for (int frame = 0; frame < 6; ++frame) {
    // Early and late within each frame's time.
    for (uint32_t at : {0u, frame_ms - 1}) {
      ASSERT_EQ(target.Update(*clip, 5000 + frame * frame_ms + at), VideoUpdate::kFrame) << frame;
      EXPECT_TRUE(Near(target.Body(), kFrameColours[frame], c.tolerance))
          << "frame " << frame << " shows " << std::hex << target.Body();
      EXPECT_TRUE(Near(target.Corner(), kWhite, c.tolerance)) << "frame " << frame << " upside down?";
    }
  }
  EXPECT_EQ(target.Update(*clip, 5000 + 6 * frame_ms), VideoUpdate::kEnd);
  EXPECT_TRUE(Near(target.Body(), kCyan, c.tolerance)) << "the last frame stays";
}

TEST_P(EveryClip, SeeksBackToTheFirstFrameAfterTheEnd) {
  const ClipCase& c = GetParam();
  auto clip = OpenVideoStream(Clip(c.file));
  ASSERT_NE(clip, nullptr);
  Target target(c.width, c.height);
  const uint32_t frame_ms = static_cast<uint32_t>(1000 / c.rate);
  clip->Run(0);
  for (int round = 0; round < 3; ++round) {
    const uint32_t start = round * 10000;
    ASSERT_TRUE(clip->SeekToStart(start));
    for (int frame = 0; frame < 6; ++frame) {
      ASSERT_EQ(target.Update(*clip, start + frame * frame_ms), VideoUpdate::kFrame);
      EXPECT_TRUE(Near(target.Body(), kFrameColours[frame], c.tolerance)) << round << " " << frame;
    }
    EXPECT_EQ(target.Update(*clip, start + 6 * frame_ms), VideoUpdate::kEnd);
  }
}

INSTANTIATE_TEST_SUITE_P(Clips, EveryClip,
                         ::testing::Values(ClipCase{"raw.avi", 16, 12, 10.0, 0},
                                           ClipCase{"mjpeg.avi", 32, 24, 10.0, 24},
                                           ClipCase{"mpeg1.mpg", 32, 24, 25.0, 24},
                                           ClipCase{"with_sound.avi", 32, 24, 10.0, 24}),
                         [](const auto& info) {
                           std::string name = info.param.file;
                           return name.substr(0, name.find('.'));
                         });

TEST(VideoStream, StoppedClipHoldsItsPositionAndRunsOnFromIt) {
  auto clip = OpenVideoStream(Clip("raw.avi"));
  ASSERT_NE(clip, nullptr);
  Target target(16, 12);
  EXPECT_FALSE(clip->Running());
  clip->Run(1000);
  EXPECT_TRUE(clip->Running());
  ASSERT_EQ(target.Update(*clip, 1150), VideoUpdate::kFrame);
  EXPECT_EQ(target.Body(), kGreen);
  clip->Stop(1150);
  ASSERT_EQ(target.Update(*clip, 60000), VideoUpdate::kFrame);
  EXPECT_EQ(target.Body(), kGreen) << "no time passes while stopped";
  clip->Run(60000);
  ASSERT_EQ(target.Update(*clip, 60050), VideoUpdate::kFrame);
  EXPECT_EQ(target.Body(), kBlue);
  clip->Stop(60160);  // 150 + 160 ms of clip time
  clip->Stop(70000);  // a second stop changes nothing
  clip->Run(80000);
  ASSERT_EQ(target.Update(*clip, 80000), VideoUpdate::kFrame);
  EXPECT_EQ(target.Body(), kYellow);
}

TEST(VideoStream, NeverRunClipShowsItsFirstFrame) {
  auto clip = OpenVideoStream(Clip("raw.avi"));
  ASSERT_NE(clip, nullptr);
  Target target(16, 12);
  ASSERT_EQ(target.Update(*clip, 123456), VideoUpdate::kFrame);
  EXPECT_EQ(target.Body(), kRed);
}

TEST(VideoStream, LateUpdateSkipsToTheFrameDueNow) {
  auto clip = OpenVideoStream(Clip("raw.avi"));
  ASSERT_NE(clip, nullptr);
  Target target(16, 12);
  clip->Run(0);
  ASSERT_EQ(target.Update(*clip, 420), VideoUpdate::kFrame);
  EXPECT_EQ(target.Body(), kMagenta);
  EXPECT_EQ(target.Update(*clip, 4000000), VideoUpdate::kEnd);
}

TEST(VideoStream, ClockWrapDoesNotStallTheClip) {
  auto clip = OpenVideoStream(Clip("raw.avi"));
  ASSERT_NE(clip, nullptr);
  Target target(16, 12);
  clip->Run(0xFFFFFFFFu - 50);
  ASSERT_EQ(target.Update(*clip, 50), VideoUpdate::kFrame);  // 101 ms later
  EXPECT_EQ(target.Body(), kGreen);
}

// Every surface format the display uses, and one it does not.
struct FormatCase {
  const char* name;
  PixelFormat format;
};

class EveryFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(EveryFormat, FramesArriveInTheTargetsFormat) {
  auto clip = OpenVideoStream(Clip("raw.avi"));
  ASSERT_NE(clip, nullptr);
  Target target(16, 12, GetParam().format);
  clip->Run(0);
  for (int frame = 0; frame < 6; ++frame) {
    ASSERT_EQ(target.Update(*clip, frame * 100), VideoUpdate::kFrame);
    EXPECT_TRUE(Near(target.Body(), kFrameColours[frame], 20)) << std::hex << target.Body();
    EXPECT_TRUE(Near(target.Corner(), kWhite, 20)) << std::hex << target.Corner();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, EveryFormat,
    ::testing::Values(FormatCase{"Xrgb8888", PixelFormat::Xrgb8888()},
                      FormatCase{"Rgb888", PixelFormat::Rgb888()},
                      FormatCase{"Rgb565", PixelFormat::Rgb565()},
                      FormatCase{"Rgb555", PixelFormat::Rgb555()},
                      FormatCase{"Xbgr8888", PixelFormat{32, 0x0000FF, 0x00FF00, 0xFF0000, 0, false, false}},
                      FormatCase{"Rgb444", PixelFormat{16, 0x0F00, 0x00F0, 0x000F, 0, false, false}},
                      FormatCase{"Ramp332", PixelFormat::Indexed8()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VideoStream, FrameIsStretchedToTheTargetsSize) {
  auto clip = OpenVideoStream(Clip("raw.avi"));
  ASSERT_NE(clip, nullptr);
  Target target(64, 36);
  ASSERT_EQ(target.Update(*clip, 0), VideoUpdate::kFrame);
  EXPECT_EQ(target.Rgb(2, 2), kWhite);
  EXPECT_EQ(target.Rgb(40, 30), kRed);
}

TEST(VideoStream, TargetWithoutPixelsIsAnError) {
  auto clip = OpenVideoStream(Clip("raw.avi"));
  ASSERT_NE(clip, nullptr);
  LockedRegion nothing;
  EXPECT_EQ(clip->Update(0, nothing), VideoUpdate::kError);
}

TEST(VideoStream, FilesThatAreNoClips) {
  EXPECT_EQ(OpenVideoStream(Clip("no such clip.avi")), nullptr);
  EXPECT_EQ(OpenVideoStream(Clip("make_clips.sh")), nullptr);

  auto sound = OpenVideoStream(Clip("sound_only.wav"));
  ASSERT_NE(sound, nullptr) << "a sound is media, without video";
  EXPECT_FALSE(sound->HasVideo());
  Target target(16, 12);
  EXPECT_EQ(target.Update(*sound, 0), VideoUpdate::kError);
  EXPECT_TRUE(sound->SeekToStart(0));
}

// Damaged copies of the clips: cut short and with bytes overwritten. None
// may crash; whatever opens with video must still answer every update.
class DamagedClips : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (fs::temp_directory_path() / ("zv_damaged_clip_" + std::to_string(getpid()))).string();
  }
  void TearDown() override { fs::remove(path_); }

  static std::vector<uint8_t> Read(const std::string& file) {
    std::ifstream in(Clip(file), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }

  void Play(const std::vector<uint8_t>& bytes, const std::string& what) {
    {
      std::ofstream out(path_, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    auto clip = OpenVideoStream(path_);
    if (!clip || !clip->HasVideo()) return;
    EXPECT_GT(clip->Width(), 0) << what;
    EXPECT_GT(clip->Height(), 0) << what;
    Target target(clip->Width(), clip->Height());
    clip->Run(0);
    for (uint32_t t = 0; t < 1000; t += 40) target.Update(*clip, t);
    clip->SeekToStart(1000);
    target.Update(*clip, 1000);
    ++played_;
  }

  std::string path_;
  int played_ = 0;
};

TEST_F(DamagedClips, CutShortNeverCrash) {
  for (const char* file : {"raw.avi", "mjpeg.avi", "mpeg1.mpg", "with_sound.avi"}) {
    std::vector<uint8_t> whole = Read(file);
    ASSERT_FALSE(whole.empty()) << file;
    for (size_t cut = 0; cut < whole.size(); cut += 1 + whole.size() / 23)
      Play(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)),
           std::string(file) + " cut at " + std::to_string(cut));
  }
  EXPECT_GT(played_, 0) << "a clip cut late still plays what it has";
}

TEST_F(DamagedClips, OverwrittenBytesNeverCrash) {
  uint32_t seed = 12345;
  for (const char* file : {"raw.avi", "mjpeg.avi", "mpeg1.mpg"}) {
    std::vector<uint8_t> whole = Read(file);
    for (int round = 0; round < 12; ++round) {
      std::vector<uint8_t> bytes = whole;
      for (int hit = 0; hit < 8; ++hit) {
        seed = seed * 1103515245 + 12345;
        bytes[(seed >> 8) % bytes.size()] = static_cast<uint8_t>(seed >> 24);
      }
      Play(bytes, std::string(file) + " round " + std::to_string(round));
    }
  }
}

}  // namespace
}  // namespace zv::platform
