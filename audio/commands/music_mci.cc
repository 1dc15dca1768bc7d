#include "audio/commands/music_mci.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "platform/paths/path_resolver.h"

namespace zv {
namespace {

// The words of a command; a double-quoted word may hold blanks.
std::vector<std::string> Words(const std::string& command) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < command.size()) {
    while (i < command.size() && command[i] == ' ') ++i;
    if (i >= command.size()) break;
    if (command[i] == '"') {
      const size_t end = command.find('"', i + 1);
      if (end == std::string::npos) return {};
      words.push_back(command.substr(i + 1, end - i - 1));
      i = end + 1;
    } else {
      const size_t end = command.find(' ', i);
      words.push_back(command.substr(i, end == std::string::npos ? std::string::npos : end - i));
      i = end == std::string::npos ? command.size() : end;
    }
  }
  return words;
}

}  // namespace

int32_t MciMusicDevice::SendString(const std::string& command, std::string* reply) {
  const std::vector<std::string> w = Words(command);
  if (w.size() < 2) return mci_error::kUnrecognisedCommand;
  const std::string verb = platform::AsciiLower(w[0]);
  if (verb == "open") {
    if (w.size() != 4 || platform::AsciiLower(w[2]) != "alias") return mci_error::kBadArgument;
    if (media_.count(w[3])) return mci_error::kAliasInUse;
    std::unique_ptr<MciMedia> media = opener_.Open(platform::Paths().Resolve(w[1]));
    if (!media) return mci_error::kFileNotFound;
    media_[w[3]] = std::move(media);
    return 0;
  }
  auto it = media_.find(w[1]);
  if (it == media_.end()) return mci_error::kInvalidDevice;
  MciMedia& media = *it->second;
  auto answer = [&](bool ok) { return ok ? 0 : mci_error::kBadArgument; };
  if (verb == "play" && w.size() == 2) return answer(media.Play());
  if (verb == "stop" && w.size() == 2) return answer(media.Stop());
  if (verb == "pause" && w.size() == 2) return answer(media.Pause());
  if (verb == "resume" && w.size() == 2) return answer(media.Resume());
  if (verb == "close" && w.size() == 2) {
    media.Stop();
    media_.erase(it);
    return 0;
  }
  if (verb == "seek" && w.size() == 4 && platform::AsciiLower(w[2]) == "to" && platform::AsciiLower(w[3]) == "start")
    return answer(media.Rewind());
  if (verb == "setaudio" && w.size() == 5 && platform::AsciiLower(w[2]) == "volume" &&
      platform::AsciiLower(w[3]) == "to") {
    char* end = nullptr;
    const long volume = std::strtol(w[4].c_str(), &end, 10);
    if (end == w[4].c_str() || *end != '\0') return mci_error::kBadArgument;
    return answer(media.SetVolume(static_cast<int32_t>(std::clamp(volume, 0L, 255L))));
  }
  if (verb == "status" && w.size() == 3) {
    const std::string what = platform::AsciiLower(w[2]);
    int32_t value;
    if (what == "length")
      value = media.LengthMs();
    else if (what == "position")
      value = media.PositionMs();
    else
      return mci_error::kBadArgument;
    if (reply) *reply = std::to_string(value);
    return 0;
  }
  return mci_error::kUnrecognisedCommand;
}

}  // namespace zv
