#include "seed_cliques.hpp"

#include <algorithm>
#include <bit>
#include <iterator>
#include <vector>

#include "big_arrays.hpp"
#include "bits.hpp"
#include "interrupt.hpp"
#include "phase_clock.hpp"
#include "prefetch.hpp"
#include "sorted.hpp"
#include "tree_weights.hpp"

namespace vexa::graph {
namespace {

using Mask = std::uint64_t;

// Lists longer than this are left to the tree route: a mask of 16 words is
// the widest one the per-seed arrays are compiled for.
constexpr std::size_t kMaxDegree = 1024;

// Lists of fewer entries than this, with their offsets, fit in a core's
// second-level cache (8 bytes an entry, 512 KB, the least on current
// processors): building the masks then reads them without a miss, and
// asking for each neighbour's list ahead of time is pure overhead.
constexpr std::size_t kPrefetchFromEntries = std::size_t{1} << 16;

// A level of one seed can hold millions of cliques: its loops tick the
// interrupt poll once per this many, a few microseconds of work.
constexpr std::size_t kPollBlock = 4096;

// Calls f.template operator()<W>() with W the words of mask for a list of d
// entries (1, 2, 4, 8 or 16): the one place where a list picks the compiled
// mask width.
template <class F>
void with_mask_words(std::size_t d, F&& f) {
  switch (pow2_words_for_bits(d)) {
    case 1: f.template operator()<1>(); break;
    case 2: f.template operator()<2>(); break;
    case 4: f.template operator()<4>(); break;
    case 8: f.template operator()<8>(); break;
    default: f.template operator()<16>(); break;
  }
}

// Position sets of W words, counted with popcount<kHw>().
template <unsigned W, bool kHw>
struct Bits {
  static void first(Mask* m, std::size_t d) noexcept {
    for (unsigned i = 0; i < W; ++i) {
      const std::size_t lo = 64 * std::size_t{i};
      m[i] = d >= lo + 64 ? ~Mask{0} : d <= lo ? 0 : (Mask{1} << (d - lo)) - 1;
    }
  }
  static void meet(Mask* dst, const Mask* a, const Mask* b) noexcept {
    for (unsigned i = 0; i < W; ++i) dst[i] = a[i] & b[i];
  }
  static std::size_t count(const Mask* m) noexcept {
    std::size_t c = 0;
    for (unsigned i = 0; i < W; ++i) c += popcount<kHw>(m[i]);
    return c;
  }
  // Positions below j.
  static std::size_t rank(const Mask* m, unsigned j) noexcept {
    std::size_t c = 0;
    for (unsigned i = 0; i < j / 64; ++i) c += popcount<kHw>(m[i]);
    return c + popcount<kHw>(m[j / 64] & ((Mask{1} << (j % 64)) - 1));
  }
  // Calls f(j) for each position, ascending.
  template <class F>
  static void each(const Mask* m, F&& f) {
    for (unsigned i = 0; i < W; ++i)
      for (Mask rest = m[i]; rest != 0; rest &= rest - 1)
        f(64 * i + static_cast<unsigned>(std::countr_zero(rest)));
  }
};

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

// The arithmetic sequence value, value + step, ... as a random-access
// iterator: a vector appends a run of it in one pass, without clearing its
// room first.
struct Strided {
  using iterator_category = std::random_access_iterator_tag;
  using value_type = std::size_t;
  using difference_type = std::ptrdiff_t;
  using pointer = const std::size_t*;
  using reference = std::size_t;
  std::size_t value, step;
  std::size_t operator*() const noexcept { return value; }
  Strided& operator++() noexcept {
    value += step;
    return *this;
  }
  Strided operator++(int) noexcept {
    Strided old = *this;
    value += step;
    return old;
  }
  Strided& operator--() noexcept {
    value -= step;
    return *this;
  }
  Strided& operator+=(difference_type n) noexcept {
    value += static_cast<std::size_t>(n) * step;
    return *this;
  }
  difference_type operator-(const Strided& o) const noexcept {
    return static_cast<difference_type>((value - o.value) / step);
  }
  bool operator==(const Strided& o) const noexcept { return value == o.value; }
};

template <bool kHw>
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

