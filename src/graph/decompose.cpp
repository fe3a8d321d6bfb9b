// The weighted clique decomposition, by the cheaper of two engines.
//
// Both engines compute the family of the cut maximal cliques with the
// weights weight(S) = 1 - (sum of the weights of the members strictly
// containing S), and return its non-zero members, largest first:
//
// - maximal: Bron-Kerbosch with pivoting lists the maximal cliques
//   (enumerate_maximal_cliques), then calc_clique_weights_from_maximal cuts
//   them and weighs the family.  Its work follows the maximal cliques and the
//   non-zero part of the family, whatever maxrank is.
// - walk: on a graph with maxrank >= 1, every clique of at most maxrank
//   nodes lies in a maximal clique, so it is in the family; and every member
//   of the family has at most maxrank nodes.  The family is therefore every
//   clique of at most maxrank nodes, which is exactly what the bounded walk
//   of enumerate_weighted_cliques lists on the upper form of the graph, each
//   once, with the same weight rule.  Its work is one step per clique of at
//   most maxrank nodes, zero-weight cliques included; the seed walk keeps
//   16 bytes per clique (weight, last node, first child) and hands over its
//   tree, off which the non-zero ones are read in the result's order, a
//   block at a time, by whoever makes the result (Decomposition).
//
// Which engine runs: the walk, unless a count of its cliques shows it
// costing more than the maximal route is priced at from the maximal
// cliques.  The seed walk counts its cliques before it lists any, and that
// count settles most graphs (no clique of more than 5 nodes, or few cliques
// per seed); only where it does not are a census and the search run to
// price the maximal route (the cost model is above walk_within_top_clique_price()
// below).  Where the search has run, a result that no memory can hold (its
// top cliques alone, at the least a Python list each) ends in MemoryError
// before the census counts on.  Tidy input arrives already in upper form
// (upper_form.hpp), untidy input goes straight to the general pass, and
// maxrank 0, 1 and 2 and graphs with small neighbourhoods have routes of
// their own.
#include "decompose.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <new>
#include <optional>
#include <vector>

#include "big_arrays.hpp"
#include "clique_census.hpp"
#include "interrupt.hpp"
#include "maximal_cliques.hpp"
#include "memory_room.hpp"
#include "neighbourhood_weights.hpp"
#include "phase_clock.hpp"
#include "seed_cliques.hpp"
#include "upper_form.hpp"
#include "weighted_cliques.hpp"
#include "weights_from_maximal.hpp"

