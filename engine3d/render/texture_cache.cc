#include "engine3d/render/texture_cache.h"

namespace zv {
namespace {

std::string Folded(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return text;
}

}  // namespace

void TextureCache::Add(int32_t texture, const std::string& key) {
  Remove(texture);
  entries_[texture] = Entry{key, joined_++};
  if (key.empty()) return;
  by_key_.try_emplace(key, texture);
  by_folded_key_[Folded(key)].push_back(texture);
}

void TextureCache::Remove(int32_t texture) {
  const auto entry = entries_.find(texture);
  if (entry == entries_.end()) return;
  const std::string& key = entry->second.key;
  if (key.empty()) {
    entries_.erase(entry);
    return;
  }
  std::vector<int32_t>& alike = by_folded_key_[Folded(key)];
  std::erase(alike, texture);
  // Another texture of the same key, if one joined, is found from now on.
  int32_t next = 0;
  for (const int32_t other : alike)
    if (entries_.at(other).key == key && (next == 0 || entries_.at(other).order < entries_.at(next).order))
      next = other;
  if (next != 0)
    by_key_[key] = next;
  else
    by_key_.erase(key);
  if (alike.empty()) by_folded_key_.erase(Folded(key));
  entries_.erase(entry);
}

int32_t TextureCache::Find(const std::string& key) const {
  if (key.empty()) return 0;
  const auto named = by_key_.find(key);
  return named == by_key_.end() ? 0 : named->second;
}

int32_t TextureCache::FirstJoined(const std::string& folded, int32_t best) const {
  const auto alike = by_folded_key_.find(folded);
  if (alike == by_folded_key_.end()) return best;
  for (const int32_t texture : alike->second)
    if (best == 0 || entries_.at(texture).order < entries_.at(best).order) best = texture;
  return best;
}

int32_t TextureCache::FindNoCase(const std::string& a, const std::string& b) const {
  return FirstJoined(Folded(b), FirstJoined(Folded(a), 0));
}

void TextureCache::Clear() {
  entries_.clear();
  by_key_.clear();
  by_folded_key_.clear();
}

}  // namespace zv