  std::optional<WeightedCliques> run() {
    const std::size_t n = nbrs_.size();
    if (maxrank_ == 1) {
      // No list entry is read: the single nodes, each of weight 1.
      for (std::size_t v = 0; v < n; ++v) out_.cliques.push_back({static_cast<Node>(v)});
      out_.weights.assign(n, 1);
      return std::move(out_);
    }
    for (std::size_t v = 0; v < n; ++v) {
      const auto l = nbrs_[v];
      if (l.size() > kMaxDegree || (check_order_ && !strictly_ascending(l))) return std::nullopt;
    }
    if (n >= kNoIndex) return std::nullopt;
    build_masks();
    if (gate_ != nullptr) {
      const SeedCount count = count_levels(count_cap_);
      if (!(*gate_)(count)) return std::nullopt;
      if (!count.complete) count_levels(0);
    } else {
      count_levels(0);
    }
    if (level_start_.back() >= kNoIndex) return std::nullopt;
    allocate();
    phase_done("seed levels");
    for (std::size_t v = 0; v < n; ++v) {
      with_mask_words(nbrs_.length(v), [&]<unsigned W>() {
        walk_seed<W>(v);
        weigh_seed<W>(v);
      });
    }
    link_children();
    phase_done("seed walk");
    if (!subtract_tails()) return std::nullopt;
    phase_done("seed tails");
    if (!all_) {
      masks_ = {};
      levels_ = {};
      read_off_nonzero();
      phase_done("seed output");
    }
    return std::move(out_);
  }

 private:
  const Mask* seed_masks(std::size_t v) const noexcept { return masks_.data() + mask_first_[v]; }

  // For list v and each position j: the positions i > j of nbrs[v] whose
  // node occurs in nbrs[nbrs[v][j]], as a mask of pow2_words_for_bits(|nbrs[v]|)
  // words.  A list of at most 64 entries (nearly every list of a sparse
  // graph) gives each of its nodes its own bit, so a row is the OR of the
  // bits of nbrs[nbrs[v][j]], without a branch per entry; the last position
  // has no later one and its row is empty.
  void build_masks() {
    const std::size_t n = nbrs_.size();
    unwritten_array(mask_first_, n + 1);
    mask_first_[0] = 0;
    for (std::size_t v = 0; v < n; ++v)
      mask_first_[v + 1] = mask_first_[v] + nbrs_.length(v) * pow2_words_for_bits(nbrs_.length(v));
    unwritten_array(masks_, mask_first_[n]);
    std::vector<Mask> bit_of(n, 0);           // the node's bit in the current short list
    std::vector<std::uint16_t> pos_of(n, 0);  // position + 1 in the current long list
    const std::size_t* const off = nbrs_.offsets().data();
    const Node* const entries = nbrs_.nodes().data();
    const bool ask_ahead = nbrs_.total_nodes() + n >= kPrefetchFromEntries;
    for (std::size_t v = 0; v < n; ++v) {
      const auto l = nbrs_[v];
      // The lists of v's neighbours lie anywhere: ask for all of them at
      // once rather than missing the cache on one after the other.
      if (ask_ahead) {
        for (Node x : l) prefetch(off + x);
        for (Node x : l) prefetch(entries + off[x]);
      }
      Mask* const m = masks_.data() + mask_first_[v];
      if (l.size() <= 64) {
        if (l.empty()) continue;
        for (std::size_t j = 0; j < l.size(); ++j) bit_of[l[j]] = Mask{1} << j;
        // One tick for the seed's rows: at most 64 rows of at most 1024
        // entries, tens of microseconds.
        std::size_t read = l.size();
        for (std::size_t j = 0; j + 1 < l.size(); ++j) {
          const Node u = l[j];
          const std::size_t len = off[u + 1] - off[u];
          m[j] = bits_of(bit_of.data(), entries + off[u], len) & (~Mask{1} << j);  // positions after j only
          read += len;
        }
        poll_.tick(static_cast<std::uint32_t>(read));
        m[l.size() - 1] = 0;
        for (Node x : l) bit_of[x] = 0;
        continue;
      }
      const std::size_t words = pow2_words_for_bits(l.size());
      std::fill_n(m, l.size() * words, Mask{0});
      for (std::size_t j = 0; j < l.size(); ++j) pos_of[l[j]] = static_cast<std::uint16_t>(j + 1);
      for (std::size_t j = 0; j < l.size(); ++j) {
        Mask* row = m + j * words;
        for (Node y : nbrs_[l[j]]) {
          const std::size_t p = pos_of[y];
          if (p > j + 1) row[(p - 1) / 64] |= Mask{1} << ((p - 1) % 64);
        }
        poll_.tick(static_cast<std::uint32_t>(nbrs_.length(l[j]) + 1));
      }
      for (Node x : l) pos_of[x] = 0;
    }
  }

