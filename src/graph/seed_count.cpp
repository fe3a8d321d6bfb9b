// The seed walk's first pass: how many cliques of each size every seed has,
// without keeping them, which places every clique of the breadth-first list
// (seed_tree.hpp) before one is made.
//
// Each seed's levels are grown one after the other (seed_levels.hpp, after
// Chiba and Nishizeki 1985), keeping only the candidates of the level being
// grown; the last level is counted without being made.  Cost: one popcount
// per clique below the top size and one AND per clique below it, in W words;
// memory: the two largest consecutive levels of one seed.  With a cap, a
// seed stops at the first level that takes the count past it, so a seed of
// billions of cliques is never listed when the caller only wants to know
// whether there are that many.
#include <algorithm>
#include <vector>

#include "bits.hpp"
#include "seed_levels.hpp"
#include "seed_tree.hpp"

namespace vexa::graph::seed {
namespace {

struct SeedTally {
  std::uint64_t cliques = 0;  // of 2 or more nodes
  std::size_t tops = 0;       // cliques of maxrank nodes
  bool stopped = false;       // a level passed `room`: the count ends here
};

template <bool kHw>
class LevelCount {
 public:
  LevelCount(const NeighbourLists& nbrs, const SeedMasks& masks, std::uint64_t maxrank, SeedTree& tree,
             InterruptPoll& poll)
      : nbrs_(nbrs), masks_(masks), maxrank_(maxrank), tree_(tree), poll_(poll) {}

  SeedCount run(std::uint64_t cap) {
    const std::size_t n = nbrs_.size();
    std::vector<std::size_t> totals{n};  // totals[k-1]: cliques of k nodes
    SeedCount out;
    out.cliques = n;
    std::vector<std::size_t>& blocks = tree_.block_start;
    // Most seeds of a sparse graph reach two levels past the single nodes.
    reserve_fresh(blocks, 2 * n);
    // Written seed by seed; a stopped count leaves the rest unread (the
    // walk counts afresh before using them).
    unwritten_array(tree_.seed_first, n + 1);
    const std::uint64_t most = cap == 0 ? ~std::uint64_t{0} : cap;
    for (std::size_t v = 0; v < n; ++v) {
      tree_.seed_first[v] = blocks.size();
      SeedTally tally;
      const std::uint64_t room = most - std::min(most, out.cliques);
      with_mask_words(nbrs_.length(v), [&]<unsigned W>() { tally = count_seed<W>(v, totals, room); });
      out.cliques += tally.cliques;
      out.seed_ends += std::max<std::size_t>(tally.tops, 1);
      if (tally.stopped || out.cliques > most) {
        out.complete = false;
        break;
      }
    }
    out.largest = n == 0 ? 0 : totals.size();
    if (!out.complete) return out;
    tree_.seed_first[n] = blocks.size();
    std::vector<std::size_t>& start = tree_.level_start;
    start.assign(totals.size() + 1, 0);
    for (std::size_t k = 0; k < totals.size(); ++k) start[k + 1] = start[k] + totals[k];
    if (start.back() >= kNoIndex) return out;
    // Turn each seed's counts into the places where its blocks begin.
    std::vector<std::size_t> running(start.begin() + 1, start.end() - 1);
    for (std::size_t v = 0; v < n; ++v) {
      for (std::size_t i = tree_.seed_first[v]; i < tree_.seed_first[v + 1]; ++i) {
        const std::size_t k = i - tree_.seed_first[v];  // level k + 2, running[k]
        const std::size_t c = blocks[i];
        blocks[i] = running[k];
        running[k] += c;
      }
    }
    return out;
  }

 private:
  // Counts seed v's cliques of 2 or more nodes, level by level, into
  // `totals` and the tree's block entries, stopping at the first level that
  // takes the seed's count past `room`.
  template <unsigned W>
  SeedTally count_seed(std::size_t v, std::vector<std::size_t>& totals, std::uint64_t room) {
    const Mask* adj = masks_.rows(v);
    // The cliques of k nodes (k >= 2) and their candidates: the edges [v, x]
    // are one per position, and their candidates are the seed's rows.
    const Mask* cur = adj;
    std::size_t cur_count = nbrs_.length(v);
    SeedTally tally;
    for (std::size_t k = 1; k != maxrank_; ++k) {
      const bool last_level = k + 1 == maxrank_;
      std::size_t count = cur_count;
      if (k > 1) {
        next_.clear();
        count = grow_level<W, kHw>(adj, cur, cur_count, last_level ? nullptr : &next_, nullptr, nullptr, poll_,
                                   static_cast<std::size_t>(room));
        cur_.swap(next_);
        cur = cur_.data();
        cur_count = count;
      }
      if (count == 0) break;
      if (totals.size() <= k) totals.push_back(0);
      totals[k] += count;
      tree_.block_start.push_back(count);
      tally.cliques += count;
      if (count > room) {
        tally.stopped = true;
        break;
      }
      room -= count;
      if (last_level) {
        tally.tops = count;
        break;
      }
    }
    return tally;
  }

  const NeighbourLists& nbrs_;
  const SeedMasks& masks_;
  const std::uint64_t maxrank_;
  SeedTree& tree_;
  InterruptPoll& poll_;
  RawArray<Mask> cur_, next_;  // the candidates of the level counted and of the next
};

}  // namespace

// Growing a level counts mask bits at every step: compiled a second time
// for the popcnt instruction, taken when the processor has it.
SeedCount count_levels(const NeighbourLists& nbrs, const SeedMasks& masks, std::uint64_t maxrank,
                       std::uint64_t cap, SeedTree& tree, InterruptPoll& poll) {
  return with_popcount([&]<bool kHw>() { return LevelCount<kHw>(nbrs, masks, maxrank, tree, poll).run(cap); });
}

}  // namespace vexa::graph::seed
