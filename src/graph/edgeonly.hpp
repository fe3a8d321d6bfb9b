// Node and edge cliques with edge-only weights.
#pragma once

#include "types.hpp"

namespace vexa::graph {

// Every node i becomes the clique [i] with weight 1 - len(adj[i]); every
// entry j > i of adj[i] becomes the clique [i, j] with weight 1, in list
// order.  The lists are used as given: repeats, self-loops, asymmetric lists
// and entries >= n are never checked and never fail.
WeightedCliques enumerate_cliques_edgeonly(const NeighbourLists& adj);

}  // namespace vexa::graph
