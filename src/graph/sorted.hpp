// Searching in strictly ascending sequences.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>

namespace vexa::graph {

// True when every element is greater than the one before it (so the
// sequence is a set, listed in ascending order).
template <class T>
bool strictly_ascending(std::span<const T> s) noexcept {
  for (std::size_t i = 1; i < s.size(); ++i)
    if (!(s[i - 1] < s[i])) return false;
  return true;
}

// Looking up k ascending keys in an ascending list of n entries, one after
// another, either steps through the list (n compares, all but the last of
// each key predicted) or binary-searches what is left of it for every key
// (about log2(n) compares per key, half of them mispredicted).  The lists of
// the clique routines hold up to a few thousand entries, where a binary
// search costs about as much as stepping over 8 entries; so binary search
// pays once the list is longer than 8 entries per key.
inline constexpr std::size_t kGallopRatio = 8;

inline bool gallop_pays(std::size_t entries, std::size_t keys) noexcept {
  return entries > kGallopRatio * keys;
}

// A cursor into an ascending list for ascending keys: seek(key) moves to the
// first entry not less than key, from where the last seek stopped, stepping
// or binary-searching as gallop_pays() says for the number of keys given.
template <class T>
class SortedCursor {
 public:
  SortedCursor(const T* begin, const T* end, std::size_t keys) noexcept
      : at_(begin), end_(end), gallop_(gallop_pays(static_cast<std::size_t>(end - begin), keys)) {}

  template <class K>
  const T* seek(const K& key) noexcept {
    if (gallop_) {
      at_ = std::lower_bound(at_, end_, key, [](const T& entry, const K& k) { return entry < k; });
    } else {
      while (at_ != end_ && *at_ < key) ++at_;
    }
    return at_;
  }
  // Whether the cursor stands on an entry equal to key (after seek(key)).
  template <class K>
  bool on(const K& key) const noexcept {
    return at_ != end_ && !(key < *at_);
  }
  // Steps past the entry the cursor stands on.
  void skip() noexcept { ++at_; }
  bool done() const noexcept { return at_ == end_; }
  const T* position() const noexcept { return at_; }

 private:
  const T* at_;
  const T* end_;
  bool gallop_;
};

}  // namespace vexa::graph
