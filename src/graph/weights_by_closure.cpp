// Weights by the closure of intersections, settled node by node.
//
// What it computes: for the family F of the top cliques and all their
// non-empty sub-cliques, weight(S) = 1 - (sum of the weights of the members
// of F strictly containing S), and returns the members of non-zero weight.
//
// Method.  Only intersections of top cliques can have a non-zero weight: if
// all top cliques containing S share a node v outside S, the members above S
// pair off as U and U + v and their weights cancel (the standard argument for
// the Moebius function of a lattice, Rota 1964).  Every top clique has
// weight 1 (none holds another), so it suffices to weigh the intersections
// of two or more top cliques, from the largest down.  Every clique S is
// settled at its smallest node a, from the star of a (the top cliques
// holding a), since all members above S hold a too:
//  - a node held by one top clique of the star lies in no intersection of
//    two; the shared nodes held by exactly the same top cliques (twins) lie
//    in the same intersections, so they form one class, one bit of a mask;
//  - the intersections whose smallest node is a are the closed sets of the
//    star's masks (equal to the intersection of the masks holding them)
//    that meet no class holding a node below a.  They are listed each once,
//    without a hash set, by prefix-preserving closure extension, the method
//    of Uno, Asai, Uchida and Arimura (LCM, 2004) for closed itemsets;
//  - S's cover is the number of top cliques holding it, plus the weights of
//    the intersections of non-zero weight strictly containing it: those of
//    this star weighed before it, and those settled at a smaller node, which
//    every later node of theirs keeps in a list.  In a large star only the
//    entries holding S's rarest class are looked at.
// Masks are as wide as the star needs (any number of 64-bit words).
//
// Cost, for a star with t top cliques of total size z, c classes (masks of
// w words, holder sets of v words), m intersections settled there and e
// earlier ones holding a: O(z + c v) to find the classes, O(m c (v + t w))
// for the listing (each of the m closed sets tries each class once, a try
// intersects at most t masks), and at most O((m + e)^2 w) for the weighing;
// summed over all nodes.  Each intersection is listed at one node only, and
// the whole is polynomial in the input and the number of intersections,
// whatever the size of the cliques; expansion (weights_by_expansion.cpp) is
// exponential in it.
#include "weights_by_closure.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>
#include <new>
#include <span>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "bits.hpp"
#include "clique_order.hpp"
#include "hash.hpp"
#include "memory_room.hpp"

namespace vexa::graph {
namespace {

using Word = std::uint64_t;
constexpr std::size_t kWordBits = 64;

// Node numbers index arrays directly when the largest is at most this many
// times the total size of the top cliques, plus a slack for small inputs;
// otherwise they are renumbered by sorting.
constexpr std::size_t kDirectNodesPerEntry = 4;
constexpr std::size_t kDirectNodeSlack = 1024;
// The first entries weighed in a star are marked in one word per class, so
// that the entries containing a clique are the AND of its classes' words;
// beyond one word's worth, covers are summed over the entries listed under
// the rarest class of the clique weighed, which keeps large stars from
// turning quadratic in their entries.
constexpr std::size_t kMarkedEntries = kWordBits;
// A star of at most this many top cliques, over at most this many nodes,
// is settled on one machine word per set (settle_small): no classes, no
// hash set, the nodes themselves are the bits.
constexpr std::size_t kSmallStarTops = kWordBits;
constexpr std::size_t kSmallStarNodes = kWordBits;
// Slots of the hash set of classes at least; it is kept at most half full.
constexpr std::size_t kMinClassSlots = 16;
// Interrupt ticks are counted per unit of work; one call to tick() reports
// at most this much, well under a millisecond.
constexpr std::size_t kMaxTickCost = std::size_t{1} << 20;

// The bits below bit i (all 64 for i = 64).
constexpr Word low_bits(std::size_t i) noexcept { return i >= kWordBits ? ~Word{0} : (Word{1} << i) - 1; }

// The working memory freed by the weighing lies mostly in the middle of the
// heap (buffers that grew by doubling), where the allocator keeps it; on
// glibc it is handed back to the system, so that the caller's conversion of
// the result does not count it on top.
void return_free_memory() noexcept {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

// Frees a vector's memory, capacity included.
template <class Vector>
void release(Vector& v) noexcept {
  Vector().swap(v);
}

std::uint32_t tick_cost(std::size_t units) {
  return static_cast<std::uint32_t>(std::min(units, kMaxTickCost) | 1);
}

// The top cliques holding each node, by a counting sort of the (node, top)
// pairs by node.
void fill_stars(TopIncidence& inc, std::size_t nodes, InterruptPoll& poll) {
  inc.star_off.assign(nodes + 2, 0);
  for (Index b : inc.top_nodes) ++inc.star_off[std::size_t{b} + 2];
  // star_off[a + 1] is first the start of a's run, then (after the fill)
  // its end.
  for (std::size_t a = 0; a < nodes; ++a) inc.star_off[a + 2] += inc.star_off[a + 1];
  inc.star_tops.resize(inc.top_nodes.size());
  for (std::size_t t = 0; t + 1 < inc.top_off.size(); ++t) {
    for (std::size_t i = inc.top_off[t]; i < inc.top_off[t + 1]; ++i)
      inc.star_tops[inc.star_off[std::size_t{inc.top_nodes[i]} + 1]++] = static_cast<Index>(t);
    poll.tick(tick_cost(inc.top_off[t + 1] - inc.top_off[t]));
  }
  inc.star_off.pop_back();
}

}  // namespace

TopIncidence index_top_cliques(const Tables& tables, InterruptPoll& poll) {
  TopIncidence inc;
  std::size_t total = 0, count = 0;
  Node max = 0;
  for (const SizeTable& table : tables) {
    if (table.width() == 0) {
      inc.empty_top = table.size() != 0;
      continue;
    }
    count += table.size();
    total += table.size() * table.width();
    for (std::size_t e = 0; e < table.size(); ++e) {
      max = std::max(max, table.key(e).back());  // keys are ascending
      poll.tick();
    }
  }
  if (count >= kNoIndex || total >= kNoIndex) throw std::bad_alloc();
  std::size_t nodes = 0;
  if (total == 0) {
    nodes = 0;
  } else if (max < kNoIndex && max <= kDirectNodesPerEntry * total + kDirectNodeSlack) {
    nodes = static_cast<std::size_t>(max) + 1;
  } else {
    reserve_checked(inc.sorted_nodes, total);
    for (const SizeTable& table : tables) {
      for (std::size_t e = 0; e < table.size(); ++e) {
        for (Node v : table.key(e)) inc.sorted_nodes.push_back(v);
        poll.tick(tick_cost(table.width()));
      }
    }
    sort_nodes(inc.sorted_nodes, poll);
    inc.sorted_nodes.erase(std::unique(inc.sorted_nodes.begin(), inc.sorted_nodes.end()), inc.sorted_nodes.end());
    inc.remapped = true;
    nodes = inc.sorted_nodes.size();
  }
  auto dense = [&](Node v) -> Index {
    if (!inc.remapped) return static_cast<Index>(v);
    return static_cast<Index>(std::lower_bound(inc.sorted_nodes.begin(), inc.sorted_nodes.end(), v) -
                              inc.sorted_nodes.begin());
  };
  reserve_checked(inc.top_nodes, total);
  reserve_checked(inc.top_off, count + 1);
  inc.top_off.push_back(0);
  for (const SizeTable& table : tables) {
    if (table.width() == 0) continue;
    for (std::size_t e = 0; e < table.size(); ++e) {
      for (Node v : table.key(e)) inc.top_nodes.push_back(dense(v));
      inc.top_off.push_back(inc.top_nodes.size());
      poll.tick(tick_cost(table.width()));
    }
  }
  fill_stars(inc, nodes, poll);
  return inc;
}

namespace {

// Settles, node by node, the cliques whose smallest node it is; buffers are
// reused from star to star.
class ClosureWeigher {
 public:
  // With `spent`, the incidence (the same object as inc) is freed as soon
  // as the weighing is done with it, all but the node numbers.
  ClosureWeigher(const TopIncidence& inc, InterruptPoll& poll, TopIncidence* spent = nullptr)
      : inc_(inc), poll_(poll), spent_(spent) {
    const std::size_t n = inc.node_count();
    slot_.assign(n, kNoIndex);
    node_hold_.assign(n, 0);
    cls_.assign(n, kNoIndex);
    earlier_head_.assign(n, kNoIndex);
    std::size_t largest = 0;
    for (std::size_t t = 0; t + 1 < inc.top_off.size(); ++t)
      largest = std::max(largest, inc.top_off[t + 1] - inc.top_off[t]);
    out_.resize(largest + 1);
  }

