// The cliques of a decomposition in one hash table per size, with the cover
// (the sum of the weights already passed down to the clique) beside each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "hash.hpp"
#include "interrupt.hpp"
#include "types.hpp"

namespace vexa::graph {

// The cliques of one size k with their covers: an open-addressing hash table
// over a flat key array.  Entries keep their insertion order (index).
// Every growth is checked (memory_room.hpp).
class SizeTable {
 public:
  explicit SizeTable(std::size_t k) : k_(k) {}

  std::size_t width() const noexcept { return k_; }
  std::size_t size() const noexcept { return cover.size(); }
  std::span<const Node> key(std::size_t i) const noexcept { return {keys_.data() + i * k_, k_}; }

  // Room for `count` entries without rehashing.
  void reserve(std::size_t count);

  // The index of `key` (k nodes), entered with cover 0 if it was absent.
  Index find_or_insert(const Node* key);

  std::vector<Weight> cover;

 private:
  bool same_key(const Node* x, const Node* y) const noexcept {
    for (std::size_t i = 0; i < k_; ++i)
      if (x[i] != y[i]) return false;
    return true;
  }
  void rehash_to(std::size_t slots);

  std::size_t k_;
  std::uint64_t seed_ = hash_seed();
  std::vector<Node> keys_;
  std::vector<std::uint64_t> slots_;  // 0 empty, else tag << 32 | (index + 1)
};

// tables[k] holds the cliques of k nodes.
using Tables = std::vector<SizeTable>;

void grow_tables(Tables& tables, std::size_t count);

// The top cliques, each once, with cover 0, in the table of their size: a
// clique of more than `maxrank` nodes is replaced by all its `maxrank`-node
// sub-sequences (in lexicographic order of positions).
Tables enter_top_cliques(const CliqueList& maxcliques, std::uint64_t maxrank, InterruptPoll& poll);

}  // namespace vexa::graph
