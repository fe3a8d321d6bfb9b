// The weighted clique decomposition: which route runs when.
//
// Every route computes the family of the cut maximal cliques with the
// weights weight(S) = 1 - (sum of the weights of the members strictly
// containing S), and returns its non-zero members, largest first.  In the
// order the dispatch below asks:
//
// 1. No node, maxrank 0 or 1: the result follows from the node count
//    (small_maxranks.cpp), O(n).
// 2. The lists become the graph's simple upper form: tidy input arrives in
//    it already or is cut down to it (upper_form.hpp), untidy input goes
//    straight to the general pass.
// 3. maxrank 2: every edge and every node, weighed from the degrees
//    (small_maxranks.cpp), O(n + m).
// 4. Where no cut can bind and every closed neighbourhood fits a word: the
//    weights inside the closed neighbourhoods (neighbourhood_weights.cpp),
//    unless its work budget runs out first.
// 5. maxrank <= 5: the walk, which then never costs more than the maximal
//    route (route_choice.cpp).
// 6. Otherwise the seed walk counts its cliques, and the cost model
//    (route_choice.cpp) picks on that count, with a census and the maximal
//    search where the count leaves it open: the walk goes on to its result,
//    or the maximal route weighs the cliques the search found.
//
// The two engines:
// - walk: on a graph with maxrank >= 1, every clique of at most maxrank
//   nodes lies in a maximal clique, so it is in the family; and every member
//   of the family has at most maxrank nodes.  The family is therefore every
//   clique of at most maxrank nodes, which is exactly what the bounded walk
//   of enumerate_weighted_cliques lists on the upper form of the graph, each
//   once, with the same weight rule.  Its work is one step per clique of at
//   most maxrank nodes, zero-weight cliques included; the seed walk
//   (seed_cliques.cpp) keeps 16 bytes per clique (weight, last node, first
//   child) and hands over its tree, off which the non-zero ones are read in
//   the result's order, a block at a time, by whoever makes the result
//   (Decomposition); where it cannot take the lists, regrouped_walk.cpp.
// - maximal: Bron-Kerbosch with pivoting lists the maximal cliques
//   (enumerate_maximal_cliques), then calc_clique_weights_from_maximal cuts
//   them and weighs the family.  Its work follows the maximal cliques and the
//   non-zero part of the family, whatever maxrank is.
#include "decompose.hpp"

#include <optional>

#include "maximal_cliques.hpp"
#include "neighbourhood_weights.hpp"
#include "phase_clock.hpp"
#include "regrouped_walk.hpp"
#include "route_choice.hpp"
#include "seed_cliques.hpp"
#include "small_maxranks.hpp"
#include "upper_form.hpp"
#include "weights_from_maximal.hpp"

