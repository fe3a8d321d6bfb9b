// Position of a node sequence in a CliqueList, by hashing the whole sequence.
//
// Sequences are compared element by element, length included, so [0, 1] and
// [1, 0] are different keys.  A sequence listed more than once maps to its
// last position.  The table refers to the list's own storage and copies no
// sequence; it must not outlive the list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "hash.hpp"
#include "interrupt.hpp"
#include "powerset.hpp"
#include "types.hpp"

namespace vexa::graph {

class SequenceIndex {
 public:
  static constexpr std::size_t npos = std::numeric_limits<std::size_t>::max();

  explicit SequenceIndex(const CliqueList& list);

  // Probes that finding every listed sequence once takes (each at least
  // one): how well the hash spreads this list.  Walks the whole table.
  std::size_t total_probes() const noexcept;

  // The last position holding `seq`, or npos.
  std::size_t find(std::span<const Node> seq) const noexcept {
    const std::uint64_t h = hash_nodes(seq.data(), seq.size(), seed_);
    for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if (slot.pos == npos) return npos;
      if (slot.hash == h && same(list_[slot.pos], seq)) return slot.pos;
    }
  }

 private:
  struct Slot {
    std::uint64_t hash;
    std::size_t pos;  // npos: empty
  };

  static bool same(std::span<const Node> a, std::span<const Node> b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (a[i] != b[i]) return false;
    return true;
  }

  const CliqueList& list_;
  std::uint64_t seed_;
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
};

// Looks up the sub-cliques of one clique after another, by size (1 ..
// last_size) and within a size in Subsequences order.
class SubcliqueLookup {
 public:
  explicit SubcliqueLookup(const SequenceIndex& index) : index_(index) {}

  // Calls visit(position, size) for each sub-clique of q with 1 .. last_size
  // nodes; fails with "no entry found for key" at the first one not listed.
  template <class Visit>
  void walk(std::span<const Node> q, std::size_t last_size, InterruptPoll& poll, Visit&& visit) {
    for (std::size_t k = 1; k <= last_size; ++k) {
      subs_.each(q, k, [&](std::span<const Node> item) {
        const std::size_t j = index_.find(item);
        if (j == SequenceIndex::npos) throw Failure("no entry found for key");
        visit(j, k);
        poll.tick();
      });
    }
  }

 private:
  const SequenceIndex& index_;
  Subsequences subs_;
};

// What the literal weight rules share: weights of 0 to start with, the
// list's index behind a sub-clique lookup, and a poll.  Calls
// rule(weights, lookup, poll) and returns the weights.
template <class Rule>
WeightList weigh_through_index(const CliqueList& cliques, Rule&& rule) {
  WeightList weights(cliques.size(), 0);
  if (cliques.empty()) return weights;
  const SequenceIndex index(cliques);
  SubcliqueLookup lookup(index);
  InterruptPoll poll;
  rule(weights, lookup, poll);
  return weights;
}

}  // namespace vexa::graph