  WeightedCliques run() {
    for (std::size_t a = 0; a < inc_.node_count(); ++a) settle(a);
    // The per-node arrays are done with: their memory goes back before the
    // result is gathered.  (Assigning {} would keep the capacity.)
    release(earlier_head_);
    release(earlier_next_);
    release(earlier_set_);
    release(slot_);
    release(cls_);
    release(node_hold_);
    if (spent_ != nullptr) {
      release(spent_->top_nodes);
      release(spent_->top_off);
      release(spent_->star_tops);
      release(spent_->star_off);
    }
    WeightedCliques result = gather();
    return_free_memory();
    return result;
  }

 private:
  struct Emitted {
    std::size_t start, size;
    Weight weight;
    bool keep;  // listed for the stars of its other nodes
  };
  // The cliques of one size, in dense node numbers, size nodes each; they
  // are both the output and the store that later stars read them from.
  struct SizeGroup {
    std::vector<Index> nodes;
    WeightList weights;
  };
  // A clique kept for later stars: its size group and place there.
  struct KeptRef {
    Index size, pos;
  };
  std::span<const Index> kept(KeptRef k) const {
    return {out_[k.size].nodes.data() + std::size_t{k.pos} * k.size, k.size};
  }

  std::span<const Index> top(Index t) const {
    return {inc_.top_nodes.data() + inc_.top_off[t], inc_.top_off[t + 1] - inc_.top_off[t]};
  }
  std::span<const Index> star(std::size_t a) const {
    return {inc_.star_tops.data() + inc_.star_off[a], inc_.star_size(a)};
  }
  Word* mask(std::vector<Word>& v, std::size_t i) const { return v.data() + i * words_; }

  // The cliques whose smallest node is a.
  void settle(std::size_t a) {
    auto tops = star(a);
    if (any_dropped_) {
      live_.clear();
      for (Index t : tops)
        if (!dropped_[t]) live_.push_back(t);
      tops = live_;
    }
    if (tops.empty()) return;
    if (tops.size() <= kSmallStarTops) {
      const SmallStar done = settle_small(a, tops);
      if (done == SmallStar::settled) return;
      if (done == SmallStar::dropped) {
        settle(a);
        return;
      }
    }
    emitted_.clear();
    nodes_.clear();
    if (tops.size() > 1) {
      occ_words_ = words_for_bits(tops.size());
      if (occ_words_ == 1)
        find_classes<1>(tops);
      else
        find_classes<0>(tops);
      if (drop_contained(a, tops)) {
        release_star();
        settle(a);
        return;
      }
    }
    for (Index t : tops)
      if (top(t)[0] == a) emit_top(t);
    if (tops.size() > 1) {
      build_masks(a, tops);
      if (words_ == 1 && occ_words_ == 1) {
        enter_earlier_holders(a);
        enumerate_closed_one_word();
        weigh_one_word();
      } else {
        enter_earlier_masks(a);
        enumerate_closed();
        weigh_closed();
      }
      release_star();
    }
    flush(a);
  }

  enum class SmallStar { settled, dropped, wide };

