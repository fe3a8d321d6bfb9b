// The weighted clique decomposition of a graph whose closed neighbourhoods
// each fit one machine word, computed inside the neighbourhoods, without a
// list of maximal cliques.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "types.hpp"

namespace vexa::graph {

// Every closed neighbourhood N[v] holds at most this many nodes on the
// neighbourhood path: one bit per node of N[v] in a 64-bit word.  Wider
// neighbourhoods are left to the other engines: on G(2000, 0.02), whose
// largest degrees lie about this limit, the method is slower than the walk
// even with every neighbourhood below it (neighbourhood_weights.cpp).
inline constexpr std::size_t kNeighbourhoodBits = 64;

// For a graph given in simple upper form (list v: the nodes w > v adjacent
// to v, ascending, each once, all below n) and a maxrank that no clique of
// the graph can exceed (maxrank >= the largest degree + 1), the same result
// as decompose_with_weights(): every clique with a non-zero weight, by size
// largest first, each size ascending.
//
// Returns nothing, having spent at most about `steps_per_entry` times
// n + (entries of `upper`) steps, when the method does not apply (a degree
// of kNeighbourhoodBits or more, maxrank below the largest degree + 1,
// maxrank < 3) or its work would pass that budget.
std::optional<WeightedCliques> decompose_in_neighbourhoods(const NeighbourLists& upper, std::uint64_t maxrank,
                                                           std::uint64_t steps_per_entry);

// The budget the automatic route gives it (see neighbourhood_weights.cpp).
std::optional<WeightedCliques> decompose_in_neighbourhoods(const NeighbourLists& upper, std::uint64_t maxrank);

// The same, given also the lists that `upper` was made from
// (upper == detail::simple_upper_form(lists)): where they are tidy (each
// edge at both ends, the nodes below each node first and ascending) their
// entries below each node are read instead of gathered from `upper`; any
// other lists give the same result, at the cost of the gathering.
std::optional<WeightedCliques> decompose_in_neighbourhoods(const NeighbourLists& upper, const NeighbourLists& lists,
                                                           std::uint64_t maxrank, std::uint64_t steps_per_entry);
std::optional<WeightedCliques> decompose_in_neighbourhoods(const NeighbourLists& upper, const NeighbourLists& lists,
                                                           std::uint64_t maxrank);

}  // namespace vexa::graph
