// Breadth-first cliques and their weights, worked out seed by seed.
//
// Every clique of the breadth-first list is its seed v followed by a
// sub-sequence of nbrs[v].  When the lists are strictly ascending and hold at
// most 1024 entries each, a clique is its seed plus a mask of positions in
// nbrs[v] (1 to 16 words), and its candidate list is a mask too: the mask of
// [v] holds every position, and appending the node at position j keeps the
// candidates after j that occur in nbrs[nbrs[v][j]], which is one AND with a
// precomputed mask.  The whole subtree of one seed then lives in a few small
// arrays.
//
// Weights.  On such lists both weight rules give the alternating count of
// the listed cliques that contain a clique; it is worked out on the tree
// of the walk, inside each seed's subtree first (seed_walk.cpp) and then
// across seeds (seed_tails.cpp).  The passes and their files are named in
// seed_tree.hpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "big_arrays.hpp"
#include "interrupt.hpp"
#include "seed_gate.hpp"
#include "types.hpp"

namespace vexa::graph {

namespace seed {
struct SeedTree;
}

// What the walk returns.
enum class SeedOutput {
  // Every clique, in breadth-first order (sizes ascending, each size
  // ascending lexicographically).
  all,
  // Only the cliques of non-zero weight, largest size first, each size
  // ascending lexicographically.  The nodes of the other cliques are never
  // written: the weights are worked out on the tree alone, and the kept
  // cliques are read off it at the end (KeptCliques below).
  nonzero_largest_first,
};

// What the caller knows of the lists' order.
enum class SeedLists {
  // Nothing: the walk checks that every list strictly ascends.
  unchecked,
  // Every list strictly ascends (an upper form, upper_form.hpp): not
  // checked again.
  ascending,
};

// Kept cliques of one size, next to each other: `count` cliques of `size`
// nodes each, clique i at nodes[i * size ..], its weight at weights[i].
struct CliqueBlock {
  std::size_t size = 0;
  std::size_t count = 0;  // 0: every kept clique has been handed out
  const Node* nodes = nullptr;
  const Weight* weights = nullptr;
};

// The cliques of non-zero weight of a finished seed walk, read off its tree
// (seed_read_off.cpp) a block at a time, in the order of
// SeedOutput::nonzero_largest_first: whoever makes the result's own objects
// takes each block while it is still in cache, and no array of every kept
// clique's nodes is ever made.  Owns the tree, which it releases with
// itself.
class KeptCliques {
 public:
  // Takes the tree of a walk whose weights are all worked out, those
  // weights held in `weights`, and counts what each size keeps.
  KeptCliques(seed::SeedTree&& tree, RawArray<Weight>&& weights);
  KeptCliques(KeptCliques&&) noexcept;
  KeptCliques& operator=(KeptCliques&&) noexcept;
  KeptCliques(const KeptCliques&) = delete;
  KeptCliques& operator=(const KeptCliques&) = delete;
  ~KeptCliques();

  // The kept cliques in all, their nodes in all, and those of k nodes.
  std::size_t size() const noexcept { return total_; }
  std::size_t total_nodes() const noexcept { return total_nodes_; }
  std::size_t kept(std::size_t k) const noexcept { return k < kept_.size() ? kept_[k] : 0; }

  // The most cliques of k nodes a block holds.
  static std::size_t block_capacity(std::size_t k) noexcept;

  // The next block: sizes largest first, each size in lexicographic order,
  // at most block_capacity(size) cliques, none of another size.  Its arrays
  // stay valid until the next call.  A count of 0 once all are handed out.
  CliqueBlock next_block();
  // Starts handing out from the first kept clique again.
  void rewind() noexcept;
  // Every kept clique with its weight, as arrays (from the first, whatever
  // was handed out before).
  WeightedCliques materialize();

 private:
  void start_size(std::size_t k) noexcept;
  void seek_parents(std::size_t c) noexcept;
  template <std::size_t K>
  void take_found(std::size_t k, std::size_t found, Node* nodes, Weight* weights) noexcept;

  std::unique_ptr<seed::SeedTree> tree_;
  RawArray<Weight> weights_;         // the tree's weights, every clique's
  std::vector<std::size_t> kept_;    // per size, its kept cliques
  std::size_t total_ = 0, total_nodes_ = 0;
  // Where the read-off stands: the size being read (0: done), the next place
  // of its level to look at, and, per size j below it, the place of the
  // clique of j nodes that the last clique found extends (parent_[j]) with
  // path_ holding that clique's nodes; parents_known_ tells whether they
  // have been set for this size yet.
  std::size_t k_ = 0;
  std::size_t at_ = 0;
  bool parents_known_ = false;
  std::vector<std::size_t> parent_;
  std::vector<Node> path_;
  RawArray<Node> block_nodes_;
  RawArray<Weight> block_weights_;
  RawArray<Index> found_;  // the places of the kept cliques in a stretch of a level
  InterruptPoll poll_;
};

// The breadth-first cliques of at most `maxrank` nodes with their weights,
// or nothing when some list is not strictly ascending or holds more than
// 1024 entries.  The lists must already have been checked for entries >= n.
std::optional<WeightedCliques> enumerate_seed_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank,
                                                      SeedOutput output = SeedOutput::all,
                                                      SeedLists lists = SeedLists::unchecked);

// The same walk, with a say for the caller once the cliques are counted:
// the count stops once it passes `count_cap` cliques (0: it never stops
// early), and `gate` decides on
// its figures whether the walk goes on (counting afresh, without the cap,
// if the count was stopped).  Returns nothing when the gate says no, and
// also, like the plain form, when the lists do not suit the walk (then the
// gate is never asked, or asked and said yes).  maxrank 1 needs no count
// and asks nothing.
std::optional<WeightedCliques> enumerate_seed_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank,
                                                      SeedOutput output, std::uint64_t count_cap,
                                                      const SeedGate& gate,
                                                      SeedLists lists = SeedLists::unchecked);

// The two forms above with SeedOutput::nonzero_largest_first, the kept
// cliques left on the tree for the caller to read off block by block.
std::optional<KeptCliques> walk_kept_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank,
                                             SeedLists lists = SeedLists::unchecked);
std::optional<KeptCliques> walk_kept_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank,
                                             std::uint64_t count_cap, const SeedGate& gate,
                                             SeedLists lists = SeedLists::unchecked);

}  // namespace vexa::graph
