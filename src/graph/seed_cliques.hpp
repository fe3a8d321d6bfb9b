// Breadth-first cliques and their weights, worked out seed by seed.
//
// Every clique of the breadth-first list is its seed v followed by a
// sub-sequence of nbrs[v].  When the lists are strictly ascending and hold at
// most 1024 entries each, a clique is its seed plus a mask of positions in
// nbrs[v] (1 to 16 words), and its candidate list is a mask too: the mask of
// [v] holds every position, and appending the node at position j keeps the
// candidates after j that occur in nbrs[nbrs[v][j]], which is one AND with a
// precomputed mask.  The whole subtree of one seed then lives in a few small
// arrays.
//
// Weights.  On such lists both weight rules give the alternating count of
// the listed cliques that contain a clique; it is worked out on the tree
// of the walk, inside each seed's subtree first (seed_walk.cpp) and then
// across seeds (seed_tails.cpp).  The passes and their files are named in
// seed_tree.hpp.
#pragma once

#include <cstdint>
#include <optional>

#include "seed_gate.hpp"
#include "types.hpp"

namespace vexa::graph {

// What the walk returns.
enum class SeedOutput {
  // Every clique, in breadth-first order (sizes ascending, each size
  // ascending lexicographically).
  all,
  // Only the cliques of non-zero weight, largest size first, each size
  // ascending lexicographically.  The nodes of the other cliques are never
  // written: the weights are worked out on the tree alone, and the kept
  // cliques are read off it at the end, straight into their places.
  nonzero_largest_first,
};

// What the caller knows of the lists' order.
enum class SeedLists {
  // Nothing: the walk checks that every list strictly ascends.
  unchecked,
  // Every list strictly ascends (an upper form, upper_form.hpp): not
  // checked again.
  ascending,
};

// The breadth-first cliques of at most `maxrank` nodes with their weights,
// or nothing when some list is not strictly ascending or holds more than
// 1024 entries.  The lists must already have been checked for entries >= n.
std::optional<WeightedCliques> enumerate_seed_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank,
                                                      SeedOutput output = SeedOutput::all,
                                                      SeedLists lists = SeedLists::unchecked);

// The same walk, with a say for the caller once the cliques are counted:
// the count stops once it passes `count_cap` cliques (0: it never stops
// early), and `gate` decides on
// its figures whether the walk goes on (counting afresh, without the cap,
// if the count was stopped).  Returns nothing when the gate says no, and
// also, like the plain form, when the lists do not suit the walk (then the
// gate is never asked, or asked and said yes).  maxrank 1 needs no count
// and asks nothing.
std::optional<WeightedCliques> enumerate_seed_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank,
                                                      SeedOutput output, std::uint64_t count_cap,
                                                      const SeedGate& gate,
                                                      SeedLists lists = SeedLists::unchecked);

}  // namespace vexa::graph
