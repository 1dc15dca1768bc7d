#pragma once

#include <cstdint>
#include <list>
#include <unordered_map>

namespace zv {

class ObjectModel;

// The objects of each model (an object and its instances share one), in the
// order they were set up. An object is set up with its model right after its
// record is taken, so this is also the order of their records in the pool.
// Joining, leaving and finding the last user cost constant time however
// many share.
class ModelUsers {
 public:
  // `object` joins `model`'s users (leaving the model it used before); one
  // that is already there keeps its place.
  void Join(const ObjectModel* model, int32_t object);
  void Leave(int32_t object);
  // The last of `model`'s users to join; 0 when it has none.
  int32_t Last(const ObjectModel* model) const;
  void Clear();

 private:
  struct Place {
    const ObjectModel* model = nullptr;
    std::list<int32_t>::iterator at;
  };

  std::unordered_map<const ObjectModel*, std::list<int32_t>> users_;
  std::unordered_map<int32_t, Place> place_of_;  // by object
};

}  // namespace zv