  // A star of at most kSmallStarTops top cliques over a closed neighbourhood
  // of at most kSmallStarNodes nodes, on one word per set: bit p stands for
  // the p-th smallest node of the neighbourhood, so the nodes below a are
  // the bits below a's, a mask lists its nodes in ascending order, and of
  // two sets of one size the one holding the lowest bit where they differ
  // comes first in the result.  Per node, the top cliques holding it (its
  // holders, one bit per top clique of the star).  Returns `wide` without
  // a trace when the neighbourhood is too large, `dropped` when a top
  // clique inside another was dropped (the star is then settled again).
  SmallStar settle_small(std::size_t a, std::span<const Index> tops) {
    const std::size_t t = tops.size();
    const Index* const top_nodes = inc_.top_nodes.data();
    const std::size_t* const top_off = inc_.top_off.data();
    local_.clear();
    std::size_t work = 0;
    for (std::size_t i = 0; i < t; ++i) {
      const Word bit = Word{1} << i;
      const Index* const end = top_nodes + top_off[tops[i] + 1];
      for (const Index* b = top_nodes + top_off[tops[i]]; b != end; ++b) {
        Word& h = node_hold_[*b];
        if (h == 0) local_.push_back(*b);
        h |= bit;
      }
      work += top_off[tops[i] + 1] - top_off[tops[i]];
    }
    const std::size_t n = local_.size();
    if (n > kSmallStarNodes) {
      for (Index b : local_) node_hold_[b] = 0;
      poll_.tick(tick_cost(work));
      return SmallStar::wide;
    }
    std::sort(local_.begin(), local_.end());
    std::size_t pa = 0;
    for (std::size_t p = 0; p < n; ++p) {
      const Index b = local_[p];
      small_hold_[p] = node_hold_[b];
      node_hold_[b] = 0;
      slot_[b] = static_cast<Index>(p);
      if (b < a) pa = p + 1;
    }
    // The top cliques as masks, from the nodes' holders.
    std::fill_n(small_gens_.begin(), t, Word{0});
    for (std::size_t p = 0; p < n; ++p)
      for (Word bits = small_hold_[p]; bits != 0; bits &= bits - 1)
        small_gens_[std::countr_zero(bits)] |= Word{1} << p;
    // A top clique whose smallest node is a and that lies inside another
    // (its nodes' holders share a second top clique) is dropped, as in
    // drop_contained().
    bool dropped = false;
    entries_.clear();
    const Word at_a = small_hold_[pa] & ~low_hold(pa);
    for (Word starts = at_a; starts != 0; starts &= starts - 1) {
      const std::size_t i = static_cast<std::size_t>(std::countr_zero(starts));
      const Word m = small_gens_[i];
      Word held = ~Word{0};
      for (Word bits = m; bits != 0; bits &= bits - 1) held &= small_hold_[std::countr_zero(bits)];
      if ((held & (held - 1)) != 0) {
        if (dropped_.empty()) dropped_.assign(inc_.top_off.size() - 1, false);
        dropped_[tops[i]] = true;
        dropped = any_dropped_ = true;
      }
      entries_.push_back({m, 0, static_cast<Index>(popcount64(m)), true});
    }
    work += n;
    if (dropped) {
      for (Index b : local_) slot_[b] = kNoIndex;
      poll_.tick(tick_cost(work));
      return SmallStar::dropped;
    }
    small_held_.clear();
    std::fill_n(held_head_.begin(), t, kNoIndex);
    if (t > 1) {
      enter_earlier_small(a);
      work += list_closed_small(t, pa);
    }
    weigh_and_flush_small(a);
    for (Index b : local_) slot_[b] = kNoIndex;
    poll_.tick(tick_cost(work + entries_.size() * (small_held_.size() + 1)));
    return SmallStar::settled;
  }

  // Enters a set of non-zero weight into the list of its lowest holder.
  void hold_small(Word occ, Weight weight) {
    const std::size_t b = static_cast<std::size_t>(std::countr_zero(occ));
    small_held_.push_back({occ, weight, held_head_[b]});
    held_head_[b] = static_cast<Index>(small_held_.size() - 1);
  }

  // The top cliques of the small star holding a node below place p.
  Word low_hold(std::size_t p) const {
    Word any = 0;
    for (std::size_t q = 0; q < p; ++q) any |= small_hold_[q];
    return any;
  }

  // The cliques of non-zero weight holding a that were settled at a smaller
  // node, by their holders (the AND of their nodes' holders; every node of
  // one lies in the neighbourhood).
  void enter_earlier_small(std::size_t a) {
    std::size_t work = 0;
    for (Index link = earlier_head_[a]; link != kNoIndex; link = earlier_next_[link]) {
      const KeptRef k = earlier_set_[link];
      Word occ = ~Word{0};
      for (Index b : kept(k)) occ &= small_hold_[slot_[b]];
      hold_small(occ, out_[k.size].weights[k.pos]);
      work += k.size;
    }
    poll_.tick(tick_cost(work));
  }

  // The intersections of two or more top cliques of a small star whose
  // smallest node is a, each once, by prefix-preserving closure extension
  // over the neighbourhood's nodes above a that lie in two or more top
  // cliques.  Returns the work done.
  std::size_t list_closed_small(std::size_t t, std::size_t pa) {
    const Word low = low_bits(pa);
    Word root = ~Word{0};
    for (std::size_t i = 0; i < t; ++i) root &= small_gens_[i];
    if ((root & low) != 0) return t;
    Word items = 0;
    for (std::size_t p = pa + 1; p < local_.size(); ++p) {
      const Word h = small_hold_[p];
      if ((h & (h - 1)) != 0) items |= Word{1} << p;
    }
    const Word all = low_bits(t);
    entries_.push_back({root, all, static_cast<Index>(popcount64(root)), false});
    std::size_t work = t;
    struct SmallFrame {
      Word set, held, tries;
    };
    std::array<SmallFrame, kWordBits + 1> stack;
    std::size_t depth = 0;
    Word set = root, held = all, tries = items & ~root;
    for (;;) {
      while (tries != 0) {
        const std::size_t i = static_cast<std::size_t>(std::countr_zero(tries));
        tries &= tries - 1;
        const Word h = held & small_hold_[i];
        if ((h & (h - 1)) == 0) continue;  // fewer than two holders
        Word q = ~Word{0};
        for (Word bits = h; bits != 0; bits &= bits - 1) q &= small_gens_[std::countr_zero(bits)];
        ++work;
        // Prefix preserved: no node below i (a node below a among them) added.
        if (((q ^ set) & low_bits(i)) != 0) continue;
        entries_.push_back({q, h, static_cast<Index>(popcount64(q)), false});
        stack[depth++] = {set, held, tries};
        set = q;
        held = h;
        tries = items & ~q & ~low_bits(i + 1);
      }
      if (depth == 0) break;
      --depth;
      set = stack[depth].set;
      held = stack[depth].held;
      tries = stack[depth].tries;
    }
    return work;
  }

