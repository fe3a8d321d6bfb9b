// The weighted clique decomposition of a graph: its maximal cliques, those
// larger than `maxrank` cut into their `maxrank`-node subsets, and every
// clique of the family so formed (the cut maximal cliques and all their
// sub-cliques) whose inclusion-exclusion weight is not zero.
#pragma once

#include <cstdint>
#include <variant>

#include "route_choice.hpp"
#include "seed_cliques.hpp"
#include "types.hpp"
#include "upper_form.hpp"

namespace vexa::graph {

// A decomposition as the engine that made it hands it over: arrays of
// cliques and weights, or, from the seed walk, the walk's tree with the
// kept cliques still to be read off it block by block (KeptCliques), so
// that their nodes are never all written out at once.
struct Decomposition {
  std::variant<WeightedCliques, KeptCliques> cliques;

  // As arrays, whichever form it has.
  WeightedCliques materialize() &&;
};

// enumerate_maximal_cliques(adj) followed by
// calc_clique_weights_from_maximal(..., maxrank), computed by the cheaper of
// two engines (see decompose.cpp).  The lists are read as the maximal search
// reads them: self-loops are ignored, repeated entries count once, entries
// >= n are ignored and an edge listed in one direction only is an edge.
//
// Order of the result: by size, largest first, each size ascending
// lexicographically, the empty clique (maxrank 0) last.
WeightedCliques decompose_with_weights(const NeighbourLists& adj, std::uint64_t maxrank);

// The same, given the graph's simple upper form alone (upper_form.hpp), as
// the input conversion cuts it from tidy lists; `upper` is released once the
// engine no longer needs it.
WeightedCliques decompose_upper_form_with_weights(NeighbourLists&& upper, std::uint64_t maxrank);
Decomposition decompose_upper_form(NeighbourLists&& upper, std::uint64_t maxrank);

// The same, for lists that the tidy check (upper_form.hpp) has already
// turned down: their upper form is made by the general pass at once.
WeightedCliques decompose_untidy_with_weights(const NeighbourLists& adj, std::uint64_t maxrank);
Decomposition decompose_untidy(const NeighbourLists& adj, std::uint64_t maxrank);

namespace detail {

// The decomposition by the route named (DecomposeRoute, route_choice.hpp),
// for tests that compare the engines; every route gives the same result.
WeightedCliques decompose_with_weights(const NeighbourLists& adj, std::uint64_t maxrank,
                                       DecomposeRoute route);

// The engine that the automatic route takes for a maxrank of at least 2 on a
// non-empty graph (for the others neither engine runs), and whether it took
// a census and ran the maximal search to decide.
struct RouteChoice {
  DecomposeRoute route;
  bool searched;
  bool census = false;
};
RouteChoice chosen_route(const NeighbourLists& adj, std::uint64_t maxrank);

// The graph that the maximal search sees, in upper form (upper_form.hpp).
using graph::simple_upper_form;

}  // namespace detail
}  // namespace vexa::graph
