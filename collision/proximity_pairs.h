#pragma once

#include <map>
#include <utility>

#include "collision/collision_key.h"
#include "collision/vector3.h"

namespace zv {

class CollisionObject;

// A pair worth testing, ordered so that a mesh comes before a convex shape and,
// among equals, the lower key first. The cached vector is the pair's search
// vector: each test starts from where the last one ended.
struct ProximityPair {
  CollisionObject* first = nullptr;
  CollisionObject* second = nullptr;
  Vector3 cached;
};

// Puts two objects in pair order.
std::pair<CollisionObject*, CollisionObject*> OrderPair(CollisionObject& a, CollisionObject& b);

// The pairs whose world boxes overlap, kept up to date by the endpoint moves.
// Entries are ordered by the keys of (first, second), so the order of the
// tests never depends on where objects happen to sit in memory.
class ProximityPairs {
 public:
  using Entries = std::map<std::pair<CollisionKey, CollisionKey>, ProximityPair>;

  // A new entry starts with a zero vector; an existing one keeps its vector.
  void Add(CollisionObject& a, CollisionObject& b);
  void Remove(CollisionObject& a, CollisionObject& b);
  // Every entry naming the object, so that none outlives it.
  void RemoveAllOf(const CollisionObject& object);

  const ProximityPair* Find(CollisionObject& a, CollisionObject& b) const;
  Entries& entries() { return entries_; }
  const Entries& entries() const { return entries_; }
  size_t size() const { return entries_.size(); }

 private:
  Entries entries_;
};

}  // namespace zv