  // Weighs the small star's entries from the largest down, in result order
  // (by size, then ascending), and appends those of non-zero weight to their
  // size groups.  A top clique has weight 1; an intersection's cover is the
  // number of top cliques holding it plus the weights of the intersections
  // of non-zero weight strictly containing it, which are those whose holders
  // lie inside its own: the ones settled at smaller nodes (entered by
  // enter_earlier_holders()) and the ones of this star weighed before it.
  void weigh_and_flush_small(std::size_t a) {
    std::sort(entries_.begin(), entries_.end(), [](const SmallEntry& x, const SmallEntry& y) {
      if (x.size != y.size) return x.size > y.size;
      const Word d = x.set ^ y.set;
      return (x.set & d & (Word{0} - d)) != 0;
    });
    for (const SmallEntry& e : entries_) {
      Weight weight = 1;
      if (!e.top) {
        std::uint64_t cover = popcount64(e.held);
        // A set holding S has all its holders among S's, the lowest too.
        for (Word bits = e.held; bits != 0; bits &= bits - 1) {
          for (Index h = held_head_[std::countr_zero(bits)]; h != kNoIndex; h = small_held_[h].next) {
            const HeldSmall& u = small_held_[h];
            cover += (u.occ & ~e.held) == 0 ? static_cast<std::uint64_t>(u.weight) : 0;
          }
        }
        weight = wrap_sub(1, static_cast<Weight>(cover));
        if (weight == 0) continue;
        hold_small(e.held, weight);
      }
      SizeGroup& g = out_[e.size];
      grow_checked(g.nodes, e.size);
      for (Word bits = e.set; bits != 0; bits &= bits - 1) g.nodes.push_back(local_[std::countr_zero(bits)]);
      grow_checked(g.weights, 1);
      g.weights.push_back(weight);
      if (!e.top && e.size > 1) keep_for_later_stars(a, e.size, g.weights.size() - 1);
    }
  }

  // A top clique inside another adds no member to the family (its subsets
  // are the other's too), and the weights depend on the family alone, so
  // such a clique is dropped; the method needs top cliques of which none
  // holds another.  Maximal cliques never hold one another; other input
  // may.  Both lie in the star of the smaller one's smallest node a, where
  // the holders of its nodes all hold the other: it is found there, before
  // any star that holds it is settled.  Returns whether one was dropped.
  bool drop_contained(std::size_t a, std::span<const Index> tops) {
    const std::size_t tw = occ_words_;
    bool any = false;
    std::size_t work = 0;
    for (std::size_t i = 0; i < tops.size(); ++i) {
      const auto q = top(tops[i]);
      if (q[0] != a) continue;
      meet_.assign(tw, ~Word{0});
      for (Index b : q) {
        const Word* h = tw == 1 ? &node_hold_[b] : hold_.data() + std::size_t{slot_[b]} * tw;
        for (std::size_t j = 0; j < tw; ++j) meet_[j] &= h[j];
      }
      meet_[i / kWordBits] &= ~(Word{1} << (i % kWordBits));
      work += q.size() * tw;
      bool inside = false;
      for (std::size_t j = 0; j < tw && !inside; ++j) inside = meet_[j] != 0;
      if (inside) {
        if (dropped_.empty()) dropped_.assign(inc_.top_off.size() - 1, false);
        dropped_[tops[i]] = true;
        any = any_dropped_ = true;
      }
    }
    poll_.tick(tick_cost(work));
    return any;
  }

  // Phases 1 and 2: the shared nodes (held by two or more of the star's top
  // cliques) and their classes: twins, shared nodes held by exactly the same
  // top cliques, lie in the same intersections and form one class.  Each
  // node's holders are a bit set over the star's top cliques; the classes
  // are the distinct bit sets among the shared nodes, found by hashing and
  // numbered in order of their smallest node.  Nodes that are not shared
  // keep the class kNoIndex.
  template <std::size_t kT>
  void find_classes(std::span<const Index> tops) {
    const std::size_t tw = kT != 0 ? kT : occ_words_;
    touched_.clear();
    std::size_t work = 0;
    if constexpr (kT == 1) {
      // One word of holders per node, kept in place.
      for (std::size_t i = 0; i < tops.size(); ++i) {
        const Word bit = Word{1} << i;
        for (Index b : top(tops[i])) {
          if (node_hold_[b] == 0) touched_.push_back(b);
          node_hold_[b] |= bit;
        }
        work += top(tops[i]).size();
      }
    } else {
      hold_.clear();
      for (std::size_t i = 0; i < tops.size(); ++i) {
        const Word bit = Word{1} << (i % kWordBits);
        for (Index b : top(tops[i])) {
          Index s = slot_[b];
          if (s == kNoIndex) {
            s = slot_[b] = static_cast<Index>(touched_.size());
            touched_.push_back(b);
            hold_.resize(hold_.size() + tw, 0);
          }
          hold_[std::size_t{s} * tw + i / kWordBits] |= bit;
        }
        work += top(tops[i]).size();
      }
    }
    auto holders_of = [&](Index b) -> const Word* {
      if constexpr (kT == 1) return &node_hold_[b];
      return hold_.data() + std::size_t{slot_[b]} * tw;
    };
    shared_.clear();
    for (Index b : touched_) {
      const Word* h = holders_of(b);
      bool two = false;
      if constexpr (kT == 1) {
        two = (h[0] & (h[0] - 1)) != 0;
      } else {
        std::size_t held = 0;
        for (std::size_t j = 0; j < tw && held < 2; ++j) held += popcount64(h[j]);
        two = held >= 2;
      }
      if (two) shared_.push_back(b);
    }
    std::sort(shared_.begin(), shared_.end());

    // Group by holders through a hash set of class numbers + 1.
    std::size_t slots = kMinClassSlots;
    while (slots < 2 * shared_.size()) slots *= 2;
    class_slots_.assign(slots, 0);
    class_occ_.clear();
    class_count_ = 0;
    const std::size_t mask = slots - 1;
    const int shift = static_cast<int>(kWordBits) - std::countr_zero(slots);
    for (Index b : shared_) {
      const Word* h = holders_of(b);
      std::size_t pos = 0;
      if constexpr (kT == 1)
        pos = static_cast<std::size_t>((h[0] * odd_key_) >> shift);
      else
        pos = static_cast<std::size_t>(hash_nodes(h, tw, odd_key_)) & mask;
      Index c = kNoIndex;
      for (; class_slots_[pos] != 0; pos = (pos + 1) & mask) {
        const Index k = class_slots_[pos] - 1;
        if (std::equal(h, h + tw, class_occ_.data() + std::size_t{k} * tw)) {
          c = k;
          break;
        }
      }
      if (c == kNoIndex) {
        c = static_cast<Index>(class_count_++);
        class_slots_[pos] = c + 1;
        for (std::size_t j = 0; j < tw; ++j) class_occ_.push_back(h[j]);
      }
      cls_[b] = c;
    }
    class_off_.assign(class_count_ + 1, 0);
    for (Index b : shared_) ++class_off_[std::size_t{cls_[b]} + 1];
    for (std::size_t c = 0; c < class_count_; ++c) class_off_[c + 1] += class_off_[c];
    class_nodes_.resize(shared_.size());
    class_fill_.assign(class_off_.begin(), class_off_.end() - 1);
    for (Index b : shared_) class_nodes_[class_fill_[cls_[b]]++] = b;
    words_ = std::max<std::size_t>(1, words_for_bits(class_count_));
    poll_.tick(tick_cost(work + shared_.size()));
  }

