#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace zv {

// The shared textures: each texture record that joined with the key it was
// made from (a file's or a colour's; empty for a texture made from an
// image, which no lookup finds). Joining, leaving and every lookup cost
// constant time however many textures there are; where several keys match,
// the texture that joined first is the one found.
class TextureCache {
 public:
  void Add(int32_t texture, const std::string& key);
  void Remove(int32_t texture);
  bool Contains(int32_t texture) const { return entries_.contains(texture); }
  bool Empty() const { return entries_.empty(); }
  // The texture whose key is `key`; 0 for none and for an empty key.
  int32_t Find(const std::string& key) const;
  // The first joined of the textures whose key equals `a` or `b` in any
  // letter case; 0 for none.
  int32_t FindNoCase(const std::string& a, const std::string& b) const;
  void Clear();

 private:
  struct Entry {
    std::string key;
    uint64_t order = 0;  // when it joined
  };

  int32_t FirstJoined(const std::string& folded, int32_t best) const;

  std::unordered_map<int32_t, Entry> entries_;                         // by texture record
  std::unordered_map<std::string, int32_t> by_key_;                    // non-empty keys
  std::unordered_map<std::string, std::vector<int32_t>> by_folded_key_;  // keys in lower case
  uint64_t joined_ = 0;
};

}  // namespace zv
