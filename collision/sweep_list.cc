#include "collision/sweep_list.h"

namespace zv {

EndpointList::EndpointList() {
  head_.value = -kFar;
  tail_.value = kFar;
  head_.next = &tail_;
  tail_.previous = &head_;
}

void EndpointList::Append(Endpoint& e) {
  e.value = kFar;
  e.previous = tail_.previous;
  e.next = &tail_;
  tail_.previous->next = &e;
  tail_.previous = &e;
}

void EndpointList::Unlink(Endpoint& e) {
  if (e.previous == nullptr) return;
  e.previous->next = e.next;
  e.next->previous = e.previous;
  e.next = e.previous = nullptr;
}

}  // namespace zv
