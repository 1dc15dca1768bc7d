#pragma once

#include <algorithm>
#include <fstream>
#include <string>

namespace zv::test {

// How far this process's resident memory rose since the watch began: the
// kernel's peak is first brought down to what is held now.
class PeakMemoryWatch {
 public:
  PeakMemoryWatch()
      : available_((std::ofstream("/proc/self/clear_refs") << "5" << std::flush).good()), start_kb_(Kb("VmRSS:")) {}
  bool Available() const { return available_ && Kb("VmHWM:") > 0; }  // false: nothing measured
  size_t RiseKb() const { return std::max(Kb("VmHWM:"), start_kb_) - start_kb_; }

 private:
  static size_t Kb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind(field, 0) == 0) return std::stoul(line.substr(field.size()));
    return 0;
  }
  bool available_;
  size_t start_kb_;
};

}  // namespace zv::test
