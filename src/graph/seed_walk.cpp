// The seed walk proper: each seed's subtree grown level by level into the
// tree (seed_tree.hpp), and the part of every weight that the subtree
// decides.
//
// Weights.  On strictly ascending lists no sequence is listed twice, every
// sub-sequence of a listed clique is listed before it, and both weight rules
// give the alternating count w(S) = sum over listed C containing S of
// (-1)^(|C|-|S|), the Moebius function of the clique poset summed over its
// upper set (Rota 1964), once per choice of positions.  It is split by how
// much of S's front a containing clique keeps: b_l(S) sums over the
// containing cliques whose embedding of S fixes S's first l positions (so
// b_0 = w, and b_{|S|} sums over the cliques that start with S).  Leaving
// out position l of a clique D of one more node gives
//
//     b_l(S) = b_{l+1}(S) - sum over D with D minus position l = S of b_{l+1}(D),
//
// with b_{|S|+1}(S) = 1.  For l >= 1 the clique D has S's seed, so b_1 of
// every clique comes out of its seed's subtree alone, and is what this pass
// stores as the weight; only the step to b_0 crosses seeds
// (seed_tails.cpp).
//
// Per seed, the levels are grown with the shared kernel (seed_levels.hpp,
// after Chiba and Nishizeki 1985), every clique of k >= 3 nodes is given
// its k - 1 facets inside the subtree (the clique without position l, found
// through its parent's facets and one rank of W words), and the b are
// summed top down.  Cost per clique of k nodes: O(k W) words for its
// candidates, facets and b; memory: one seed's subtree at a time.
#include <algorithm>
#include <vector>

#include "bits.hpp"
#include "seed_levels.hpp"
#include "seed_tree.hpp"

namespace vexa::graph::seed {
namespace {

// One level of one seed's subtree: the cliques of k nodes with seed v, in
// breadth-first order.  The seed itself (k = 1) and the edges [v, x] (k = 2,
// one per position, all children of the seed) keep no parents or positions:
// they are the seed and the positions in order.
// Every array is written in full before it is read (b is cleared by the
// walk, level by level, as it counts the children), so none is cleared when
// it grows.
struct LocalLevel {
  RawArray<Mask> cand;              // W words per clique: its candidate positions
  const Mask* view = nullptr;       // the candidates read: `cand`, or the seed's rows for the edges
  std::size_t count = 0;            // its cliques
  RawArray<Index> parent;           // its parent's place in the level below (k >= 3)
  RawArray<std::uint16_t> pos;      // position in nbrs[v] of its last node (k >= 3)
  RawArray<Index> first_child;      // its first child's place in the level above
  RawArray<Index> facets;           // k-1 per clique: the clique without position l, l = 1 .. k-1
  RawArray<std::uint64_t> b;        // k per clique: b_1 .. b_k (the top level has none)
  std::size_t size() const noexcept { return count; }
  void clear() noexcept {
    count = 0;
    cand.clear();
    parent.clear();
    pos.clear();
  }
};

template <bool kHw>
class Walk {
 public:
  Walk(const NeighbourLists& nbrs, const SeedMasks& masks, std::uint64_t maxrank, SeedTree& tree,
       CliqueList* all, InterruptPoll& poll)
      : nbrs_(nbrs), masks_(masks), maxrank_(maxrank), tree_(tree), all_(all), poll_(poll) {}

  void run() {
    for (std::size_t v = 0; v < nbrs_.size(); ++v) {
      with_mask_words(nbrs_.length(v), [&]<unsigned W>() {
        walk_seed<W>(v);
        weigh_seed<W>(v);
      });
    }
    link_children();
  }

 private:
  template <class F>
  void for_chunks(std::size_t n, F&& f) {
    seed::for_chunks(poll_, n, f);
  }

