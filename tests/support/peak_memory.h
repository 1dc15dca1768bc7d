#pragma once

#include <cstddef>
#include <fstream>
#include <string>

namespace zv::test {

// How far this process's resident memory rose above what it held when the
// watch began: the kernel's high-water mark is brought down to the memory
// held now (/proc/self/clear_refs), so the peak seen is this watch's own.
class PeakMemoryWatch {
 public:
  PeakMemoryWatch() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    available_ = clear.good() && Kb("VmHWM:") > 0;
    start_kb_ = Kb("VmRSS:");
  }

  // False where the kernel cannot reset the mark (then nothing is measured).
  bool Available() const { return available_; }
  size_t RiseKb() const {
    const size_t peak = Kb("VmHWM:");
    return peak > start_kb_ ? peak - start_kb_ : 0;
  }

 private:
  static size_t Kb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind(field, 0) == 0) return std::stoul(line.substr(field.size()));
    return 0;
  }

  bool available_ = false;
  size_t start_kb_ = 0;
};

}  // namespace zv::test
