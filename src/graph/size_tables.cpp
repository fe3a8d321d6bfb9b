// Size tables: open addressing with linear probing over a flat key array.
// A slot holds 32 bits of the key's hash beside the entry's index, so that a
// probe compares keys only when the tags agree.  Load factor at most 1/2:
// expected O(1) probes per lookup, O(k) per key compared or hashed.
#include "size_tables.hpp"

#include <algorithm>
#include <new>

#include "memory_room.hpp"
#include "powerset.hpp"

namespace vexa::graph {
namespace {

// Slots per table at least; a table holds at most half as many entries as
// slots (linear probing degrades quickly beyond that).
constexpr std::size_t kMinSlots = 16;

std::size_t slots_for(std::size_t entries, std::size_t at_least) {
  std::size_t cap = std::max(kMinSlots, at_least);
  while (2 * (entries + 1) > cap) cap *= 2;
  return cap;
}

}  // namespace

void SizeTable::reserve(std::size_t count) {
  reserve_checked(keys_, count * k_);
  reserve_checked(cover, count);
  const std::size_t cap = slots_for(count, slots_.size());
  if (cap > slots_.size()) rehash_to(cap);
}

Index SizeTable::find_or_insert(const Node* key) {
  if (2 * (size() + 1) > slots_.size()) rehash_to(slots_for(size(), 2 * slots_.size()));
  const std::uint64_t h = hash_nodes(key, k_, seed_);
  const std::uint32_t tag = static_cast<std::uint32_t>(h >> 32);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t pos = tag & mask;; pos = (pos + 1) & mask) {
    const std::uint64_t slot = slots_[pos];
    if (slot == 0) {
      if (size() >= kNoIndex) throw std::bad_alloc();
      const Index idx = static_cast<Index>(size());
      grow_checked(keys_, k_);
      grow_checked(cover, 1);
      slots_[pos] = (std::uint64_t{tag} << 32) | (std::uint64_t{idx} + 1);
      keys_.insert(keys_.end(), key, key + k_);
      cover.push_back(0);
      return idx;
    }
    if (static_cast<std::uint32_t>(slot >> 32) == tag) {
      const Index idx = static_cast<Index>((slot & 0xFFFFFFFFu) - 1);
      if (same_key(key, keys_.data() + std::size_t{idx} * k_)) return idx;
    }
  }
}

void SizeTable::rehash_to(std::size_t cap) {
  std::vector<std::uint64_t> fresh;
  reserve_checked(fresh, cap);
  fresh.assign(cap, 0);
  slots_.swap(fresh);
  // Re-entering millions of keys takes long enough to need its own checks.
  InterruptPoll poll;
  const std::size_t mask = cap - 1;
  for (std::size_t i = 0; i < size(); ++i) {
    const std::uint32_t tag = static_cast<std::uint32_t>(hash_nodes(keys_.data() + i * k_, k_, seed_) >> 32);
    std::size_t pos = tag & mask;
    while (slots_[pos] != 0) pos = (pos + 1) & mask;
    slots_[pos] = (std::uint64_t{tag} << 32) | (i + 1);
    poll.tick();
  }
}

void grow_tables(Tables& tables, std::size_t count) {
  while (tables.size() < count) tables.emplace_back(tables.size());
}

Tables enter_top_cliques(const CliqueList& maxcliques, std::uint64_t maxrank, InterruptPoll& poll) {
  Tables tables;
  // Size the tables for the cliques kept whole (a split one counts as one,
  // a lower bound).
  {
    std::vector<std::size_t> count;
    for (std::size_t c = 0; c < maxcliques.size(); ++c) {
      const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(maxcliques.length(c), maxrank));
      if (count.size() <= k) count.resize(k + 1, 0);
      ++count[k];
    }
    grow_tables(tables, count.size());
    for (std::size_t k = 0; k < count.size(); ++k) tables[k].reserve(count[k]);
  }
  Subsequences subs;
  for (std::size_t c = 0; c < maxcliques.size(); ++c) {
    const auto m = maxcliques[c];
    if (m.size() > maxrank) {
      const std::size_t k = static_cast<std::size_t>(maxrank);
      grow_tables(tables, k + 1);
      subs.each(m, k, [&](std::span<const Node> item) {
        tables[k].find_or_insert(item.data());
        poll.tick();
      });
    } else {
      grow_tables(tables, m.size() + 1);
      tables[m.size()].find_or_insert(m.data());
      poll.tick();
    }
  }
  return tables;
}

}  // namespace vexa::graph
