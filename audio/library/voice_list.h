#pragma once

namespace zv {

// A place in a circular doubly linked list of voices (the mixer's idle
// list, a DSP unit's channel list, a song's channel list). A list head is a
// bare link; every channel record begins with one.
struct VoiceLink {
  VoiceLink* next = this;
  VoiceLink* prev = this;

  VoiceLink() = default;
  VoiceLink(const VoiceLink&) = delete;
  VoiceLink& operator=(const VoiceLink&) = delete;

  bool Empty() const { return next == this; }
  // Takes the link out of its list; it then forms a list of its own.
  void Unlink() {
    prev->next = next;
    next->prev = prev;
    next = prev = this;
  }
  // Unlinks the link and appends it at the tail of `head`'s list.
  void AppendTo(VoiceLink& head) {
    Unlink();
    prev = head.prev;
    next = &head;
    head.prev->next = this;
    head.prev = this;
  }
  // Makes `head` an empty list, leaving its members linked to each other
  // only (callers relink them).
  void Reset() { next = prev = this; }
};

}  // namespace zv
