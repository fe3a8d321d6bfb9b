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

#include "interrupt.hpp"
#include "powerset.hpp"
#include "types.hpp"

namespace vexa::graph {

class SequenceIndex {
 public:
  static constexpr std::size_t npos = std::numeric_limits<std::size_t>::max();

  explicit SequenceIndex(const CliqueList& list);

  // The last position holding `seq`, or npos.
  std::size_t find(std::span<const Node> seq) const noexcept {
    const std::uint64_t h = hash(seq);
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

  std::uint64_t hash(std::span<const Node> seq) const noexcept {
    std::uint64_t h = seed_ ^ (seq.size() * 0x9e3779b97f4a7c15ULL);
    for (Node v : seq) {
      h = (h ^ v) * 0xbf58476d1ce4e5b9ULL;
      h ^= h >> 31;
    }
    h ^= h >> 29;
    h *= 0x94d049bb133111ebULL;
    h ^= h >> 32;
    return h;
  }

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

// Looks up the sub-cliques of one clique after another, in the order of
// powerset() (sizes 1 .. last_size, positions lexicographic within a size),
// reusing one position array and one item buffer for every clique.
class SubcliqueLookup {
 public:
  explicit SubcliqueLookup(const SequenceIndex& index) : index_(index) {}

  // Calls visit(position, size) for each sub-clique of q with 1 .. last_size
  // nodes; fails with "no entry found for key" at the first one not listed.
  template <class Visit>
  void walk(std::span<const Node> q, std::size_t last_size, InterruptPoll& poll, Visit&& visit) {
    for (std::size_t k = 1; k <= last_size; ++k) {
      comb_.reset(q.size(), k);
      item_.resize(k);
      while (comb_.next()) {
        const auto pos = comb_.positions();
        for (std::size_t i = 0; i < k; ++i) item_[i] = q[pos[i]];
        const std::size_t j = index_.find(item_);
        if (j == SequenceIndex::npos) throw Failure("no entry found for key");
        visit(j, k);
        poll.tick();
      }
    }
  }

 private:
  const SequenceIndex& index_;
  Combinations comb_{0, 0};
  std::vector<Node> item_;
};

}  // namespace vexa::graph
