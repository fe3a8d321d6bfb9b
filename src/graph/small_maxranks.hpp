// The decomposition for maxrank 0, 1 and 2, in closed form from the node
// count and the degrees: no clique search, no walk.
#pragma once

#include <cstdint>
#include <optional>

#include "types.hpp"

namespace vexa::graph::detail {

// maxrank 0 and 1 on a graph of n nodes (and any maxrank on no node);
// nothing for the other maxranks.
std::optional<WeightedCliques> without_search(std::size_t n, std::uint64_t maxrank);

// maxrank 2 on a graph's simple upper form: its edges, each of weight 1,
// then its nodes, weighing 1 - degree, those of degree 1 left out.
WeightedCliques edges_and_nodes(const NeighbourLists& upper);

}  // namespace vexa::graph::detail
