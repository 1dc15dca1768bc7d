#include "engine3d/objects/model_users.h"

namespace zv {

void ModelUsers::Join(const ObjectModel* model, int32_t object) {
  if (!model) return;
  if (const auto place = place_of_.find(object); place != place_of_.end()) {
    if (place->second.model == model) return;
    Leave(object);
  }
  std::list<int32_t>& users = users_[model];
  users.push_back(object);
  place_of_[object] = Place{model, std::prev(users.end())};
}

void ModelUsers::Leave(int32_t object) {
  const auto place = place_of_.find(object);
  if (place == place_of_.end()) return;
  const auto users = users_.find(place->second.model);
  users->second.erase(place->second.at);
  if (users->second.empty()) users_.erase(users);
  place_of_.erase(place);
}

int32_t ModelUsers::Last(const ObjectModel* model) const {
  const auto users = users_.find(model);
  return users == users_.end() ? 0 : users->second.back();
}

void ModelUsers::Clear() {
  users_.clear();
  place_of_.clear();
}

}  // namespace zv
