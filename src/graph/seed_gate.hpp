// What the seed walk's counting pass found, and the caller's say on it
// before anything is listed (seed_cliques.hpp).
#pragma once

#include <cstdint>
#include <functional>

namespace vexa::graph {

// What the walk's first pass, which only counts, found.
struct SeedCount {
  // Cliques of at most maxrank nodes; with `complete` false, the count
  // stopped once it passed the cap, and there are at least this many.
  std::uint64_t cliques = 0;
  // Nodes in the largest clique counted.
  std::uint64_t largest = 0;
  // The sum over the seeds v of max(1, cliques of maxrank nodes whose
  // smallest node is v): a lower bound on the ends of a census
  // (clique_census.hpp), each seed having at least one.
  std::uint64_t seed_ends = 0;
  bool complete = true;
};

// Asked once, after the count and before anything is listed: true lets the
// walk go on, false ends it with nothing.
using SeedGate = std::function<bool(const SeedCount&)>;

}  // namespace vexa::graph
