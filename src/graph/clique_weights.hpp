// Pruned inclusion-exclusion weights of a list of cliques.
#pragma once

#include "types.hpp"

namespace vexa::graph {

// Visits the list from back to front.  Clique i gets w = 1 minus what the
// cliques visited before it passed on to it; when w is not 0 it passes w on
// to each of its proper sub-cliques (sub-sequences in its own order, by
// position), found at the last position holding that sequence.  A clique of
// weight 0 passes nothing on, so its sub-cliques are never generated.
//
// On a list where every clique stands after its proper sub-cliques and no
// sequence occurs twice, the weights of the cliques containing any listed
// clique add up to 1.  Other lists still get exactly these steps: earlier
// copies of a repeated sequence receive nothing and get weight 1, and a
// clique listed before its sub-cliques passes its weight to entries already
// visited.  Fails with "no entry found for key" when a listed clique has a
// sub-clique that is not listed.  Weights wrap as two's complement.
WeightList calc_clique_weights(const CliqueList& cliques);

}  // namespace vexa::graph