namespace vexa::graph {
namespace detail {

namespace {

// ---------------------------------------------------------------------------
// The engines.

WeightedCliques maximal_route(const NeighbourLists& adj, std::uint64_t maxrank) {
  const CliqueList maximal = enumerate_maximal_cliques(adj);
  phase_done("maximal cliques");
  return calc_clique_weights_from_maximal(maximal, maxrank);
}

// The walk's list (sizes ascending, each ascending lexicographically) with
// its zero-weight cliques dropped and its size groups put largest first, in
// place: the kept cliques are packed to the front, then the whole node and
// weight arrays are reversed and each size group reversed back.  For the
// graphs the seed walk cannot take (a node with more than 1024 later
// neighbours, or more than 2^32 cliques).
WeightedCliques regrouped_walk(const NeighbourLists& upper, std::uint64_t maxrank) {
  WeightedCliques all = enumerate_weighted_cliques(upper, maxrank, WeightRule::pruned);
  InterruptPoll poll;
  std::vector<Node>& nodes = all.cliques.nodes();
  std::vector<std::size_t>& offsets = all.cliques.offsets();
  WeightList& weights = all.weights;
  struct Group {
    std::size_t size, count;
  };
  std::vector<Group> groups;
  std::size_t kept = 0, kept_nodes = 0;
  for (std::size_t i = 0; i < weights.size(); ++i) {
    if (weights[i] == 0) continue;
    const std::size_t b = offsets[i], len = offsets[i + 1] - b;
    if (groups.empty() || groups.back().size != len) groups.push_back({len, 0});
    ++groups.back().count;
    std::copy(nodes.begin() + static_cast<std::ptrdiff_t>(b), nodes.begin() + static_cast<std::ptrdiff_t>(b + len),
              nodes.begin() + static_cast<std::ptrdiff_t>(kept_nodes));
    weights[kept++] = weights[i];
    kept_nodes += len;
    poll.tick(static_cast<std::uint32_t>(len | 1));
  }
  nodes.resize(kept_nodes);
  weights.resize(kept);
  std::reverse(nodes.begin(), nodes.end());
  std::reverse(weights.begin(), weights.end());
  poll.tick(tick_cost(kept_nodes));
  offsets.assign(1, 0);
  offsets.reserve(kept + 1);
  std::size_t at = 0, node_at = 0;
  for (auto g = groups.rbegin(); g != groups.rend(); ++g) {
    std::reverse(weights.begin() + static_cast<std::ptrdiff_t>(at),
                 weights.begin() + static_cast<std::ptrdiff_t>(at + g->count));
    std::reverse(nodes.begin() + static_cast<std::ptrdiff_t>(node_at),
                 nodes.begin() + static_cast<std::ptrdiff_t>(node_at + g->count * g->size));
    for (std::size_t c = 0; c < g->count; ++c) offsets.push_back(offsets.back() + g->size);
    at += g->count;
    node_at += g->count * g->size;
    poll.tick(tick_cost(g->count * g->size));
  }
  return all;
}

// The seed walk leaves the non-zero cliques on its tree, to be read off in
// the result's order, without writing out the others.  An upper form
// ascends by construction, so the walk does not check its order again.
Decomposition walk_route(const NeighbourLists& upper, std::uint64_t maxrank) {
  if (auto kept = walk_kept_cliques(upper, maxrank, SeedLists::ascending)) return {std::move(*kept)};
  return {regrouped_walk(upper, maxrank)};
}

// maxrank 2: the family is every edge and every node (an isolated node is a
// maximal clique of its own).  No member contains an edge, so each edge
// weighs 1, and a node lies in its deg(v) edges, so it weighs 1 - deg(v),
// zero exactly for the nodes of degree 1.  The pairs of the upper form are
// already in the result's order, so one pass over it writes the edges and
// one over the degrees the nodes: linear in the graph, no walk.
WeightedCliques edges_and_nodes(const NeighbourLists& upper) {
  const std::size_t n = upper.size(), m = upper.total_nodes();
  InterruptPoll poll;
  std::vector<std::uint64_t> degree(n, 0);
  for (std::size_t v = 0; v < n; ++v) {
    degree[v] += upper.length(v);
    for (Node w : upper[v]) ++degree[static_cast<std::size_t>(w)];
    poll.tick(static_cast<std::uint32_t>(upper.length(v) | 1));
  }
  const auto kept = static_cast<std::size_t>(std::count_if(degree.begin(), degree.end(), [](std::uint64_t d) { return d != 1; }));
  WeightedCliques out;
  std::vector<Node>& nodes = out.cliques.nodes();
  std::vector<std::size_t>& offsets = out.cliques.offsets();
  fresh_array(nodes, 2 * m + kept, poll);
  fresh_array(offsets, m + kept + 1, poll);
  fresh_array(out.weights, m + kept, poll);
  Node* dst = nodes.data();
  std::size_t at = 0;
  for (std::size_t v = 0; v < n; ++v) {
    for (Node w : upper[v]) {
      *dst++ = static_cast<Node>(v);
      *dst++ = w;
      out.weights[at++] = 1;
      offsets[at] = 2 * at;
    }
    poll.tick(static_cast<std::uint32_t>(upper.length(v) | 1));
  }
  for (std::size_t v = 0; v < n; ++v) {
    if (degree[v] == 1) continue;
    *dst++ = static_cast<Node>(v);
    offsets[at + 1] = offsets[at] + 1;
    out.weights[at++] = wrap_sub(1, static_cast<Weight>(degree[v]));
    poll.every<4096>(v);
  }
  return out;
}

// Every node of a graph lies in some maximal clique once self-loops are
// ignored, so maxrank 1 gives each node once, with weight 1.
WeightedCliques single_nodes(std::size_t n) {
  WeightedCliques out;
  out.cliques.reserve(n, n);
  for (std::size_t v = 0; v < n; ++v) {
    out.cliques.push_node(static_cast<Node>(v));
    out.cliques.close_seq();
  }
  out.weights.assign(n, 1);
  return out;
}

// ---------------------------------------------------------------------------
// The cost model.
//
// maxrank 2 needs none: edges_and_nodes() is linear in the graph.  Above it,
// the walk costs one step per clique of at most maxrank nodes, zero weights
// included; the maximal route costs about kStepsPerTopClique walk steps per
// top clique, plus one step per kStarPairsPerStep pairs of top cliques that
// share a node (the intersections its weighing works through).  The walk's
// side is counted by a census, the maximal route's once its search has run:
// a census that finds at most kWalkStepsPerEnd cliques per end settles on the
// walk at once, otherwise the search runs and the walk still takes over when
// its census, continued up to the maximal route's cost, ends below it.
//
// The seed walk's own first pass is an exact count, taken anyway, of the
// cliques, of the largest clique and of a lower bound on the ends (each
// seed has one).  It settles on the walk without a census when the largest
// clique has at most 5 nodes (see below) or when the cliques are at most
// kWalkStepsPerEnd per that bound, as the census would; a count that passes
// the census's first cap goes straight to the search.
//
// The census is sampled (clique_census.hpp): seeds with the same number of
// later neighbours are counted one in kSampleStride where at least
// kSampledGroup of them share it, the rest in full.  On the graphs below its
// estimates were within 1.5 % of the full count (cliques per end within 2 %)
// for maxrank 6 and 64, for 19 % of the full count's instructions on the
// geometric graph, 43 % on preferential attachment and 38 % on G(2000, 0.02)
// (maxrank 64); dense graphs, whose groups are small, are counted in full.
//
// No census is needed when maxrank is small: every clique lies in a top
// clique, which has at most 2^maxrank - 1 non-empty sub-cliques, so for
// 2^maxrank - 1 <= kStepsPerTopClique (maxrank <= 5) the walk never costs
// more than the maximal route is priced at, and both looks would take it.
// The same holds with maxrank replaced by the size of the largest clique.

// Measured with each engine forced (processor time, one process per graph)
// on a 3D geometric graph (n = 20,000, degree 16), preferential attachment
// (n = 50,000, m = 4), G(2000, 0.02), G(500, 0.3), G(100, 0.7), G(40, 0.75)
// and G(60, 0.7), maxrank 5 to 12 and 64.  Per pair of top cliques around a
// node the maximal route took 0.003 walk steps (G(500, 0.3)) to 0.07
// (G(40, 0.75)); at 1/32 step every dense graph stays on the walk, which was
// 8 to 1000 times faster there.  What is left is per top clique: 3 to 5 walk
// steps on the sparse random graphs, whose top cliques barely meet (there the
// walk has fewer than 2 cliques per top clique and wins anyway), and 48 on
// the geometric graph, search included, where the maximal route was about
// 10 % faster than the walk (54 cliques per top clique); 40 keeps it there.
constexpr double kStepsPerTopClique = 40;
constexpr double kStarPairsPerStep = 32;
// Ends (see clique_census.hpp) are at least the top cliques and, on the
// graphs above, at most 2.5 times as many: at most this many cliques per end
// leaves the walk well below the maximal route's cost.
constexpr std::uint64_t kWalkStepsPerEnd = 16;
// Below this many cliques the walk takes well under a millisecond and
// either route will do.
constexpr std::uint64_t kShortWalk = 1 << 12;
// The first census stops after this many cliques per node and edge: by then
// the cliques far outnumber the graph and the search is worth running to see
// what the maximal route would cost.
constexpr std::uint64_t kCensusCliquesPerNodeAndEdge = 256;

// The walk holds at least a weight, a last node and a child link for every
// clique it lists.
constexpr double kWalkBytesPerClique = 16;

// Every clique the call returns becomes a Python list: at least the list
// object with the collector's header (56 bytes on a 64-bit CPython) and its
// slot in the outer list, before its items and its weight.
constexpr double kResultBytesPerClique = 64;

// Where the first census (and the seed walk's count) stops.
std::uint64_t census_cap(const NeighbourLists& upper) {
  return kCensusCliquesPerNodeAndEdge * (upper.size() + upper.total_nodes()) + kShortWalk;
}

// C(s, maxrank): the top cliques a maximal clique of s > maxrank nodes is
// cut into (in floating point: it can pass any integer type).
double cuts(std::size_t s, std::uint64_t maxrank) {
  const double n = static_cast<double>(s), k = static_cast<double>(maxrank);
  return std::exp(std::lgamma(n + 1) - std::lgamma(k + 1) - std::lgamma(n - k + 1));
}

// The maximal route's cost in walk steps, from the maximal cliques.  A
// maximal clique of s > maxrank nodes is cut into C(s, maxrank) top cliques,
// C(s - 1, maxrank - 1) of them through each of its nodes; overlaps between
// the cuts of different cliques are counted twice, which errs towards the
// walk.
double maximal_route_cost(const CliqueList& maximal, std::size_t n, std::uint64_t maxrank) {
  InterruptPoll poll;
  std::vector<double> star(n, 0.0);
  const double k = static_cast<double>(maxrank);
  double tops = 0;
  for (std::size_t c = 0; c < maximal.size(); ++c) {
    const std::size_t len = maximal.length(c);
    double cut = 1, per_node = 1;
    if (len > maxrank) {
      cut = cuts(len, maxrank);
      per_node = cut * k / static_cast<double>(len);
    }
    tops += cut;
    for (Node v : maximal[c]) star[static_cast<std::size_t>(v)] += per_node;
    poll.tick(static_cast<std::uint32_t>(len | 1));
  }
  double pairs = 0;
  for (double t : star) pairs += t * t;
  return kStepsPerTopClique * tops + pairs / kStarPairsPerStep;
}

// At least this many cliques are returned: every top clique weighs 1,
// since no member of the family strictly contains it, and a maximal clique
// of s > maxrank nodes is cut into C(s, maxrank) distinct top cliques.
double fewest_returned(const CliqueList& maximal, std::uint64_t maxrank) {
  InterruptPoll poll;
  double most = maximal.empty() ? 0.0 : 1.0;
  for (std::size_t c = 0; c < maximal.size(); ++c) {
    const std::size_t len = maximal.length(c);
    if (len > maxrank) most = std::max(most, cuts(len, maxrank));
    poll.every<4096>(c);
  }
  return most;
}

// A top clique of s nodes has 2^s - 1 non-empty sub-cliques.  When that is
// at most kStepsPerTopClique, the walk, which lists each clique under some
// top clique, never costs more than the maximal route is priced at.
bool walk_within_top_clique_price(std::uint64_t s) {
  return s < 64 && static_cast<double>((std::uint64_t{1} << s) - 1) <= kStepsPerTopClique;
}

// What the automatic route decided, and the maximal cliques when the search
// ran for it and the maximal route was taken.
struct Choice {
  DecomposeRoute route;
  bool searched;
  CliqueList maximal;
  bool census = true;
};

// The census's side of the choice.  `past_cap`: the walk's own count has
// already passed the census's first cap, so that first look is skipped.
Choice choose_by_census(const NeighbourLists& upper, std::uint64_t maxrank, bool past_cap) {
  const std::uint64_t cap = census_cap(upper);
  CliqueCensusTaker taker(upper, maxrank, CensusSeeds::sampled);
  CliqueCensus census{cap, 0, false};
  if (!past_cap) {
    census = taker.count_to(cap);
    if (census.complete && census.cliques <= kWalkStepsPerEnd * census.ends + kShortWalk)
      return {DecomposeRoute::walk, false, {}};
  }
  phase_done("census");
  // The search reads the upper form as the graph it stands for.
  CliqueList maximal = enumerate_maximal_cliques(upper);
  phase_done("maximal cliques");
  const double cost = maximal_route_cost(maximal, upper.size(), maxrank);
  // A result that no memory can hold ends here, whichever engine would
  // run: counting on towards the memory limit first can take minutes on an
  // exponential cut (a complete graph of 40 nodes cut at 20).
  const double ceiling = static_cast<double>(memory_ceiling_bytes());
  if (fewest_returned(maximal, maxrank) * kResultBytesPerClique > ceiling) throw std::bad_alloc();
  // The census goes on from where it stopped, now until the walk would cost
  // more, or hold more than the memory there is (then the cut is
  // exponential and both engines will end in MemoryError; the maximal route
  // checks its steps).
  if (!census.complete && static_cast<double>(cap) < cost) {
    const double room = ceiling / kWalkBytesPerClique;
    const double limit = std::min({cost, room, 0x1p62});
    census = taker.count_to(static_cast<std::uint64_t>(limit) + 1);
  }
  if (census.complete && static_cast<double>(census.cliques) <= cost) return {DecomposeRoute::walk, true, {}};
  return {DecomposeRoute::maximal, true, std::move(maximal)};
}

// The choice for maxrank >= 3 on the upper form of a non-empty graph, from
// the seed walk's count (null when the seed walk cannot take the lists).
Choice choose_route(const NeighbourLists& upper, std::uint64_t maxrank, const SeedCount* count) {
  if (walk_within_top_clique_price(maxrank)) return {DecomposeRoute::walk, false, {}, false};
  if (count != nullptr && count->complete) {
    // Every seed has at least one end, so seed_ends is at most the ends a
    // census would find: the census's first look would settle on the walk.
    if (walk_within_top_clique_price(count->largest) ||
        count->cliques <= kWalkStepsPerEnd * count->seed_ends + kShortWalk)
      return {DecomposeRoute::walk, false, {}, false};
  }
  return choose_by_census(upper, maxrank, count != nullptr && !count->complete);
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

}  // namespace

RouteChoice chosen_route(const NeighbourLists& adj, std::uint64_t maxrank) {
  if (maxrank == 2) return {DecomposeRoute::edges, false};
  const NeighbourLists upper = simple_upper_form(adj);
  const Choice choice = count_and_choose(upper, maxrank, false).choice;
  return {choice.route, choice.searched, choice.census};
}

namespace {

// maxrank 0 and 1 on a graph of n nodes; nothing for the other maxranks.
std::optional<WeightedCliques> without_search(std::size_t n, std::uint64_t maxrank) {
  if (n == 0) return WeightedCliques{};
  if (maxrank == 0) {
    // Every maximal clique contributes its empty subset, and a graph with a
    // node has at least one maximal clique.
    WeightedCliques out;
    out.cliques.close_seq();
    out.weights.push_back(1);
    return out;
  }
  if (maxrank == 1) return single_nodes(n);
  return std::nullopt;
}

// maxrank >= 2 on the simple upper form of a non-empty graph, made from
// the lists `adj`.
Decomposition from_upper_form(NeighbourLists& upper, const NeighbourLists& adj, std::uint64_t maxrank,
                              DecomposeRoute route) {
  if (maxrank == 2 && (route == DecomposeRoute::automatic || route == DecomposeRoute::edges))
    return {edges_and_nodes(upper)};
  if (route == DecomposeRoute::automatic) {
    // No cut can bind and every closed neighbourhood fits a word: weigh
    // inside the neighbourhoods (neighbourhood_weights.cpp), unless its
    // work budget runs out first.
    if (auto local = decompose_in_neighbourhoods(upper, adj, maxrank)) return {std::move(*local)};
    if (!walk_within_top_clique_price(maxrank)) return automatic_route(upper, maxrank);
  }
  return walk_route(upper, maxrank);
}

}  // namespace

namespace {

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