  // Phase 3: each top clique's shared part as a mask over the classes (the
  // generators).  The classes are numbered by their smallest node, so those
  // holding a node smaller than a (a clique meeting one of them is settled
  // elsewhere) are the first `below_count_`.  The cliques of non-zero weight
  // holding a that were settled at a smaller node enter the weighing first,
  // as masks.
  void build_masks(std::size_t a, std::span<const Index> tops) {
    const std::size_t t = tops.size();
    const std::size_t tw = occ_words_;
    gens_.assign(t * words_, 0);
    for (std::size_t c = 0; c < class_count_; ++c) {
      const Word* h = class_occ_.data() + c * tw;
      const Word bit = Word{1} << (c % kWordBits);
      for (std::size_t j = 0; j < tw; ++j)
        for (Word bits = h[j]; bits != 0; bits &= bits - 1)
          gens_[(j * kWordBits + static_cast<std::size_t>(std::countr_zero(bits))) * words_ + c / kWordBits] |= bit;
    }
    below_count_ = 0;
    while (below_count_ < class_count_ && class_nodes_[class_off_[below_count_]] < a) ++below_count_;

    poll_.tick(tick_cost(gens_.size()));
  }

  // The cliques of non-zero weight holding a that were settled at a smaller
  // node, as the first entries of the weighing, by their masks.
  void enter_earlier_masks(std::size_t a) {
    heavy_.clear();
    heavy_weight_.clear();
    if (listed_) {
      for (std::size_t c = 0; c < lists_.size(); ++c) lists_[c].clear();
      listed_ = false;
    }
    if (lists_.size() < class_count_) lists_.resize(class_count_);
    holders_.assign(class_count_, 0);
    meet_.resize(words_);
    std::size_t work = 0;
    for (Index link = earlier_head_[a]; link != kNoIndex; link = earlier_next_[link]) {
      const KeptRef k = earlier_set_[link];
      // Every node of such a clique lies in two or more top cliques of
      // this star (it is their intersection), so it has a class.
      std::fill(meet_.begin(), meet_.end(), Word{0});
      bool inside = true;
      for (Index b : kept(k)) {
        const Index c = cls_[b];
        inside = c != kNoIndex;
        if (!inside) break;
        meet_[c / kWordBits] |= Word{1} << (c % kWordBits);
      }
      if (inside) add_heavy(meet_.data(), out_[k.size].weights[k.pos]);
      work += k.size;
    }
    poll_.tick(tick_cost(work));
  }

  // The same by their holders, for stars of at most 64 top cliques: a
  // clique's holders are the AND of its nodes' holders.
  void enter_earlier_holders(std::size_t a) {
    held_occ_.clear();
    held_weight_.clear();
    std::size_t work = 0;
    for (Index link = earlier_head_[a]; link != kNoIndex; link = earlier_next_[link]) {
      const KeptRef k = earlier_set_[link];
      Word occ = ~Word{0};
      for (Index b : kept(k)) occ &= node_hold_[b];
      held_occ_.push_back(occ);
      held_weight_.push_back(out_[k.size].weights[k.pos]);
      work += k.size;
    }
    poll_.tick(tick_cost(work));
  }

  // Clears what the star marked per node.
  void release_star() {
    for (Index b : touched_) {
      slot_[b] = kNoIndex;
      cls_[b] = kNoIndex;
      node_hold_[b] = 0;
    }
  }

  // Phase 4: the intersections of two or more top cliques of the star that
  // meet no class below a, each once.  They are the closed sets of the
  // generators (a set of classes equal to the intersection of the
  // generators holding it) with two or more holders.  The search starts from
  // the intersection of all generators and extends a closed set P by one
  // class i at a time: the closure Q of P + i (the intersection of the
  // generators holding both) is kept only if it adds no class smaller than
  // i, and then extended by classes after i.  Every closed set has exactly
  // one such parent, so each is reached once; a set meeting a class below a
  // is never reached, nor is anything above it.
  //
  // The holders of every P + i are dealt out in one pass over the holders
  // of P (occurrence deliver), so a closed set costs the size of the part
  // of the star above it rather than the number of classes times the
  // number of top cliques.
  void enumerate_closed() {
    const std::size_t w = words_;
    const std::size_t t = gens_.size() / w;
    items_.clear();
    support_.clear();
    meet_.assign(w, ~Word{0});
    for (std::size_t i = 0; i < t; ++i)
      for (std::size_t j = 0; j < w; ++j) meet_[j] &= gens_[i * w + j];
    for (std::size_t c = 0; c < below_count_; ++c)
      if ((meet_[c / kWordBits] >> (c % kWordBits) & 1) != 0) return;
    keep_closed(meet_.data(), t);
    deal_.resize(t);
    for (std::size_t i = 0; i < t; ++i) deal_[i] = static_cast<Index>(i);
    frames_.clear();
    buckets_.clear();
    if (bucket_fill_.size() < class_count_) bucket_fill_.resize(class_count_, 0);
    open_frame(0, 0, t, below_count_);
    while (!frames_.empty()) {
      Frame& f = frames_.back();
      if (f.cursor == buckets_.size()) {
        deal_.resize(f.deal_mark);
        buckets_.resize(f.bucket_mark);
        frames_.pop_back();
        continue;
      }
      const Bucket b = buckets_[f.cursor++];
      const Index parent = f.item;
      std::fill(meet_.begin(), meet_.end(), ~Word{0});
      for (std::size_t r = b.begin; r < b.begin + b.size; ++r) {
        const Word* g = gens_.data() + std::size_t{deal_[r]} * w;
        for (std::size_t j = 0; j < w; ++j) meet_[j] &= g[j];
      }
      poll_.tick(tick_cost(b.size * w));
      // Prefix preserved: Q and P agree on the classes before i.
      const Word* p = items_.data() + std::size_t{parent} * w;
      const std::size_t iw = b.cls / kWordBits;
      bool same_prefix = ((meet_[iw] ^ p[iw]) & low_bits(b.cls % kWordBits)) == 0;
      for (std::size_t x = 0; x < iw && same_prefix; ++x) same_prefix = meet_[x] == p[x];
      if (!same_prefix) continue;
      keep_closed(meet_.data(), b.size);
      open_frame(static_cast<Index>(support_.size() - 1), b.begin, b.size, b.cls + 1);
    }
  }

