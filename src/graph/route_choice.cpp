// The choice between the two engines of the weighted decomposition, for a
// maxrank of at least 3: the seed walk (seed_cliques.cpp) or the maximal
// route (maximal_cliques.cpp, then weights_from_maximal.cpp).
//
// The rule, in two sentences: the walk costs one step per clique of at most
// maxrank nodes, zero weights included; the maximal route about
// kStepsPerTopClique walk steps per top clique plus one step per
// kStarPairsPerStep pairs of top cliques that share a node (the
// intersections its weighing works through).  The walk runs unless its count
// shows it costing more.
//
// How the counts are had, cheapest first:
// - maxrank <= 5 needs no count: every clique lies in a top clique, which has
//   at most 2^maxrank - 1 non-empty sub-cliques, so for 2^maxrank - 1 <=
//   kStepsPerTopClique the walk never costs more than the maximal route is
//   priced at, and both looks below would take it.  The same holds with
//   maxrank replaced by the size of the largest clique.
// - The seed walk's own first pass is an exact count, taken anyway, of the
//   cliques, of the largest clique and of a lower bound on the ends (each
//   seed has one).  It settles on the walk without a census when the largest
//   clique has at most 5 nodes or when the cliques are at most
//   kWalkStepsPerEnd per that bound, as the census would; a count that passes
//   the census's first cap goes straight to the search.
// - Otherwise a census (clique_census.cpp) counts the walk's side: one that
//   finds at most kWalkStepsPerEnd cliques per end settles on the walk at
//   once, otherwise the maximal search runs, prices the maximal route, and
//   the walk still takes over when its census, continued up to that price,
//   ends below it.  Where the search has run, a result that no memory can
//   hold (its top cliques alone, at the least a Python list each) ends in
//   MemoryError before the census counts on.
//
// The census is sampled (clique_census.hpp): seeds with the same number of
// later neighbours are counted one in kSampleStride where at least
// kSampledGroup of them share it, the rest in full.  On the graphs below its
// estimates were within 1.5 % of the full count (cliques per end within 2 %)
// for maxrank 6 and 64, for 19 % of the full count's instructions on the
// geometric graph, 43 % on preferential attachment and 38 % on G(2000, 0.02)
// (maxrank 64); dense graphs, whose groups are small, are counted in full.
//
// Cost of the choice: nothing beyond the walk's count, which the walk takes
// anyway, unless a census runs (clique_census.hpp: one mask step per clique
// counted, up to census_cap(), then up to the maximal route's price) and the
// maximal search with it (Bron-Kerbosch with pivoting, maximal_cliques.cpp),
// whose cliques the maximal route then weighs without searching again.
#include "route_choice.hpp"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "clique_census.hpp"
#include "interrupt.hpp"
#include "maximal_cliques.hpp"
#include "memory_room.hpp"
#include "phase_clock.hpp"

namespace vexa::graph::detail {

namespace {

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

}  // namespace

std::uint64_t census_cap(const NeighbourLists& upper) {
  return kCensusCliquesPerNodeAndEdge * (upper.size() + upper.total_nodes()) + kShortWalk;
}

// A top clique of s nodes has 2^s - 1 non-empty sub-cliques.  When that is
// at most kStepsPerTopClique, the walk, which lists each clique under some
// top clique, never costs more than the maximal route is priced at.
bool walk_within_top_clique_price(std::uint64_t s) {
  return s < 64 && static_cast<double>((std::uint64_t{1} << s) - 1) <= kStepsPerTopClique;
}

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

}  // namespace vexa::graph::detail