  // Grows seed v's subtree level by level and writes its cliques out.
  template <unsigned W>
  void walk_seed(std::size_t v) {
    const auto l = nbrs_[v];
    const Mask* adj = masks_.rows(v);
    if (levels_.size() < 2) levels_.resize(2);
    levels_[1].clear();
    levels_[1].cand.resize(W);
    Bits<W, kHw>::first(levels_[1].cand.data(), l.size());
    levels_[1].view = levels_[1].cand.data();
    levels_[1].count = 1;
    top_ = 1;
    for (std::size_t k = 1; k != maxrank_; ++k) {
      if (levels_.size() <= k + 1) levels_.resize(k + 2);
      LocalLevel& next = levels_[k + 1];
      next.clear();
      if (k == 1) {
        // The edges [v, x], one per position: their candidates are the
        // seed's own rows, read in place.
        if (l.empty()) break;
        next.count = l.size();
        next.view = adj;
      } else {
        next.count =
            grow_level<W, kHw>(adj, levels_[k].view, levels_[k].size(), &next.cand, &next.parent, &next.pos, poll_);
        if (next.count == 0) break;
        next.view = next.cand.data();
      }
      top_ = k + 1;
    }

    SeedTree& t = tree_;
    t.last[v] = static_cast<Index>(v);
    if (all_ != nullptr) all_->nodes()[all_->offsets()[v]] = v;
    for (std::size_t k = 1; k <= top_; ++k) {
      LocalLevel& lv = levels_[k];
      const std::size_t size = lv.size();
      const std::size_t g0 = t.global(v, k, 0);
      if (k == 2) {
        // The edges [v, l[i]], in position order.
        Index* const last = t.last.data() + g0;
        Node* dst = all_ != nullptr ? all_->nodes().data() + all_->offsets()[g0] : nullptr;
        for_chunks(size, [&](std::size_t lo, std::size_t hi) {
          if (dst != nullptr) {
            for (std::size_t i = lo; i < hi; ++i) {
              dst[2 * i] = v;
              dst[2 * i + 1] = l[i];
            }
          }
          for (std::size_t i = lo; i < hi; ++i) last[i] = static_cast<Index>(l[i]);
        });
      } else if (k > 1 && all_ != nullptr) {
        // This level's block and its parents' block are contiguous.
        Node* const nodes = all_->nodes().data();
        const std::size_t* const offsets = all_->offsets().data();
        Node* dst = nodes + offsets[g0];
        const Node* parents = nodes + offsets[t.global(v, k - 1, 0)];
        for_chunks(size, [&](std::size_t lo, std::size_t hi) {
          for (std::size_t i = lo; i < hi; ++i, dst += k) {
            const Node x = l[lv.pos[i]];
            std::copy_n(parents + std::size_t{lv.parent[i]} * (k - 1), k - 1, dst);
            dst[k - 1] = x;
            t.last[g0 + i] = static_cast<Index>(x);
          }
        });
      } else if (k > 1) {
        Index* const last = t.last.data() + g0;
        const std::uint16_t* const pos = lv.pos.data();
        for_chunks(size, [&](std::size_t lo, std::size_t hi) {
          for (std::size_t i = lo; i < hi; ++i) last[i] = static_cast<Index>(l[pos[i]]);
        });
      }
      Index* const counts = t.first_child.data() + g0;
      if (k == top_) {
        // No children: the counts are 0, and no b is needed (weigh_seed()).
        std::fill_n(counts, size, Index{0});
        continue;
      }
      // Child counts for now; link_children() sums them up.  The same pass
      // clears the level's b, which its children add to.
      lv.first_child.resize(size);
      lv.b.resize(size * k);
      Index* const first = lv.first_child.data();
      std::uint64_t* const b = lv.b.data();
      const Mask* const cand = lv.view;
      Index children = 0;
      // K is k when the clearing of b unrolls into stores, else 0.
      const auto count_children = [&]<std::size_t K>() {
        const std::size_t kk = K != 0 ? K : k;
        for_chunks(size, [&](std::size_t lo, std::size_t hi) {
          for (std::size_t i = lo; i < hi; ++i) {
            const auto kids = static_cast<Index>(Bits<W, kHw>::count(cand + i * W));
            counts[i] = kids;
            first[i] = children;
            children += kids;
            for (std::size_t s = 0; s < kk; ++s) b[i * kk + s] = 0;
          }
        });
      };
      switch (k) {
        case 1: count_children.template operator()<1>(); break;
        case 2: count_children.template operator()<2>(); break;
        case 3: count_children.template operator()<3>(); break;
        case 4: count_children.template operator()<4>(); break;
        default: count_children.template operator()<0>(); break;
      }
    }
  }

