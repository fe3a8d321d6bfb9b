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
// Masks are as wide as the star needs (any number of 64-bit words); a star
// that fits one word, nodes and top cliques alike, takes a shorter path
// (closure_small_stars.cpp).
//
// The files: top_incidence.cpp indexes the top cliques; this one runs the
// stars; closure_listing.cpp lists a star's closed sets,
// closure_weighing.cpp weighs them, closure_gathering.cpp writes the result
// in order; closure_weigher.hpp holds the state they share.
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

#include "bits.hpp"
#include "closure_weigher.hpp"
#include "memory_room.hpp"

namespace vexa::graph {

namespace closure {

WeightedCliques ClosureWeigher::run() {
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

// The cliques whose smallest node is a.
void ClosureWeigher::settle(std::size_t a) {
  auto tops = star(a);
  if (any_dropped_) {
    live_.clear();
    for (Index t : tops)
      if (!dropped_[t]) live_.push_back(t);
    tops = live_;
  }
  if (tops.empty()) return;
  if (small_stars_ && tops.size() <= kSmallStarTops) {
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
    find_classes(tops);
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

// A top clique inside another adds no member to the family (its subsets
// are the other's too), and the weights depend on the family alone, so
// such a clique is dropped; the method needs top cliques of which none
// holds another.  Maximal cliques never hold one another; other input
// may.  Both lie in the star of the smaller one's smallest node a, where
// the holders of its nodes all hold the other: it is found there, before
// any star that holds it is settled.  Returns whether one was dropped.
bool ClosureWeigher::drop_contained(std::size_t a, std::span<const Index> tops) {
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

// Clears what the star marked per node.
void ClosureWeigher::release_star() {
  for (Index b : touched_) {
    slot_[b] = kNoIndex;
    cls_[b] = kNoIndex;
    node_hold_[b] = 0;
  }
}
}  // namespace closure

WeightedCliques weigh_by_closure(TopIncidence&& tops, InterruptPoll& poll, bool small_stars) {
  return closure::ClosureWeigher(tops, poll, &tops, small_stars).run();
}

}  // namespace vexa::graph
