#pragma once

namespace zv {

class CollisionObject;

// One end of an object's world box on one axis, linked into that axis's list.
struct Endpoint {
  enum Kind : int { kMinimum = 0, kMaximum = 1 };

  Endpoint* next = nullptr;
  Endpoint* previous = nullptr;
  double value = 0.0;
  int kind = kMinimum;
  CollisionObject* owner = nullptr;  // null for the sentinels

  // At equal values minima sort before maxima, so touching boxes overlap.
  bool SortsBefore(const Endpoint& other) const {
    return value < other.value || (value == other.value && kind < other.kind);
  }
};

// The endpoints of one axis in ascending order between a head sentinel at
// -1e50 and a tail sentinel at +1e50. No endpoint ever passes a sentinel, so
// values beyond them (or not finite) cannot take a walk off the list.
class EndpointList {
 public:
  static constexpr double kFar = 1e50;

  EndpointList();
  EndpointList(const EndpointList&) = delete;
  EndpointList& operator=(const EndpointList&) = delete;

  // Links a new endpoint in just before the tail, at the far value.
  void Append(Endpoint& e);
  static void Unlink(Endpoint& e);

  const Endpoint& head() const { return head_; }
  const Endpoint& tail() const { return tail_; }

 private:
  Endpoint head_;
  Endpoint tail_;
};

}  // namespace zv