  // Deals the holders deal_[from .. from+count) of closed set `item` out to
  // the classes from `next` on that it lacks, one bucket per class held by
  // two or more of them, and opens the frame that will try them.
  void open_frame(Index item, std::size_t from, std::size_t count, std::size_t next) {
    const std::size_t w = words_;
    frames_.push_back({item, buckets_.size(), deal_.size(), buckets_.size()});
    const Word* p = items_.data() + std::size_t{item} * w;
    const std::size_t first_word = next / kWordBits;
    dealt_.clear();
    for (std::size_t r = from; r < from + count; ++r) {
      const Word* g = gens_.data() + std::size_t{deal_[r]} * w;
      for (std::size_t j = first_word; j < w; ++j) {
        Word bits = g[j] & ~p[j];
        if (j == first_word) bits &= ~low_bits(next % kWordBits);
        for (; bits != 0; bits &= bits - 1) {
          const std::size_t c = j * kWordBits + static_cast<std::size_t>(std::countr_zero(bits));
          if (bucket_fill_[c]++ == 0) dealt_.push_back(static_cast<Index>(c));
        }
      }
    }
    std::size_t at = deal_.size();
    for (Index c : dealt_) {
      const std::size_t n = bucket_fill_[c];
      if (n < 2) {
        bucket_fill_[c] = 0;
        continue;
      }
      buckets_.push_back({c, at, n});
      bucket_fill_[c] = at;  // now where the next holder goes
      at += n;
    }
    grow_checked(deal_, at - deal_.size());
    deal_.resize(at);
    for (std::size_t r = from; r < from + count; ++r) {
      const Index top_index = deal_[r];
      const Word* g = gens_.data() + std::size_t{top_index} * w;
      for (std::size_t j = first_word; j < w; ++j) {
        Word bits = g[j] & ~p[j];
        if (j == first_word) bits &= ~low_bits(next % kWordBits);
        for (; bits != 0; bits &= bits - 1) {
          const std::size_t c = j * kWordBits + static_cast<std::size_t>(std::countr_zero(bits));
          if (bucket_fill_[c] != 0) deal_[bucket_fill_[c]++] = top_index;
        }
      }
    }
    for (Index c : dealt_) bucket_fill_[c] = 0;
    poll_.tick(tick_cost(count * w + dealt_.size()));
  }

  // The same for masks and holder sets of one word each.
  void enumerate_closed_one_word() {
    items_.clear();
    support_.clear();
    const std::size_t t = gens_.size();
    Word root = ~Word{0};
    for (Word g : gens_) root &= g;
    if ((root & low_bits(below_count_)) != 0) return;
    keep_closed(&root, t);
    items_occ_.clear();
    items_occ_.push_back(low_bits(t));
    const Word classes = low_bits(class_count_) & ~low_bits(below_count_);
    frame_p_.resize(class_count_ + 2);
    frame_occ_.resize(class_count_ + 2);
    next_.resize(class_count_ + 2);
    frame_p_[0] = root;
    frame_occ_[0] = low_bits(t);
    next_[0] = static_cast<Index>(below_count_);
    std::size_t depth = 1;
    while (depth > 0) {
      const std::size_t f = depth - 1;
      const Word p = frame_p_[f], occ = frame_occ_[f];
      Word tries = classes & ~p & ~low_bits(next_[f]);
      bool pushed = false;
      while (tries != 0) {
        const std::size_t i = static_cast<std::size_t>(std::countr_zero(tries));
        tries &= tries - 1;
        const Word held = occ & class_occ_[i];
        if ((held & (held - 1)) == 0) continue;  // fewer than two holders
        Word q = ~Word{0};
        std::size_t count = 0;
        for (Word bits = held; bits != 0; bits &= bits - 1, ++count) q &= gens_[static_cast<std::size_t>(std::countr_zero(bits))];
        poll_.tick(static_cast<std::uint32_t>(count));
        if (((q ^ p) & low_bits(i)) != 0) continue;  // prefix not preserved
        keep_closed(&q, count);
        items_occ_.push_back(held);
        next_[f] = static_cast<Index>(i + 1);
        frame_p_[depth] = q;
        frame_occ_[depth] = held;
        next_[depth] = static_cast<Index>(i + 1);
        ++depth;
        pushed = true;
        break;
      }
      if (!pushed) --depth;
    }
  }

  // Records a closed set with its number of holders.
  bool keep_closed(const Word* m, std::size_t holders) {
    if (support_.size() + 1 >= kNoIndex) throw std::bad_alloc();
    grow_checked(items_, words_);
    for (std::size_t j = 0; j < words_; ++j) items_.push_back(m[j]);
    grow_checked(support_, 1);
    support_.push_back(static_cast<Index>(holders));
    return true;
  }

  // Phase 5: weigh the closed sets from the most classes down (a counting
  // sort by class count: a set strictly inside another has fewer classes).
  // The cover of S is the number of top cliques holding it (each has weight
  // 1 and strictly contains S) plus the weights of the cliques of non-zero
  // weight strictly containing it: those settled at smaller nodes, and
  // those of this star weighed before it.
  void weigh_closed() {
    const std::size_t w = words_;
    const std::size_t m = support_.size();
    level_.assign(class_count_ + 2, 0);
    bits_.resize(m);
    for (std::size_t i = 0; i < m; ++i) {
      std::size_t c = 0;
      for (std::size_t j = 0; j < w; ++j) c += popcount64(items_[i * w + j]);
      bits_[i] = static_cast<Index>(c);
      ++level_[class_count_ - c + 1];
    }
    for (std::size_t c = 0; c <= class_count_; ++c) level_[c + 1] += level_[c];
    order_.resize(m);
    for (std::size_t i = 0; i < m; ++i) order_[level_[class_count_ - bits_[i]]++] = static_cast<Index>(i);

    for (std::size_t r = 0; r < m; ++r) {
      const Index i = order_[r];
      const Word* s = items_.data() + std::size_t{i} * w;
      const std::uint64_t cover =
          std::uint64_t{support_[i]} + (listed_ ? listed_cover(s) : marked_cover(s));
      const Weight weight = wrap_sub(1, static_cast<Weight>(cover));
      if (weight == 0) continue;
      add_heavy(s, weight);
      emit_mask(s, bits_[i], weight);
    }
  }

