#include "weighted_cliques.hpp"

#include "bounded_cliques.hpp"
#include "clique_weights.hpp"
#include "clique_weights_noprune.hpp"
#include "phase_clock.hpp"
#include "seed_cliques.hpp"
#include "tree_weights.hpp"

namespace vexa::graph {
namespace {

WeightList weigh_literally(const CliqueList& cliques, WeightRule rule) {
  return rule == WeightRule::pruned ? calc_clique_weights(cliques) : calc_clique_weights_noprune(cliques);
}

}  // namespace

WeightedCliques enumerate_weighted_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank,
                                           WeightRule rule, CliqueRoute route) {
  WeightedCliques out;
  if (route == CliqueRoute::literal) {
    out.cliques = enumerate_cliques(nbrs, maxrank);
    phase_done("enumerate");
    out.weights = weigh_literally(out.cliques, rule);
    phase_done("weights");
    return out;
  }
  if (route != CliqueRoute::tree) {
    // The walk would fail on an out-of-range entry before anything else.
    if (maxrank != 1) check_neighbour_lists(nbrs);
    if (auto seeds = enumerate_seed_cliques(nbrs, maxrank)) return std::move(*seeds);
  }
  CliqueTree tree = enumerate_clique_tree(nbrs, maxrank);
  phase_done("enumerate");
  std::optional<WeightList> weights = calc_tree_weights(tree);
  tree.drop_tree();
  out.weights = weights ? std::move(*weights) : weigh_literally(tree.cliques, rule);
  out.cliques = std::move(tree.cliques);
  phase_done("weights");
  return out;
}

}  // namespace vexa::graph
