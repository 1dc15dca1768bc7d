#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

namespace zv::platform {

// The objects still alive among those added, in the order they were added,
// held weakly: an object goes when its last owner lets go, without telling
// the list. Entries of gone objects are swept out only when the list has
// doubled since its last sweep, so adding costs amortised constant time
// however many objects live, and the list never holds more than about twice
// the live ones.
template <typename T>
class LiveList {
 public:
  void Add(const std::shared_ptr<T>& object) {
    if (entries_.size() >= sweep_at_) Sweep();
    entries_.push_back(object);
  }

  // Calls `visit` with every live object, in the order they were added.
  // `visit` must not add to the list.
  template <typename Visit>
  void ForEach(Visit visit) const {
    for (const std::weak_ptr<T>& entry : entries_)
      if (std::shared_ptr<T> object = entry.lock()) visit(*object);
  }

  // Entries held, gone objects not yet swept out included.
  size_t EntryCount() const { return entries_.size(); }

 private:
  static constexpr size_t kFirstSweep = 64;

  void Sweep() {
    std::erase_if(entries_, [](const std::weak_ptr<T>& entry) { return entry.expired(); });
    sweep_at_ = std::max(kFirstSweep, 2 * entries_.size());
  }

  std::vector<std::weak_ptr<T>> entries_;
  size_t sweep_at_ = kFirstSweep;
};

}  // namespace zv::platform