  // The OR of bit_of[y] over the len entries y of `list`: four lookups per
  // step into two accumulators, so that the loop's own count and test are
  // paid once per four entries, and the last len % 4 without a loop.
  static Mask bits_of(const Mask* bit_of, const Node* list, std::size_t len) noexcept {
    Mask a = 0, b = 0;
    std::size_t i = 0;
    for (; i + 4 <= len; i += 4) {
      a |= bit_of[list[i]] | bit_of[list[i + 1]];
      b |= bit_of[list[i + 2]] | bit_of[list[i + 3]];
    }
    switch (len - i) {
      case 3: b |= bit_of[list[i + 2]]; [[fallthrough]];
      case 2: a |= bit_of[list[i + 1]]; [[fallthrough]];
      case 1: a |= bit_of[list[i]]; break;
      default: break;
    }
    return a | b;
  }

  // Calls f(lo, hi) over [0, n) in blocks of kPollBlock items, with one
  // tick per block: the loops over a level's cliques carry no poll of their
  // own.
  template <class F>
  void for_chunks(std::size_t n, F&& f) {
    for (std::size_t lo = 0; lo < n;) {
      const std::size_t hi = std::min(n, lo + kPollBlock);
      f(lo, hi);
      poll_.tick(static_cast<std::uint32_t>(hi - lo));
      lo = hi;
    }
  }

  // Breadth-first over one seed's subtree: the number of cliques one node
  // larger than the `count` cliques whose candidates are `cand`.  With `next` given their candidates are
  // made too, unless there are more than `most` of them, and with `parent`
  // and `pos` given their parents and last positions (counting needs
  // neither; the last level needs no candidates).
  template <unsigned W>
  std::size_t grow_level(const Mask* adj, const Mask* cand, std::size_t count, RawArray<Mask>* next,
                         RawArray<Index>* parent, RawArray<std::uint16_t>* pos,
                         std::size_t most = ~std::size_t{0}) {
    std::size_t made = 0;
    for (std::size_t i = 0; i < count; ++i) made += Bits<W, kHw>::count(cand + i * W);
    poll_.tick(static_cast<std::uint32_t>(std::min<std::size_t>(count, 1u << 12)));
    if (next == nullptr || made == 0 || made > most) return made;
    next->resize(made * W);
    if (parent == nullptr) {
      fill_level<W, false>(adj, cand, count, next->data(), nullptr, nullptr);
    } else {
      parent->resize(made);
      pos->resize(made);
      fill_level<W, true>(adj, cand, count, next->data(), parent->data(), pos->data());
    }
    return made;
  }

  // The candidates of every child of the `count` cliques of `cand`, in
  // order, and with kLinks their parents and last positions.
  template <unsigned W, bool kLinks>
  void fill_level(const Mask* adj, const Mask* cand, std::size_t count, Mask* out, Index* par,
                  std::uint16_t* at) {
    for (std::size_t i = 0; i < count; ++i) {
      const Mask* c = cand + i * W;
      Bits<W, kHw>::each(c, [&](unsigned j) {
        Bits<W, kHw>::meet(out, c, adj + std::size_t{j} * W);
        out += W;
        if constexpr (kLinks) {
          *par++ = static_cast<Index>(i);
          *at++ = static_cast<std::uint16_t>(j);
        }
      });
      poll_.every<64>(i);
    }
  }

  struct SeedTally {
    std::uint64_t cliques = 0;  // of 2 or more nodes
    std::size_t tops = 0;       // cliques of maxrank nodes
    bool stopped = false;       // a level passed `room`: the count ends here
  };