  // The same for stars of one word, in terms of holders: U strictly contains
  // S exactly when U's holders are a subset of S's (a closed set is the
  // intersection of its holders), so a cover is one pass over the entries
  // weighed so far.  The closed sets go from the most classes down.
  void weigh_one_word() {
    const std::size_t m = support_.size();
    level_.assign(class_count_ + 2, 0);
    bits_.resize(m);
    for (std::size_t i = 0; i < m; ++i) {
      bits_[i] = static_cast<Index>(popcount64(items_[i]));
      ++level_[class_count_ - bits_[i] + 1];
    }
    for (std::size_t c = 0; c <= class_count_; ++c) level_[c + 1] += level_[c];
    order_.resize(m);
    for (std::size_t i = 0; i < m; ++i) order_[level_[class_count_ - bits_[i]]++] = static_cast<Index>(i);
    for (std::size_t r = 0; r < m; ++r) {
      const Index i = order_[r];
      const Word occ = items_occ_[i];
      std::uint64_t cover = support_[i];
      const std::size_t held = held_occ_.size();
      for (std::size_t h = 0; h < held; ++h)
        cover += (held_occ_[h] & ~occ) == 0 ? static_cast<std::uint64_t>(held_weight_[h]) : 0;
      poll_.tick(tick_cost(held));
      const Weight weight = wrap_sub(1, static_cast<Weight>(cover));
      if (weight == 0) continue;
      held_occ_.push_back(occ);
      held_weight_.push_back(weight);
      emit_mask(&items_[i], bits_[i], weight);
    }
  }

  // The sum of the weights of the entries weighed so far that contain s:
  // while they are few, by the word of each class of s that marks the
  // entries holding it ...
  std::uint64_t marked_cover(const Word* s) const {
    Word holders = ~Word{0};
    for (std::size_t j = 0; j < words_; ++j)
      for (Word bits = s[j]; bits != 0; bits &= bits - 1)
        holders &= holders_[j * kWordBits + static_cast<std::size_t>(std::countr_zero(bits))];
    std::uint64_t cover = 0;
    for (; holders != 0; holders &= holders - 1)
      cover += static_cast<std::uint64_t>(heavy_weight_[static_cast<std::size_t>(std::countr_zero(holders))]);
    return cover;
  }

  // ... or only those that hold the rarest class of s.
  std::uint64_t listed_cover(const Word* s) {
    const std::size_t w = words_;
    const std::vector<Index>* rarest = nullptr;
    for (std::size_t j = 0; j < w; ++j) {
      for (Word bits = s[j]; bits != 0; bits &= bits - 1) {
        const auto& list = lists_[j * kWordBits + static_cast<std::size_t>(std::countr_zero(bits))];
        if (rarest == nullptr || list.size() < rarest->size()) rarest = &list;
      }
    }
    if (rarest == nullptr) return 0;
    std::uint64_t cover = 0;
    for (Index h : *rarest) {
      const Word* u = heavy_.data() + std::size_t{h} * w;
      bool holds = true;
      for (std::size_t j = 0; j < w; ++j) holds = holds && (u[j] & s[j]) == s[j];
      if (holds) cover += static_cast<std::uint64_t>(heavy_weight_[h]);
    }
    poll_.tick(tick_cost(rarest->size() * w));
    return cover;
  }

  void add_heavy(const Word* m, Weight weight) {
    const Index h = static_cast<Index>(heavy_weight_.size());
    grow_checked(heavy_, words_);
    if (words_ == 1) {
      heavy_.push_back(m[0]);
    } else {
      heavy_.insert(heavy_.end(), m, m + words_);
    }
    heavy_weight_.push_back(weight);
    if (h < kMarkedEntries) {
      for (std::size_t j = 0; j < words_; ++j)
        for (Word bits = m[j]; bits != 0; bits &= bits - 1)
          holders_[j * kWordBits + static_cast<std::size_t>(std::countr_zero(bits))] |= Word{1} << h;
      return;
    }
    if (!listed_) {
      // From here on, each class lists the entries holding it.
      listed_ = true;
      for (Index e = 0; e < h; ++e) list_entry(e);
    }
    list_entry(h);
  }

  void list_entry(Index h) {
    const Word* m = heavy_.data() + std::size_t{h} * words_;
    for (std::size_t j = 0; j < words_; ++j)
      for (Word bits = m[j]; bits != 0; bits &= bits - 1)
        lists_[j * kWordBits + static_cast<std::size_t>(std::countr_zero(bits))].push_back(h);
  }

  void emit_top(Index t) {
    const std::size_t start = nodes_.size();
    for (Index b : top(t)) nodes_.push_back(b);
    emitted_.push_back({start, nodes_.size() - start, 1, false});
  }

  // Emits a clique of the closure (its smallest node is a).  A clique of a
  // alone is in no other star and is not kept for later ones.
  void emit_mask(const Word* s, std::size_t classes, Weight weight) {
    const std::size_t start = nodes_.size();
    for (std::size_t j = 0; j < words_; ++j) {
      for (Word bits = s[j]; bits != 0; bits &= bits - 1) {
        const std::size_t c = j * kWordBits + static_cast<std::size_t>(std::countr_zero(bits));
        for (std::size_t r = class_off_[c]; r < class_off_[c + 1]; ++r) nodes_.push_back(class_nodes_[r]);
      }
    }
    // Classes interleave in node order only when one holds several nodes.
    if (nodes_.size() - start > classes) std::sort(nodes_.begin() + static_cast<std::ptrdiff_t>(start), nodes_.end());
    const std::size_t size = nodes_.size() - start;
    emitted_.push_back({start, size, weight, size > 1});
  }

  // Lists the clique at `pos` of its size group (dense numbers, a first)
  // under each of its other nodes, for their stars.
  void keep_for_later_stars(std::size_t a, std::size_t size, std::size_t pos) {
    if (pos >= kNoIndex || earlier_set_.size() + size >= kNoIndex) throw std::bad_alloc();
    grow_checked(earlier_set_, size);
    grow_checked(earlier_next_, size);
    const KeptRef ref{static_cast<Index>(size), static_cast<Index>(pos)};
    for (Index b : kept(ref)) {
      if (b == a) continue;
      earlier_next_.push_back(earlier_head_[b]);
      earlier_head_[b] = static_cast<Index>(earlier_set_.size());
      earlier_set_.push_back(ref);
    }
  }

