// The tree the seed walk builds (seed_cliques.cpp), and the passes that
// build it and read it.
//
// Every clique of at most maxrank nodes has a place in the breadth-first
// list: sizes ascending, each size in lexicographic order, which is also
// seed by seed, so that each seed's cliques of one size are a block of
// their own.  The tree links every clique of k nodes to its children, the
// cliques of k + 1 nodes that extend it by a later node; the children of one
// clique are contiguous and ascend by their last node, so the list is a trie
// (Fredkin 1960) of the cliques stored level by level.  Its arrays hold one
// entry per clique: O(number of cliques) memory in all.
//
// The passes, in the order the walk runs them:
//   seed_masks.cpp    the rows of each seed (SeedMasks);
//   seed_count.cpp    count_levels(): the size of every seed's block of every
//                     level, which places every clique;
//   seed_walk.cpp     walk_seeds(): each seed's subtree grown level by level,
//                     its last nodes and child links stored and its weights
//                     worked out up to the step that crosses seeds;
//   seed_tails.cpp    subtract_tails(): that step, across seeds;
//   seed_read_off.cpp KeptCliques (seed_cliques.hpp): the cliques of non-zero
//                     weight, read off a block at a time.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "big_arrays.hpp"
#include "interrupt.hpp"
#include "seed_gate.hpp"
#include "seed_masks.hpp"
#include "types.hpp"

namespace vexa::graph::seed {

// A level of one seed can hold millions of cliques: its loops tick the
// interrupt poll once per this many, a few microseconds of work.
inline constexpr std::size_t kPollBlock = 4096;

// Calls f(lo, hi) over [0, n) in blocks of kPollBlock items, with one tick
// per block: the loops over a level's cliques carry no poll of their own.
template <class F>
void for_chunks(InterruptPoll& poll, std::size_t n, F&& f) {
  for (std::size_t lo = 0; lo < n;) {
    const std::size_t hi = std::min(n, lo + kPollBlock);
    f(lo, hi);
    poll.tick(static_cast<std::uint32_t>(hi - lo));
    lo = hi;
  }
}

// Strided{value, step}: the arithmetic sequence value, value + step, ... as
// a random-access iterator: a vector appends a run of it in one pass,
// without clearing its room first.
struct Strided {
  using iterator_category = std::random_access_iterator_tag;
  using value_type = std::size_t;
  using difference_type = std::ptrdiff_t;
  using pointer = const std::size_t*;
  using reference = std::size_t;
  std::size_t value, step;
  std::size_t operator*() const noexcept { return value; }
  Strided& operator++() noexcept {
    value += step;
    return *this;
  }
  Strided operator++(int) noexcept {
    Strided old = *this;
    value += step;
    return old;
  }
  Strided& operator--() noexcept {
    value -= step;
    return *this;
  }
  Strided& operator+=(difference_type n) noexcept {
    value += static_cast<std::size_t>(n) * step;
    return *this;
  }
  difference_type operator-(const Strided& o) const noexcept {
    return static_cast<difference_type>((value - o.value) / step);
  }
  bool operator==(const Strided& o) const noexcept { return value == o.value; }
};

// Appends the `count` values first, first + step, ... to `out`, a block of
// kPollBlock at a time with a tick in between: the offsets of cliques of
// one size, each written once, without clearing the room first.
template <class Vector>
void append_strided(Vector& out, std::size_t first, std::size_t step, std::size_t count, InterruptPoll& poll) {
  for_chunks(poll, count, [&](std::size_t lo, std::size_t hi) {
    out.insert(out.end(), Strided{first + step * lo, step}, Strided{first + step * hi, step});
  });
}

struct SeedTree {
  // The cliques of k nodes have the places level_start[k-1] ..
  // level_start[k] - 1; the single nodes come first, node v at place v.
  std::vector<std::size_t> level_start;
  // Per seed v and size k >= 2: where v's block of the cliques of k nodes
  // begins, at block_start[seed_first[v] + k - 2].  A seed has an entry per
  // size up to its largest clique.
  RawArray<std::size_t> seed_first;
  std::vector<std::size_t> block_start;
  // Per clique, its last node.
  RawArray<Index> last;
  // Per clique and one past the last: the children of clique g have the
  // places first_child[g] .. first_child[g + 1] - 1.
  RawArray<Index> first_child;
  // Per clique, its weight.
  Weight* w = nullptr;

  // The largest clique size (0 for no node).
  std::size_t levels() const noexcept { return level_start.size() - 1; }
  // The place of the i-th clique of k nodes with seed v.
  std::size_t global(std::size_t v, std::size_t k, std::size_t i) const noexcept {
    return k == 1 ? v : block_start[seed_first[v] + k - 2] + i;
  }
};

// Fills level_start, seed_first and block_start with the sizes of every
// seed's levels (seed_count.cpp); the cliques themselves are not kept.  With
// a cap (0: none), stops after the seed that takes the count past it, and
// then only the figures returned are meaningful.
SeedCount count_levels(const NeighbourLists& nbrs, const SeedMasks& masks, std::uint64_t maxrank,
                       std::uint64_t cap, SeedTree& tree, InterruptPoll& poll);

// Grows every seed's subtree (seed_walk.cpp) into the tree's last nodes
// and child links, and gives every clique the part of its weight that its
// own seed's subtree decides; with `all` given, also writes every clique's
// nodes there, into the room its offsets already place.  The tree's arrays
// must have room for every clique.
void walk_seeds(const NeighbourLists& nbrs, const SeedMasks& masks, std::uint64_t maxrank, SeedTree& tree,
                CliqueList* all, InterruptPoll& poll);

// The rest of every weight, which crosses seeds (seed_tails.cpp).  False
// when a clique's tail is missing from the tree, which a walk of strictly
// ascending lists never gives.
bool subtract_tails(SeedTree& tree, std::size_t n, InterruptPoll& poll);

}  // namespace vexa::graph::seed
