// A degeneracy order of a simple graph.
#pragma once

#include <vector>

#include "interrupt.hpp"
#include "simple_graph.hpp"
#include "types.hpp"

namespace vexa::graph {

// A degeneracy order: the nodes in order of their core numbers, each with at
// most its core number of neighbours later in the order, in linear time.
// Returns the order; rank[v] is v's place.
std::vector<Index> degeneracy_order(const SimpleGraph& g, std::vector<Index>& rank, InterruptPoll& poll);

}  // namespace vexa::graph
