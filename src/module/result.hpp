// Conversion of a computed result into the Python tuple (cliques, weights).
#pragma once

#include "ref.hpp"

#include "graph/decompose.hpp"
#include "graph/seed_cliques.hpp"
#include "graph/types.hpp"

namespace vexa::module {

// A new tuple of two new lists, created at their final lengths and filled
// in place.  `node_count` bounds the node numbers worth caching as shared
// int objects (the number of neighbour lists).
Ref build_result(const graph::WeightedCliques& result, std::size_t node_count);
Ref build_result(const graph::CliqueList& cliques, const graph::WeightList& weights,
                 std::size_t node_count);
// The same from kept cliques still on the seed walk's tree, read off a
// block at a time, each block turned into objects while in cache.
Ref build_result(graph::KeptCliques& kept, std::size_t node_count);
// Either form of a decomposition.
Ref build_result(graph::Decomposition& result, std::size_t node_count);

// The edge-only result, built straight from the lists: the node cliques
// [0] .. [n-1], then every entry j > i of list i as [i, j].
Ref build_edgeonly_result(const graph::NeighbourLists& adj);

}  // namespace vexa::module
