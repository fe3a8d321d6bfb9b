// Every long routine stops cleanly at whichever poll the interrupt comes:
// it throws Interrupted right there, asks nothing more, and the next run
// gives the whole result again.  Deterministic: the interrupt is fired by
// counting polls, not by a timer.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <utility>

#include "graph/bounded_cliques.hpp"
#include "graph/clique_weights.hpp"
#include "graph/clique_weights_noprune.hpp"
#include "graph/edgeonly.hpp"
#include "graph/interrupt.hpp"
#include "graph/maximal_cliques.hpp"
#include "graph/decompose.hpp"
#include "graph/seed_cliques.hpp"
#include "graph/tree_weights.hpp"
#include "graph/weighted_cliques.hpp"
#include "graph/weights_from_maximal.hpp"
#include "reference_cliques.hpp"

using namespace vexa::graph;
using namespace vexa::testing;

namespace {

using Outcome = std::pair<Seqs, std::vector<Weight>>;

Outcome outcome(const WeightedCliques& r) { return {r.cliques.to_vectors(), r.weights}; }

struct Routine {
  const char* name;
  std::function<Outcome()> run;
};

void expect_clean_stops(const Routine& r) {
  const Outcome whole = r.run();
  std::uint64_t polls = 0;
  {
    const InterruptAfter never(0);
    EXPECT_EQ(r.run(), whole) << r.name;
    polls = never.asked();
  }
  ASSERT_GT(polls, 2u) << r.name;
  for (const std::uint64_t at : {std::uint64_t{1}, std::uint64_t{2}, polls / 3, polls / 2, polls - 1, polls}) {
    const InterruptAfter stop(at);
    EXPECT_THROW(r.run(), Interrupted) << r.name << ", poll " << at << " of " << polls;
    EXPECT_EQ(stop.asked(), at) << r.name << ": polled on after the interrupt";
  }
  EXPECT_EQ(r.run(), whole) << r.name;
}

Seqs upper_graph(std::size_t n, double p, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  return random_lists(rng, n, p, ListForm::upper);
}

Seqs full_graph(std::size_t n, double p, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  return random_lists(rng, n, p, ListForm::full);
}

}  // namespace

TEST(Interrupt, EveryLongRoutineStopsCleanly) {
  const NeighbourLists upper = to_seqlist(upper_graph(60, 0.3, 1));
  const NeighbourLists full = to_seqlist(full_graph(60, 0.3, 2));
  const NeighbourLists unsorted = [] {
    Seqs l = full_graph(40, 0.3, 3);
    for (Seq& s : l) std::reverse(s.begin(), s.end());
    return to_seqlist(l);
  }();
  const CliqueList bounded = enumerate_cliques(upper, 0);
  // Dense enough for the decomposition to run its census, the search, and
  // the census again before it walks.
  const NeighbourLists dense = to_seqlist(full_graph(38, 0.75, 4));
  ASSERT_TRUE(detail::chosen_route(dense, 64).searched);
  // Sparse enough for a census that samples its seeds.
  const NeighbourLists sparse = to_seqlist(full_graph(600, 0.01, 5));
  const CliqueList maximal = enumerate_maximal_cliques(full);
  const auto tree_weights = [&] {
    const CliqueTree tree = enumerate_clique_tree(upper, 0);
    return Outcome{{}, *calc_tree_weights(tree)};
  };
  const std::vector<Routine> routines{
      {"check_neighbour_lists", [&] { return Outcome{{}, {check_neighbour_lists(full)}}; }},
      {"enumerate_cliques", [&] { return Outcome{enumerate_cliques(unsorted, 0).to_vectors(), {}}; }},
      {"enumerate_seed_cliques", [&] { return outcome(*enumerate_seed_cliques(upper, 0)); }},
      {"enumerate_seed_cliques, non-zero largest first",
       [&] { return outcome(*enumerate_seed_cliques(upper, 0, SeedOutput::nonzero_largest_first)); }},
      {"decompose_with_weights, priced after the search", [&] { return outcome(decompose_with_weights(dense, 64)); }},
      {"decompose_with_weights, sampled census", [&] { return outcome(decompose_with_weights(sparse, 64)); }},
      {"decompose_with_weights, edges and nodes", [&] { return outcome(decompose_with_weights(full, 2)); }},
      {"decompose_with_weights, unsorted lists", [&] { return outcome(decompose_with_weights(unsorted, 3)); }},
      {"calc_tree_weights", tree_weights},
      {"calc_clique_weights", [&] { return Outcome{{}, calc_clique_weights(bounded)}; }},
      {"calc_clique_weights_noprune", [&] { return Outcome{{}, calc_clique_weights_noprune(bounded)}; }},
      {"enumerate_weighted_cliques", [&] { return outcome(enumerate_weighted_cliques(full, 4, WeightRule::pruned)); }},
      {"enumerate_maximal_cliques", [&] { return Outcome{enumerate_maximal_cliques(unsorted).to_vectors(), {}}; }},
      {"weights from maximal cliques, expansion",
       [&] { return outcome(detail::weights_from_maximal(maximal, 64, detail::WeightMethod::expand)); }},
      {"weights from maximal cliques, star",
       [&] { return outcome(detail::weights_from_maximal(maximal, 64, detail::WeightMethod::star)); }},
      {"weights from maximal cliques, cut at 3", [&] { return outcome(calc_clique_weights_from_maximal(maximal, 3)); }},
      {"count_edge_cliques", [&] { return Outcome{{}, {static_cast<Weight>(count_edge_cliques(full))}}; }},
  };
  for (const Routine& r : routines) expect_clean_stops(r);
}

TEST(Interrupt, EveryTicksOncePerBlock) {
  const InterruptAfter never(0);
  InterruptPoll poll;
  for (std::size_t i = 0; i < 1000; ++i) poll.every<64>(i);
  EXPECT_EQ(never.asked(), 1000u / 64);
}
