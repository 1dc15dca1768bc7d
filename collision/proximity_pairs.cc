#include "collision/proximity_pairs.h"

#include "collision/collision_object.h"

namespace zv {
namespace {

std::pair<CollisionKey, CollisionKey> KeysOf(const std::pair<CollisionObject*, CollisionObject*>& ordered) {
  return {ordered.first->key(), ordered.second->key()};
}

}  // namespace

std::pair<CollisionObject*, CollisionObject*> OrderPair(CollisionObject& a, CollisionObject& b) {
  const bool a_convex = a.shape().IsConvex();
  const bool b_convex = b.shape().IsConvex();
  if (a_convex != b_convex) return a_convex ? std::pair{&b, &a} : std::pair{&a, &b};
  return a.key() <= b.key() ? std::pair{&a, &b} : std::pair{&b, &a};
}

void ProximityPairs::Add(CollisionObject& a, CollisionObject& b) {
  const auto ordered = OrderPair(a, b);
  entries_.try_emplace(KeysOf(ordered), ProximityPair{ordered.first, ordered.second, {}});
}

void ProximityPairs::Remove(CollisionObject& a, CollisionObject& b) { entries_.erase(KeysOf(OrderPair(a, b))); }

void ProximityPairs::RemoveAllOf(const CollisionObject& object) {
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->second.first == &object || it->second.second == &object) {
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
}

const ProximityPair* ProximityPairs::Find(CollisionObject& a, CollisionObject& b) const {
  const auto it = entries_.find(KeysOf(OrderPair(a, b)));
  return it == entries_.end() ? nullptr : &it->second;
}

}  // namespace zv
