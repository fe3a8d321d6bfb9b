// Which engine computes the weighted decomposition for a maxrank of at least
// 3: the seed walk or the maximal route (the cost model: route_choice.cpp).
#pragma once

#include <cstdint>

#include "seed_gate.hpp"
#include "types.hpp"

namespace vexa::graph::detail {

// The engines, exposed so that tests can compare them; every route gives
// the same result.
//  - maximal: the maximal cliques, then their weights
//    (calc_clique_weights_from_maximal);
//  - walk: with at least one edge and maxrank >= 1, every clique of at most
//    maxrank nodes lies in the family, so the family is exactly what the
//    bounded walk of enumerate_weighted_cliques lists on the graph's upper
//    form, with the same weights; its non-zero entries, regrouped largest
//    size first, are the result;
//  - edges: for maxrank 2, where the family is the graph's edges and nodes,
//    whose weights follow from the degrees (other maxranks: the walk).
enum class DecomposeRoute { automatic, maximal, walk, edges };

// What the automatic route decided, and the maximal cliques when the search
// ran for it and the maximal route was taken.
struct Choice {
  DecomposeRoute route;
  bool searched;
  CliqueList maximal;
  bool census = true;
};

// Where the first census, and the seed walk's count, stop.
std::uint64_t census_cap(const NeighbourLists& upper);

// Whether cliques of at most s nodes leave the walk within the maximal
// route's price whatever the graph: then neither count nor census is needed.
bool walk_within_top_clique_price(std::uint64_t s);

// The choice for maxrank >= 3 on the upper form of a non-empty graph, from
// the seed walk's count (null when the seed walk cannot take the lists).
// May run a census and the maximal search; throws std::bad_alloc where the
// search shows a result that no memory can hold.
Choice choose_route(const NeighbourLists& upper, std::uint64_t maxrank, const SeedCount* count);

}  // namespace vexa::graph::detail
