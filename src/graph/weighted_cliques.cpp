// Which route computes enumerate_cliques with its weights, and why.
//
// All routes give the same cliques, in the same order, with the same weights
// and the same failures; they differ in what they need of the lists and in
// what they cost.  The fastest one that the lists allow runs:
//
// 1. seeds (seed_cliques.cpp): every list strictly ascending and at most
//    1024 entries long (16 mask words), fewer than 2^32 nodes and cliques.
//    A clique is its seed plus a position mask, each seed's subtree lives in
//    a few small arrays, and the weights come out of the same pass with no
//    lookup at all: one mask AND per clique and O(k) per clique for the
//    weights.  This covers nearly every graph given in upper form.
// 2. tree (bounded_cliques.cpp + tree_weights.cpp): any lists.  The walk
//    keeps its tree (parent links and last nodes, 32-bit indices); when every
//    list is strictly ascending the weights are found through that tree
//    (facets located by binary search among siblings, never hashed), which
//    is what upper-form input with a hub of more than 1024 neighbours takes.
// 3. literal (clique_weights*.cpp): lists that are not strictly ascending
//    (repeats, unsorted, self-loops) or a tree beyond 32-bit indices.  The
//    weight routines run on the list alone, one hash lookup per sub-clique;
//    only this route can meet the repeated sequences and missing sub-cliques
//    that such lists produce, and it fails exactly as the rules say.
//
// Each route checks its own conditions and hands on to the next, so the
// dispatch below only orders them; `route` forces one for tests and
// benchmarks.
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
