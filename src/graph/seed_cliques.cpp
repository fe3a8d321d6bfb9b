// The seed walk's driver: checks that the lists suit the walk, then runs
// its passes in order (seed_tree.hpp names them and their files) and hands
// back every clique, or its tree for the non-zero ones to be read off
// (KeptCliques, seed_read_off.cpp), or those as arrays.  The method and its
// bounds are told where each pass is; in all, the walk costs O(W) words of
// work and a few entries of memory per clique of at most maxrank nodes, W
// the mask words of its seed's list, besides building the seeds' rows.
#include "seed_cliques.hpp"

#include <vector>

#include "big_arrays.hpp"
#include "interrupt.hpp"
#include "phase_clock.hpp"
#include "seed_masks.hpp"
#include "seed_tree.hpp"
#include "sorted.hpp"

namespace vexa::graph {
namespace {

using seed::SeedMasks;
using seed::SeedTree;

class SeedWalk {
 public:
  SeedWalk(const NeighbourLists& nbrs, std::uint64_t maxrank, SeedOutput output, SeedLists lists,
           std::uint64_t count_cap = 0, const SeedGate* gate = nullptr)
      : nbrs_(nbrs),
        maxrank_(maxrank),
        all_(output == SeedOutput::all),
        check_order_(lists == SeedLists::unchecked),
        count_cap_(count_cap),
        gate_(gate) {}

  // Runs the walk; false when the lists do not suit it or the gate says
  // no.  Then take_all() or take_kept() hands over the result, as `output`
  // asked.
  bool run() {
    const std::size_t n = nbrs_.size();
    if (maxrank_ == 1) {
      if (!all_ && n >= kNoIndex) return false;
      single_nodes(n);
      return true;
    }
    for (std::size_t v = 0; v < n; ++v) {
      const auto l = nbrs_[v];
      if (l.size() > seed::kMaxDegree || (check_order_ && !strictly_ascending(l))) return false;
    }
    if (n >= kNoIndex) return false;
    masks_.build(nbrs_, poll_);
    phase_done("seed masks");
    if (gate_ != nullptr) {
      const SeedCount count = count_levels(count_cap_);
      if (!(*gate_)(count)) return false;
      if (!count.complete) count_levels(0);
    } else {
      count_levels(0);
    }
    if (tree_.level_start.back() >= kNoIndex) return false;
    allocate();
    phase_done("seed levels");
    seed::walk_seeds(nbrs_, masks_, maxrank_, tree_, all_ ? &out_.cliques : nullptr, poll_);
    masks_.release();
    phase_done("seed walk");
    if (!seed::subtract_tails(tree_, n, poll_)) return false;
    phase_done("seed tails");
    return true;
  }

  WeightedCliques take_all() { return std::move(out_); }

  KeptCliques take_kept() {
    // The read-off needs the levels, last nodes, child links and weights
    // alone.
    tree_.seed_first = {};
    tree_.block_start = {};
    KeptCliques kept(std::move(tree_), std::move(tree_weights_));
    phase_done("seed output");
    return kept;
  }

 private:
  // maxrank 1: no list entry is read; the single nodes, each of weight 1,
  // as a list or as a tree of one level.
  void single_nodes(std::size_t n) {
    if (all_) {
      for (std::size_t v = 0; v < n; ++v) out_.cliques.push_back({static_cast<Node>(v)});
      out_.weights.assign(n, 1);
      return;
    }
    tree_.level_start = {0, n};
    unwritten_array(tree_.last, n);
    for (std::size_t v = 0; v < n; ++v) tree_.last[v] = static_cast<Index>(v);
    tree_.first_child.assign(n + 1, static_cast<Index>(n));
    tree_weights_.assign(n, 1);
    tree_.w = tree_weights_.data();
  }

  SeedCount count_levels(std::uint64_t cap) {
    return seed::count_levels(nbrs_, masks_, maxrank_, cap, tree_, poll_);
  }

  // Room for every clique in the tree and, for the whole list, in the
  // result, placed by the count.
  void allocate() {
    const std::vector<std::size_t>& start = tree_.level_start;
    const std::size_t m = start.back();
    // Every clique's weight, last node and child link are stored by the
    // walk before anything reads them.  The weights of a full list are the
    // result's own array; those that are only read off stay here.
    unwritten_array(tree_.last, m);
    unwritten_array(tree_.first_child, m + 1);
    if (!all_) {
      unwritten_array(tree_weights_, m);
      tree_.w = tree_weights_.data();
      return;
    }
    fresh_array(out_.weights, m, poll_);
    tree_.w = out_.weights.data();
    std::size_t total = 0;
    for (std::size_t k = 1; k < start.size(); ++k) total += k * (start[k] - start[k - 1]);
    std::vector<Node> nodes;
    fresh_array(nodes, total, poll_);
    std::vector<std::size_t> offsets;
    reserve_fresh(offsets, m + 1);
    std::size_t at = 0;
    for (std::size_t k = 1; k < start.size(); ++k) {
      const std::size_t count = start[k] - start[k - 1];
      seed::append_strided(offsets, at, k, count, poll_);
      at += k * count;
    }
    offsets.push_back(at);
    out_.cliques.nodes() = std::move(nodes);
    out_.cliques.offsets() = std::move(offsets);
  }

  const NeighbourLists& nbrs_;
  const std::uint64_t maxrank_;
  const bool all_;                 // every clique, or only those of non-zero weight
  const bool check_order_;         // whether the lists may fail to ascend
  const std::uint64_t count_cap_;  // with a gate: where its count stops
  const SeedGate* gate_;           // asked after the count, if given
  InterruptPoll poll_;
  SeedMasks masks_;
  SeedTree tree_;
  RawArray<Weight> tree_weights_;  // the weights, when only the non-zero ones are returned
  WeightedCliques out_;
};

std::optional<WeightedCliques> walked(SeedWalk&& walk, SeedOutput output) {
  if (!walk.run()) return std::nullopt;
  if (output == SeedOutput::all) return walk.take_all();
  return walk.take_kept().materialize();
}

std::optional<KeptCliques> walked_kept(SeedWalk&& walk) {
  if (!walk.run()) return std::nullopt;
  return walk.take_kept();
}

}  // namespace

std::optional<WeightedCliques> enumerate_seed_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank,
                                                      SeedOutput output, SeedLists lists) {
  return walked(SeedWalk(nbrs, maxrank, output, lists), output);
}

std::optional<WeightedCliques> enumerate_seed_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank,
                                                      SeedOutput output, std::uint64_t count_cap,
                                                      const SeedGate& gate, SeedLists lists) {
  return walked(SeedWalk(nbrs, maxrank, output, lists, count_cap, &gate), output);
}

std::optional<KeptCliques> walk_kept_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank, SeedLists lists) {
  return walked_kept(SeedWalk(nbrs, maxrank, SeedOutput::nonzero_largest_first, lists));
}

std::optional<KeptCliques> walk_kept_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank,
                                             std::uint64_t count_cap, const SeedGate& gate, SeedLists lists) {
  return walked_kept(SeedWalk(nbrs, maxrank, SeedOutput::nonzero_largest_first, lists, count_cap, &gate));
}

}  // namespace vexa::graph