  // Counts seed v's cliques of 2 or more nodes, level by level, into
  // `totals` and seed_counts_, stopping at the first level that takes the
  // seed's count past `room`.
  template <unsigned W>
  SeedTally count_seed(std::size_t v, std::vector<std::size_t>& totals, std::uint64_t room) {
    const Mask* adj = seed_masks(v);
    // The cliques of k nodes (k >= 2) and their candidates: the edges [v, x]
    // are one per position, and their candidates are the seed's rows.
    const Mask* cur = adj;
    std::size_t cur_count = nbrs_.length(v);
    SeedTally tally;
    for (std::size_t k = 1; k != maxrank_; ++k) {
      const bool last_level = k + 1 == maxrank_;
      std::size_t count = cur_count;
      if (k > 1) {
        count_next_.clear();
        count = grow_level<W>(adj, cur, cur_count, last_level ? nullptr : &count_next_, nullptr, nullptr,
                              static_cast<std::size_t>(room));
        count_cur_.swap(count_next_);
        cur = count_cur_.data();
        cur_count = count;
      }
      if (count == 0) break;
      if (totals.size() <= k) totals.push_back(0);
      totals[k] += count;
      seed_counts_.push_back(count);
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

  // The sizes of every seed's levels, without keeping the cliques.  Fills
  // level_start_ and, per seed, where its block of each level begins.  With
  // a cap (0: none), stops after the seed that takes the count past it.
  SeedCount count_levels(std::uint64_t cap) {
    const std::size_t n = nbrs_.size();
    std::vector<std::size_t> totals{n};  // totals[k-1]: cliques of k nodes
    SeedCount out;
    out.cliques = n;
    // Most seeds of a sparse graph reach two levels past the single nodes.
    reserve_fresh(seed_counts_, 2 * n);
    // Written seed by seed; a stopped count leaves the rest unread (the
    // walk counts afresh before using them).
    unwritten_array(seed_first_, n + 1);
    const std::uint64_t most = cap == 0 ? ~std::uint64_t{0} : cap;
    for (std::size_t v = 0; v < n; ++v) {
      seed_first_[v] = seed_counts_.size();
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
    seed_first_[n] = seed_counts_.size();
    level_start_.assign(totals.size() + 1, 0);
    for (std::size_t k = 0; k < totals.size(); ++k) level_start_[k + 1] = level_start_[k] + totals[k];
    if (level_start_.back() >= kNoIndex) return out;
    // Turn each seed's counts into the positions where its blocks begin.
    std::vector<std::size_t> running(level_start_.begin() + 1, level_start_.end() - 1);
    for (std::size_t v = 0; v < n; ++v) {
      for (std::size_t i = seed_first_[v]; i < seed_first_[v + 1]; ++i) {
        const std::size_t k = i - seed_first_[v];  // level k + 2, running[k]
        const std::size_t c = seed_counts_[i];
        seed_counts_[i] = running[k];
        running[k] += c;
      }
    }
    return out;
  }

  void allocate() {
    const std::size_t m = level_start_.back();
    // Every clique's weight, last node and child link are stored by the
    // walk before anything reads them.  The weights of a full list are the
    // result's own array; those that are only read off stay here.
    unwritten_array(last_, m);
    unwritten_array(first_child_, m + 1);
    if (!all_) {
      unwritten_array(tree_weights_, m);
      w_ = tree_weights_.data();
      return;
    }
    fresh_array(out_.weights, m, poll_);
    w_ = out_.weights.data();
    std::size_t total = 0;
    for (std::size_t k = 1; k < level_start_.size(); ++k) total += k * (level_start_[k] - level_start_[k - 1]);
    std::vector<Node> nodes;
    fresh_array(nodes, total, poll_);
    std::vector<std::size_t> offsets;
    fresh_array(offsets, m + 1, poll_);
    std::size_t at = 0;
    for (std::size_t k = 1; k < level_start_.size(); ++k) {
      for (std::size_t g = level_start_[k - 1]; g < level_start_[k]; ++g) {
        offsets[g] = at;
        at += k;
        poll_.every<4096>(g);
      }
    }
    offsets[m] = at;
    out_.cliques.nodes() = std::move(nodes);
    out_.cliques.offsets() = std::move(offsets);
  }

  std::size_t global(std::size_t v, std::size_t k, std::size_t i) const noexcept {
    return k == 1 ? v : seed_counts_[seed_first_[v] + k - 2] + i;
  }

  // Grows seed v's subtree level by level and writes its cliques out.
  template <unsigned W>
  void walk_seed(std::size_t v) {
    const auto l = nbrs_[v];
    const Mask* adj = seed_masks(v);
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
        next.count = grow_level<W>(adj, levels_[k].view, levels_[k].size(), &next.cand, &next.parent, &next.pos);
        if (next.count == 0) break;
        next.view = next.cand.data();
      }
      top_ = k + 1;
    }

    last_[v] = static_cast<Index>(v);
    if (all_) out_.cliques.nodes()[out_.cliques.offsets()[v]] = v;
    for (std::size_t k = 1; k <= top_; ++k) {
      LocalLevel& lv = levels_[k];
      const std::size_t size = lv.size();
      const std::size_t g0 = global(v, k, 0);
      if (k == 2) {
        // The edges [v, l[i]], in position order.
        Index* const last = last_.data() + g0;
        Node* dst = all_ ? out_.cliques.nodes().data() + out_.cliques.offsets()[g0] : nullptr;
        for_chunks(size, [&](std::size_t lo, std::size_t hi) {
          if (dst != nullptr) {
            for (std::size_t i = lo; i < hi; ++i) {
              dst[2 * i] = v;
              dst[2 * i + 1] = l[i];
            }
          }
          for (std::size_t i = lo; i < hi; ++i) last[i] = static_cast<Index>(l[i]);
        });
      } else if (k > 1 && all_) {
        // This level's block and its parents' block are contiguous.
        Node* const nodes = out_.cliques.nodes().data();
        const std::size_t* const offsets = out_.cliques.offsets().data();
        Node* dst = nodes + offsets[g0];
        const Node* parents = nodes + offsets[global(v, k - 1, 0)];
        for_chunks(size, [&](std::size_t lo, std::size_t hi) {
          for (std::size_t i = lo; i < hi; ++i, dst += k) {
            const Node x = l[lv.pos[i]];
            std::copy_n(parents + std::size_t{lv.parent[i]} * (k - 1), k - 1, dst);
            dst[k - 1] = x;
            last_[g0 + i] = static_cast<Index>(x);
          }
        });
      } else if (k > 1) {
        Index* const last = last_.data() + g0;
        const std::uint16_t* const pos = lv.pos.data();
        for_chunks(size, [&](std::size_t lo, std::size_t hi) {
          for (std::size_t i = lo; i < hi; ++i) last[i] = static_cast<Index>(l[pos[i]]);
        });
      }
      Index* const counts = first_child_.data() + g0;
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
    Weight* const w = w_;
    // The top level has no children: each of its b_l is 1, and so is its
    // weight; it adds 1 to the b of each of its facets.
    {
      LocalLevel& lv = levels_[top_];
      Weight* const wk = w + global(v, top_, 0);
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
      Weight* const wk = w + global(v, k, 0);
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

  // Child counts to first-child positions: the children of a level's
  // cliques, in order, make up the next level.
  void link_children() {
    const std::size_t levels = level_start_.size() - 1;
    for (std::size_t k = 1; k <= levels; ++k) {
      std::size_t at = level_start_[k];
      for (std::size_t g = level_start_[k - 1]; g < level_start_[k]; ++g) {
        const std::size_t kids = first_child_[g];
        first_child_[g] = static_cast<Index>(at);
        at += kids;
      }
    }
    first_child_[level_start_.back()] = static_cast<Index>(level_start_.back());
  }

  // b_0 = b_1 minus b_1 of every clique that is the clique with one node
  // put in front.  The tail of a clique (the clique without its seed) is a
  // child of its parent's tail, so it is found once per parent by merging
  // the children's last nodes.  Level by level from the bottom, so that
  // every weight read still holds b_1.
  bool subtract_tails() {
    const std::size_t levels = level_start_.size() - 1;
    if (levels < 2) return true;
    Weight* const w = w_;
    const Index* const last = last_.data();
    const Index* const fc = first_child_.data();
    RawArray<Index> prev, cur;  // every entry is stored before it is read
    std::vector<Index> where(nbrs_.size(), 0);
    prev.resize(level_start_[2] - level_start_[1]);
    for_chunks(level_start_[2] - level_start_[1], [&](std::size_t lo, std::size_t hi) {
      for (std::size_t i = lo; i < hi; ++i) {
        const std::size_t g = level_start_[1] + i;
        const Index t = last[g];  // [v, x] without v is [x], at position x
        prev[i] = t;
        w[t] = wrap_sub(w[t], w[g]);
      }
    });
    for (std::size_t k = 2; k < levels; ++k) {
      cur.resize(level_start_[k + 1] - level_start_[k]);
      const std::size_t lo = level_start_[k - 1], hi = level_start_[k];
      // The children of this level are [fc[lo], fc[hi]); the cliques
      // without children are passed over in a loop of their own.
      const std::size_t end = fc[hi];
      std::size_t p = lo;
      for (std::size_t b = fc[lo]; b < end; ++p) {
        while (fc[p + 1] == b) ++p;
        const std::size_t e = fc[p + 1];
        // The tails sit anywhere in the list: fetch the first-child entry
        // of a tail a few parents ahead, and the children of a nearer one.
        // Only parents with children look ahead (most cliques of a sparse
        // graph have none, and skipping them is then the whole loop).
        if (p + 16 < hi) prefetch(fc + prev[p + 16 - lo]);
        if (p + 8 < hi) {
          const Index ahead = fc[prev[p + 8 - lo]];
          prefetch(last + ahead);
          prefetch(w + ahead);
        }
        const Index t = prev[p - lo];
        Index* tails = cur.data() + (b - level_start_[k]);
        const std::size_t tb = fc[t], te = fc[t + 1];
        if (gallop_pays(te - tb, e - b)) {
          if (!locate_children(last, tb, te, last + b, e - b, tails)) return false;
        } else {
          // Mark where each child of t ends, then read the keys off; a stale
          // or missing mark fails the check below.
          for (std::size_t c = tb; c < te; ++c) where[last[c]] = static_cast<Index>(c);
          for (std::size_t i = 0; i < e - b; ++i) {
            const Index c = where[last[b + i]];
            if (c < tb || c >= te || last[c] != last[b + i]) return false;
            tails[i] = c;
          }
        }
        for (std::size_t i = 0; i < e - b; ++i) w[tails[i]] = wrap_sub(w[tails[i]], w[b + i]);
        poll_.tick(static_cast<std::uint32_t>(e - b));
        b = e;
      }
      prev.swap(cur);
    }
    return true;
  }

  // The cliques of non-zero weight, largest size first, each size ascending
  // lexicographically, read off the tree: a level lists its cliques in
  // lexicographic order already, so its kept cliques, in level order, are
  // its size group.  The kept cliques are counted first, which places every
  // size group and gives the offsets; then the nodes are read off
  // (read_off_nodes()).
  void read_off_nonzero() {
    const std::size_t levels = level_start_.size() - 1;
    const Weight* const w = w_;
    WeightedCliques res;
    // The kept weights, largest size first, and so how many each size keeps.
    std::vector<std::size_t> kept(levels + 1, 0);
    {
      WeightList& weights = res.weights;
      weights.reserve(level_start_.back());
      for (std::size_t k = levels; k >= 1; --k) {
        const std::size_t before = weights.size();
        for_chunks(level_start_[k] - level_start_[k - 1], [&](std::size_t lo, std::size_t hi) {
          const Weight* const from = w + level_start_[k - 1];
          for (std::size_t i = lo; i < hi; ++i)
            if (from[i] != 0) weights.push_back(from[i]);
        });
        kept[k] = weights.size() - before;
      }
    }
    std::vector<std::size_t> node_at(levels + 1, 0);
    std::size_t nodes = 0, cliques = 0;
    for (std::size_t k = levels; k >= 1; --k) {
      node_at[k] = nodes;
      nodes += k * kept[k];
      cliques += kept[k];
    }
    fresh_array(res.cliques.nodes(), nodes, poll_);
    {
      std::vector<std::size_t>& off = res.cliques.offsets();
      reserve_fresh(off, cliques + 1);
      std::size_t o = 0;
      for (std::size_t k = levels; k >= 1; --k) {
        for_chunks(kept[k], [&](std::size_t lo, std::size_t hi) {
          off.insert(off.end(), Strided{o + k * lo, k}, Strided{o + k * hi, k});
        });
        o += k * kept[k];
      }
      off.push_back(o);
    }
    read_off_nodes(res.cliques.nodes().data(), node_at);
    out_ = std::move(res);
  }

  // The kept cliques' nodes, seed by seed, depth first: a seed's subtree
  // visited in preorder meets each level's cliques in that level's order
  // (both orders are lexicographic), so each size group is written front to
  // back through a cursor of its own, while the path from the seed holds
  // the nodes of the clique visited.  One visit per clique, k nodes written
  // per kept clique of k nodes, and no row is written for the others.
  void read_off_nodes(Node* out_nodes, const std::vector<std::size_t>& node_at) {
    const std::size_t levels = level_start_.size() - 1;
    std::vector<Node*> cursors(levels + 1, nullptr);
    for (std::size_t k = 1; k <= levels; ++k) cursors[k] = out_nodes + node_at[k];
    std::vector<Node> path(levels + 1, 0);
    cursor_ = cursors.data();
    path_ = path.data();
    const Weight* const w = w_;
    const Index* const fc = first_child_.data();
    for (std::size_t v = 0; v < level_start_[1]; ++v) {
      poll_.every<4096>(v);
      path_[0] = v;
      if (w[v] != 0) *cursor_[1]++ = v;
      if (fc[v] != fc[v + 1]) read_children<1>(v, 1);
    }
    cursor_ = nullptr;  // both arrays end here
    path_ = nullptr;
  }

  // The subtree below clique g of k nodes (the first k of the path), read
  // off as above; K is k up to kUnrolledSizes, where the copies of the path
  // unroll, and 0 past it.
  static constexpr std::size_t kUnrolledSizes = 8;
  template <std::size_t K>
  void read_children(std::size_t g, std::size_t k_run) {
    const std::size_t k = K != 0 ? K : k_run;
    const Index* const last = last_.data();
    const Index* const fc = first_child_.data();
    const Weight* const w = w_;
    Node* const path = path_;
    const std::size_t b = fc[g], e = fc[g + 1];
    Index from = fc[b];
    for (std::size_t c = b; c < e; ++c) {
      const Index to = fc[c + 1];
      path[k] = last[c];
      if (w[c] != 0) {
        Node* const d = cursor_[k + 1];
        for (std::size_t i = 0; i <= k; ++i) d[i] = path[i];
        cursor_[k + 1] = d + k + 1;
      }
      if (from != to) {
        if constexpr (K != 0 && K + 1 < kUnrolledSizes) {
          read_children<K + 1>(c, k + 1);
        } else {
          read_children<0>(c, k + 1);
        }
      }
      from = to;
    }
    poll_.tick(static_cast<std::uint32_t>(std::min<std::size_t>((k + 1) * (e - b), 1u << 20)));
  }

  const NeighbourLists& nbrs_;
  const std::uint64_t maxrank_;
  const bool all_;  // every clique, or only those of non-zero weight
  const bool check_order_;  // whether the lists may fail to ascend
  const std::uint64_t count_cap_;  // with a gate: where its count stops
  const SeedGate* gate_;           // asked after the count, if given
  InterruptPoll poll_;
  RawArray<std::size_t> mask_first_;  // per seed, where its masks begin
  RawArray<Mask> masks_;
  RawArray<Mask> count_cur_, count_next_;
  RawArray<std::size_t> seed_first_;      // per seed, its first entry in seed_counts_
  std::vector<std::size_t> seed_counts_;  // per seed and level >= 2: where its block begins
  std::vector<std::size_t> level_start_;
  std::vector<LocalLevel> levels_;
  std::size_t top_ = 0;
  RawArray<Index> last_;
  RawArray<Index> first_child_;
  RawArray<Weight> tree_weights_;  // the weights, when only the non-zero ones are returned
  Weight* w_ = nullptr;            // every clique's weight, by its place in the list
  // The read-off's state (read_off_nodes()): per size, where its next kept
  // clique goes, and the nodes of the clique visited.
  Node** cursor_ = nullptr;
  Node* path_ = nullptr;
  WeightedCliques out_;
};

}  // namespace

// The walk counts mask bits at every step: compiled a second time for the
// popcnt instruction, taken when the processor has it.
std::optional<WeightedCliques> enumerate_seed_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank,
                                                      SeedOutput output, SeedLists lists) {
  return with_popcount([&]<bool kHw>() { return SeedWalk<kHw>(nbrs, maxrank, output, lists).run(); });
}

std::optional<WeightedCliques> enumerate_seed_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank,
                                                      SeedOutput output, std::uint64_t count_cap,
                                                      const SeedGate& gate, SeedLists lists) {
  return with_popcount(
      [&]<bool kHw>() { return SeedWalk<kHw>(nbrs, maxrank, output, lists, count_cap, &gate).run(); });
}

}  // namespace vexa::graph