  // b_1 of every clique of seed v's subtree, into the weights.
  template <unsigned W>
  void weigh_seed(std::size_t v) {
    // Facets inside the subtree: leaving out position l (1 <= l <= k-1) of
    // a clique D = P + x keeps the seed.  For l = k-1 it is the parent P;
    // otherwise it is the child, by x, of P without position l.  The edges
    // [v, x] have one facet, [v] itself, and are given none; a triangle
    // [v, y, x] is an edge's child, by x, so its facets are the edges at
    // the positions of x and y.
    for (std::size_t k = 3; k <= top_; ++k) {
      LocalLevel& lv = levels_[k];
      const std::size_t f = k - 1;
      lv.facets.resize(lv.size() * f);
      const LocalLevel& up = levels_[k - 1];
      for_chunks(lv.size(), [&](std::size_t lo, std::size_t hi) {
        for (std::size_t i = lo; i < hi; ++i) {
          const Index p = lv.parent[i];
          const unsigned j = lv.pos[i];
          Index* dst = lv.facets.data() + i * f;
          if (k == 3) {
            dst[0] = static_cast<Index>(j);
          } else {
            const LocalLevel& low = levels_[k - 2];
            const Index* pf = up.facets.data() + std::size_t{p} * (k - 2);
            for (std::size_t l = 0; l + 1 < f; ++l) {
              const Index q = pf[l];
              dst[l] = low.first_child[q] +
                       static_cast<Index>(Bits<W, kHw>::rank(low.view + std::size_t{q} * W, j));
            }
          }
          dst[f - 1] = p;
        }
      });
    }
    Weight* const w = tree_.w;
    // The top level has no children: each of its b_l is 1, and so is its
    // weight; it adds 1 to the b of each of its facets.
    {
      LocalLevel& lv = levels_[top_];
      Weight* const wk = w + tree_.global(v, top_, 0);
      std::fill_n(wk, lv.size(), Weight{1});
      if (top_ == 1) return;
      LocalLevel& low = levels_[top_ - 1];
      const std::size_t f = top_ - 1;
      std::uint64_t* const lb = low.b.data();
      if (top_ == 2) {
        lb[0] += lv.size();  // every edge's facet is [v]
      } else {
        const Index* const facets = lv.facets.data();
        for_chunks(lv.size(), [&](std::size_t lo, std::size_t hi) {
          for (std::size_t i = lo; i < hi; ++i) {
            const Index* fi = facets + i * f;
            for (std::size_t l = 0; l < f; ++l) lb[std::size_t{fi[l]} * f + l] += 1;
          }
        });
      }
    }
    for (std::size_t k = top_ - 1; k >= 1; --k) {
      LocalLevel& lv = levels_[k];
      std::uint64_t* const bk = lv.b.data();
      Weight* const wk = w + tree_.global(v, k, 0);
      for_chunks(lv.size(), [&](std::size_t lo, std::size_t hi) {
        for (std::size_t i = lo; i < hi; ++i) {
          std::uint64_t* b = bk + i * k;
          std::uint64_t run = 1;
          for (std::size_t l = k; l-- > 0;) {
            run -= b[l];
            b[l] = run;
          }
          wk[i] = static_cast<Weight>(b[0]);
        }
      });
      if (k == 1) break;
      LocalLevel& low = levels_[k - 1];
      const std::size_t f = k - 1;
      std::uint64_t* const lb = low.b.data();
      if (k == 2) {
        // Every edge's facet is [v]: its b_1 gathers their b_2.
        std::uint64_t sum = 0;
        for_chunks(lv.size(), [&](std::size_t lo, std::size_t hi) {
          for (std::size_t i = lo; i < hi; ++i) sum += bk[2 * i + 1];
        });
        lb[0] += sum;
        continue;
      }
      const Index* const facets = lv.facets.data();
      for_chunks(lv.size(), [&](std::size_t lo, std::size_t hi) {
        for (std::size_t i = lo; i < hi; ++i) {
          const std::uint64_t* b = bk + i * k;
          const Index* fi = facets + i * f;
          for (std::size_t l = 0; l < f; ++l) lb[std::size_t{fi[l]} * f + l] += b[l + 1];
        }
      });
    }
  }

  // Child counts to first-child places: the children of a level's cliques,
  // in order, make up the next level.
  void link_children() {
    const std::vector<std::size_t>& start = tree_.level_start;
    Index* const fc = tree_.first_child.data();
    const std::size_t levels = start.size() - 1;
    for (std::size_t k = 1; k <= levels; ++k) {
      std::size_t at = start[k];
      for (std::size_t g = start[k - 1]; g < start[k]; ++g) {
        const std::size_t kids = fc[g];
        fc[g] = static_cast<Index>(at);
        at += kids;
      }
    }
    fc[start.back()] = static_cast<Index>(start.back());
  }

  const NeighbourLists& nbrs_;
  const SeedMasks& masks_;
  const std::uint64_t maxrank_;
  SeedTree& tree_;
  CliqueList* const all_;  // every clique's nodes, when the whole list is returned
  InterruptPoll& poll_;
  std::vector<LocalLevel> levels_;  // the subtree of the seed walked, by size
  std::size_t top_ = 0;             // its largest size
};

}  // namespace

// The walk counts mask bits at every step: compiled a second time for the
// popcnt instruction, taken when the processor has it.
void walk_seeds(const NeighbourLists& nbrs, const SeedMasks& masks, std::uint64_t maxrank, SeedTree& tree,
                CliqueList* all, InterruptPoll& poll) {
  with_popcount([&]<bool kHw>() { Walk<kHw>(nbrs, masks, maxrank, tree, all, poll).run(); });
}

}  // namespace vexa::graph::seed
