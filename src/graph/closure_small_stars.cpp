// Small stars: the cliques settled at node a when its star has at most 64
// top cliques over a closed neighbourhood of at most 64 nodes, the common
// case in sparse graphs (on a random geometric graph of mean degree 16 a
// node lies in about 14 maximal cliques within about 18 nodes).
//
// Every set is one machine word over the neighbourhood, bit p for its p-th
// smallest node, and every node has its holders, one bit per top clique of
// the star.  The intersections whose smallest node is a are the closed sets
// (equal to the intersection of the top cliques holding them) that hold no
// bit below a's; they are listed each once by prefix-preserving closure
// extension (Uno, Asai, Uchida and Arimura, LCM, 2004) over the shared
// nodes above a, and weighed from the largest down against the sets of
// non-zero weight whose holders lie inside theirs, listed under their
// lowest holder.  The masks give the result order for free: a mask lists
// its nodes in ascending order, and of two sets of one size the one holding
// the lowest bit where they differ comes first.
//
// Cost, for a star of t top cliques of total size z over n nodes, with m
// intersections settled there and e earlier ones holding a: O(z + n log n)
// to build the masks, O(m n t) at most for the listing (each set tries each
// node once, a try intersects at most t masks), O((m + e) m) at most for the
// weighing, and the output.
#include "closure_weigher.hpp"

#include <algorithm>
#include <bit>

#include "bits.hpp"
#include "memory_room.hpp"

namespace vexa::graph::closure {

// A star of at most kSmallStarTops top cliques over a closed neighbourhood
// of at most kSmallStarNodes nodes, on one word per set: bit p stands for
// the p-th smallest node of the neighbourhood, so the nodes below a are
// the bits below a's, a mask lists its nodes in ascending order, and of
// two sets of one size the one holding the lowest bit where they differ
// comes first in the result.  Per node, the top cliques holding it (its
// holders, one bit per top clique of the star).  Returns `wide` without
// a trace when the neighbourhood is too large, `dropped` when a top
// clique inside another was dropped (the star is then settled again).
ClosureWeigher::SmallStar ClosureWeigher::settle_small(std::size_t a, std::span<const Index> tops) {
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

// The top cliques of the small star holding a node below place p.
Word ClosureWeigher::low_hold(std::size_t p) const {
  Word any = 0;
  for (std::size_t q = 0; q < p; ++q) any |= small_hold_[q];
  return any;
}

// Enters a set of non-zero weight into the list of its lowest holder.
void ClosureWeigher::hold_small(Word occ, Weight weight) {
  const std::size_t b = static_cast<std::size_t>(std::countr_zero(occ));
  small_held_.push_back({occ, weight, held_head_[b]});
  held_head_[b] = static_cast<Index>(small_held_.size() - 1);
}

// The cliques of non-zero weight holding a that were settled at a smaller
// node, by their holders (the AND of their nodes' holders; every node of
// one lies in the neighbourhood).
void ClosureWeigher::enter_earlier_small(std::size_t a) {
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
std::size_t ClosureWeigher::list_closed_small(std::size_t t, std::size_t pa) {
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
// enter_earlier_small()) and the ones of this star weighed before it.
void ClosureWeigher::weigh_and_flush_small(std::size_t a) {
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
}  // namespace vexa::graph::closure
