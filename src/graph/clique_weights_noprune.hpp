// Unpruned inclusion-exclusion weights of a list of cliques, in closed form.
#pragma once

#include "types.hpp"

namespace vexa::graph {

// Every clique C of n nodes adds +1 or -1 to each of its sub-cliques s
// (sub-sequences in C's own order, by position, C itself included): +1 when
// n - |s| is even, -1 when odd, at the last position holding that sequence.
// So the weight of S is the alternating count of the listed cliques that
// contain it, once per choice of positions, and earlier copies of a repeated
// sequence keep 0.  The order of the list does not matter.  Fails with "no
// entry found for key" on exactly the lists calc_clique_weights fails on.
// Weights wrap as two's complement.
WeightList calc_clique_weights_noprune(const CliqueList& cliques);

}  // namespace vexa::graph
