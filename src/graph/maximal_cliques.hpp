// Maximal cliques of a graph given as neighbour lists.
#pragma once

#include "types.hpp"

namespace vexa::graph {

// Every maximal clique of the graph on nodes 0 .. n-1 (n = adj.size()), each
// once, each in ascending order.
//
// The lists are read leniently: a node is never its own neighbour (self-loops
// are ignored), repeated entries count once and entries >= n are ignored.  An
// edge listed in one direction only counts as an edge, so lists that are not
// symmetric give the maximal cliques of the graph that has an edge wherever
// either end lists the other.  A node with no neighbours is the clique [v];
// an empty `adj` gives an empty list.
//
// The order of the cliques is fixed for a given input: the search is fully
// deterministic, so two calls give the same list.
CliqueList enumerate_maximal_cliques(const NeighbourLists& adj);

}  // namespace vexa::graph
