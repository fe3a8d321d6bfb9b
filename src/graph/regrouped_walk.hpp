// The walk's route of the weighted decomposition for the graphs the seed
// walk cannot take: the bounded walk's list, regrouped into the result's
// order.
#pragma once

#include <cstdint>

#include "types.hpp"

namespace vexa::graph::detail {

// The non-zero cliques of at most maxrank nodes of the graph whose simple
// upper form is `upper`, with their weights: largest size first, each size
// ascending lexicographically.
WeightedCliques regrouped_walk(const NeighbourLists& upper, std::uint64_t maxrank);

}  // namespace vexa::graph::detail