namespace vexa::graph {
namespace detail {

namespace {

WeightedCliques maximal_route(const NeighbourLists& adj, std::uint64_t maxrank) {
  const CliqueList maximal = enumerate_maximal_cliques(adj);
  phase_done("maximal cliques");
  return calc_clique_weights_from_maximal(maximal, maxrank);
}

// The seed walk leaves the non-zero cliques on its tree, to be read off in
// the result's order, without writing out the others.  An upper form
// ascends by construction, so the walk does not check its order again.
Decomposition walk_route(const NeighbourLists& upper, std::uint64_t maxrank) {
  if (auto kept = walk_kept_cliques(upper, maxrank, SeedLists::ascending)) return {std::move(*kept)};
  return {regrouped_walk(upper, maxrank)};
}

// The seed walk counts its cliques, the route is chosen on that count (on
// none when the walk cannot take the lists), and with `go_on` a walk chosen
// goes on to its result.  `walked` is empty when the walk did not finish:
// not chosen, not asked to go on, or unable to take the lists.
struct CountedChoice {
  Choice choice;
  std::optional<KeptCliques> walked;
};
CountedChoice count_and_choose(const NeighbourLists& upper, std::uint64_t maxrank, bool go_on) {
  std::optional<Choice> choice;
  const SeedGate gate = [&](const SeedCount& count) {
    choice = choose_route(upper, maxrank, &count);
    phase_done("route choice");
    return go_on && choice->route == DecomposeRoute::walk;
  };
  std::optional<KeptCliques> walked =
      walk_kept_cliques(upper, maxrank, census_cap(upper), gate, SeedLists::ascending);
  if (!choice) choice = choose_route(upper, maxrank, nullptr);
  return {std::move(*choice), std::move(walked)};
}

// The automatic route past the special maxranks.
Decomposition automatic_route(NeighbourLists& upper, std::uint64_t maxrank) {
  CountedChoice counted = count_and_choose(upper, maxrank, true);
  if (counted.walked) return {std::move(*counted.walked)};
  if (counted.choice.route == DecomposeRoute::maximal) {
    upper = NeighbourLists();
    return {calc_clique_weights_from_maximal(counted.choice.maximal, maxrank)};
  }
  return {regrouped_walk(upper, maxrank)};
}

// maxrank >= 2 on the simple upper form of a non-empty graph, made from
// the lists `adj`.
Decomposition from_upper_form(NeighbourLists& upper, const NeighbourLists& adj, std::uint64_t maxrank,
                              DecomposeRoute route) {
  if (maxrank == 2 && (route == DecomposeRoute::automatic || route == DecomposeRoute::edges))
    return {edges_and_nodes(upper)};
  if (route == DecomposeRoute::automatic) {
    // No cut can bind and every closed neighbourhood fits a word: weigh
    // inside the neighbourhoods, unless its work budget runs out first.
    if (auto local = decompose_in_neighbourhoods(upper, adj, maxrank)) return {std::move(*local)};
    if (!walk_within_top_clique_price(maxrank)) return automatic_route(upper, maxrank);
  }
  return walk_route(upper, maxrank);
}

// `tidy`: whether the lists may be tidy (otherwise they are known not to
// be, and the tidy check is not run again).
Decomposition from_lists(const NeighbourLists& adj, std::uint64_t maxrank, DecomposeRoute route, bool tidy) {
  if (auto out = without_search(adj.size(), maxrank)) return {std::move(*out)};
  if (route == DecomposeRoute::maximal) return {maximal_route(adj, maxrank)};
  NeighbourLists upper = tidy ? simple_upper_form(adj) : general_upper_form(adj);
  phase_done("upper form");
  return from_upper_form(upper, adj, maxrank, route);
}

}  // namespace

RouteChoice chosen_route(const NeighbourLists& adj, std::uint64_t maxrank) {
  if (maxrank == 2) return {DecomposeRoute::edges, false};
  const NeighbourLists upper = simple_upper_form(adj);
  const Choice choice = count_and_choose(upper, maxrank, false).choice;
  return {choice.route, choice.searched, choice.census};
}

WeightedCliques decompose_with_weights(const NeighbourLists& adj, std::uint64_t maxrank,
                                       DecomposeRoute route) {
  return from_lists(adj, maxrank, route, true).materialize();
}

}  // namespace detail

WeightedCliques decompose_with_weights(const NeighbourLists& adj, std::uint64_t maxrank) {
  return detail::decompose_with_weights(adj, maxrank, detail::DecomposeRoute::automatic);
}

WeightedCliques Decomposition::materialize() && {
  if (auto* kept = std::get_if<KeptCliques>(&cliques)) return kept->materialize();
  return std::move(std::get<WeightedCliques>(cliques));
}

Decomposition decompose_untidy(const NeighbourLists& adj, std::uint64_t maxrank) {
  return detail::from_lists(adj, maxrank, detail::DecomposeRoute::automatic, false);
}

WeightedCliques decompose_untidy_with_weights(const NeighbourLists& adj, std::uint64_t maxrank) {
  return decompose_untidy(adj, maxrank).materialize();
}

Decomposition decompose_upper_form(NeighbourLists&& upper, std::uint64_t maxrank) {
  NeighbourLists own = std::move(upper);
  if (auto out = detail::without_search(own.size(), maxrank)) return {std::move(*out)};
  // The upper form stands for the lists too: the neighbourhood route finds
  // it no tidy full lists and gathers them from it.
  return detail::from_upper_form(own, own, maxrank, detail::DecomposeRoute::automatic);
}

WeightedCliques decompose_upper_form_with_weights(NeighbourLists&& upper, std::uint64_t maxrank) {
  return decompose_upper_form(std::move(upper), maxrank).materialize();
}

}  // namespace vexa::graph
