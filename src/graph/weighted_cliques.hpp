// The bounded cliques with their weights: enumerate_cliques followed by
// calc_clique_weights or calc_clique_weights_noprune, computed by the fastest
// route the lists allow.
#pragma once

#include <cstdint>

#include "types.hpp"

namespace vexa::graph {

enum class WeightRule { pruned, noprune };

// How the result is computed; every route gives the same result.
enum class CliqueRoute {
  fastest,  // the first of the routes below that the lists allow
  seeds,    // seed by seed with position masks (strictly ascending lists of <= 64 entries)
  tree,     // the enumeration's tree (weights through it for strictly ascending lists)
  literal,  // enumerate_cliques, then the weight routine on the list alone
};

// enumerate_cliques(nbrs, maxrank) with the weights that
// calc_clique_weights (pruned) or calc_clique_weights_noprune give on it,
// failing exactly as they would.  `route` is for tests and benchmarks;
// a route the lists do not allow falls back to the next one.
WeightedCliques enumerate_weighted_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank,
                                           WeightRule rule,
                                           CliqueRoute route = CliqueRoute::fastest);

}  // namespace vexa::graph