  // Appends this node's cliques to their size groups.  All start with the
  // node, and nodes are settled in ascending order, so sorting them here
  // keeps every size group ascending.
  void flush(std::size_t a) {
    if (emitted_.size() > 1) {
      std::sort(emitted_.begin(), emitted_.end(), [&](const Emitted& x, const Emitted& y) {
        if (x.size != y.size) return x.size > y.size;
        return std::lexicographical_compare(nodes_.begin() + static_cast<std::ptrdiff_t>(x.start),
                                            nodes_.begin() + static_cast<std::ptrdiff_t>(x.start + x.size),
                                            nodes_.begin() + static_cast<std::ptrdiff_t>(y.start),
                                            nodes_.begin() + static_cast<std::ptrdiff_t>(y.start + y.size));
      });
    }
    for (const Emitted& e : emitted_) {
      SizeGroup& g = out_[e.size];
      grow_checked(g.nodes, e.size);
      g.nodes.insert(g.nodes.end(), nodes_.begin() + static_cast<std::ptrdiff_t>(e.start),
                     nodes_.begin() + static_cast<std::ptrdiff_t>(e.start + e.size));
      grow_checked(g.weights, 1);
      g.weights.push_back(e.weight);
      if (e.keep) keep_for_later_stars(a, e.size, g.weights.size() - 1);
    }
  }

  // The size groups, largest first, then the empty top clique if any.
  WeightedCliques gather() {
    WeightedCliques result;
    std::size_t cliques = inc_.empty_top ? 1 : 0, nodes = 0;
    for (const SizeGroup& g : out_) {
      cliques += g.weights.size();
      nodes += g.nodes.size();
    }
    auto& offsets = result.cliques.offsets();
    reserve_checked(result.cliques.nodes(), nodes);
    reserve_checked(offsets, cliques + 1);
    reserve_checked(result.weights, cliques);
    for (std::size_t k = out_.size(); k-- > 0;) {
      SizeGroup& g = out_[k];
      for (Index b : g.nodes) result.cliques.nodes().push_back(inc_.node(b));
      result.weights.insert(result.weights.end(), g.weights.begin(), g.weights.end());
      for (std::size_t i = 0; i < g.weights.size(); ++i) offsets.push_back(offsets.back() + k);
      poll_.tick(tick_cost(g.nodes.size()));
      g = SizeGroup{};
    }
    if (inc_.empty_top) {
      result.cliques.close_seq();
      result.weights.push_back(1);
    }
    return result;
  }

  const TopIncidence& inc_;
  InterruptPoll& poll_;
  TopIncidence* spent_;
  const std::uint64_t odd_key_ = hash_seed() | 1;
  // Per node: its place among the star's nodes and its class (kNoIndex
  // outside the star).  Per place, the top cliques holding the node.
  std::vector<Index> slot_, cls_;
  std::vector<Index> touched_, shared_;
  // Top cliques found inside others, left out of every star.
  std::vector<bool> dropped_;
  bool any_dropped_ = false;
  std::vector<Index> live_;
  std::vector<Word> hold_;
  std::vector<Word> node_hold_;  // the same per node, for stars of one word
  // The classes' holders and a hash set of class numbers + 1.
  std::vector<Index> class_slots_;
  std::size_t class_count_ = 0, words_ = 1;
  std::vector<std::size_t> class_off_, class_fill_;
  std::vector<Index> class_nodes_;
  std::vector<Word> gens_;
  std::size_t below_count_ = 0;  // classes holding a node smaller than the star's
  // Per class, the top cliques of the star holding it (occ_words_ words).
  std::size_t occ_words_ = 1;
  std::vector<Word> class_occ_;
  // The closed sets found, with their numbers of holders; the search's
  // frames (holders, next class to try, closed set) by depth.
  std::vector<Word> items_, meet_;
  std::vector<Index> support_, next_;
  // The listing's frames; per frame the buckets of holders dealt out to
  // the classes it tries (in deal_ above the frame's holders).
  struct Frame {
    Index item;
    std::size_t cursor, deal_mark, bucket_mark;
  };
  struct Bucket {
    std::size_t cls, begin, size;
  };
  std::vector<Frame> frames_;
  std::vector<Bucket> buckets_;
  std::vector<Index> deal_, dealt_;
  std::vector<std::size_t> bucket_fill_;
  std::vector<Word> frame_p_, frame_occ_, items_occ_;
  // One-word stars: the holders and weights of the entries weighed so far.
  std::vector<Word> held_occ_;
  WeightList held_weight_;
  std::vector<Index> bits_, order_;
  std::vector<std::size_t> level_;
  // Entries weighed so far with a non-zero weight, and per class the
  // entries holding it.
  std::vector<Word> heavy_;
  WeightList heavy_weight_;
  std::vector<std::vector<Index>> lists_;
  bool listed_ = false;
  std::vector<Word> holders_;  // class -> the first kMarkedEntries entries holding it
  // Per node, the cliques of non-zero weight emitted from closed sets that
  // hold it and were settled at a smaller node (linked through
  // earlier_next_).
  std::vector<Index> earlier_head_, earlier_next_;
  std::vector<KeptRef> earlier_set_;
  std::vector<Index> nodes_;
  std::vector<Emitted> emitted_;
  // Small stars: the neighbourhood in ascending order, per place its
  // holders, per top clique its mask, and the sets to weigh.
  struct SmallEntry {
    Word set, held;
    Index size;
    bool top;
  };
  std::vector<Index> local_;
  std::array<Word, kSmallStarNodes> small_hold_{};
  std::array<Word, kSmallStarTops> small_gens_{};
  std::vector<SmallEntry> entries_;
  // The sets of non-zero weight weighed so far, listed by lowest holder.
  struct HeldSmall {
    Word occ;
    Weight weight;
    Index next;
  };
  std::vector<HeldSmall> small_held_;
  std::array<Index, kSmallStarTops> held_head_{};
  std::vector<SizeGroup> out_;  // by size
};

}  // namespace

WeightedCliques weigh_by_closure(TopIncidence&& tops, InterruptPoll& poll) {
  return ClosureWeigher(tops, poll, &tops).run();
}

}  // namespace vexa::graph
