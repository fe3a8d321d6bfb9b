// The closure weigher's state and steps, shared by the files that make up
// the weighing by closure of intersections: the star by star run
// (weights_by_closure.cpp), small stars on one word per set
// (closure_small_stars.cpp), listing the closed sets of a star
// (closure_listing.cpp), weighing them (closure_weighing.cpp) and gathering
// the result (closure_gathering.cpp).  Not for use outside these files.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "bits.hpp"
#include "hash.hpp"
#include "interrupt.hpp"
#include "types.hpp"
#include "top_incidence.hpp"

namespace vexa::graph::closure {

using Word = std::uint64_t;
inline constexpr std::size_t kWordBits = 64;

// The first entries weighed in a star are marked in one word per class, so
// that the entries containing a clique are the AND of its classes' words;
// beyond one word's worth, covers are summed over the entries listed under
// the rarest class of the clique weighed, which keeps large stars from
// turning quadratic in their entries.
inline constexpr std::size_t kMarkedEntries = kWordBits;
// A star of at most this many top cliques, over at most this many nodes,
// is settled on one machine word per set (closure_small_stars.cpp): no
// classes, no hash set, the nodes themselves are the bits.  Beyond one word
// the general listing with classes and masks of several words takes over.
// The limit is the word, not a measured break-even: on the maximal cliques
// of three sparse graphs the one-word path took 0.74 (random geometric,
// n 20,000, mean degree 16), 0.80 (preferential attachment, n 50,000, m 4)
// and 0.80 (G(2000, 0.02)) of the general path's instructions for the whole
// weighing (callgrind, maxrank 64, the closure forced).
inline constexpr std::size_t kSmallStarTops = kWordBits;
inline constexpr std::size_t kSmallStarNodes = kWordBits;
// Slots of the hash set of classes at least; it is kept at most half full.
inline constexpr std::size_t kMinClassSlots = 16;
// Frees a vector's memory, capacity included.
template <class Vector>
void release(Vector& v) noexcept {
  Vector().swap(v);
}

// Hands memory freed by the weighing back to the system where the
// allocator keeps it (closure_gathering.cpp).
void return_free_memory() noexcept;

// Settles, node by node, the cliques whose smallest node it is; buffers are
// reused from star to star.
class ClosureWeigher {
 public:
  // With `spent`, the incidence (the same object as inc) is freed as soon
  // as the weighing is done with it, all but the node numbers.  Without
  // `small_stars`, every star takes the general path.
  ClosureWeigher(const TopIncidence& inc, InterruptPoll& poll, TopIncidence* spent, bool small_stars)
      : inc_(inc), poll_(poll), spent_(spent), small_stars_(small_stars) {
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

  WeightedCliques run();

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

  // What the star returns when it tried the one-word path.
  enum class SmallStar { settled, dropped, wide };

  // The star by star run (weights_by_closure.cpp)
  void settle(std::size_t a);
  bool drop_contained(std::size_t a, std::span<const Index> tops);
  void release_star();

  // Small stars, one word per set (closure_small_stars.cpp)
  SmallStar settle_small(std::size_t a, std::span<const Index> tops);
  Word low_hold(std::size_t p) const;
  void enter_earlier_small(std::size_t a);
  std::size_t list_closed_small(std::size_t t, std::size_t pa);
  void weigh_and_flush_small(std::size_t a);
  void hold_small(Word occ, Weight weight);

  // Listing the closed sets of a star (closure_listing.cpp)
  void find_classes(std::span<const Index> tops);  // by the width of the holder sets
  template <std::size_t kT>
  void find_classes_of_width(std::span<const Index> tops);
  void build_masks(std::size_t a, std::span<const Index> tops);
  void enumerate_closed();
  void open_frame(Index item, std::size_t from, std::size_t count, std::size_t next);
  void enumerate_closed_one_word();
  bool keep_closed(const Word* m, std::size_t holders);

  // Weighing them (closure_weighing.cpp)
  void enter_earlier_masks(std::size_t a);
  void enter_earlier_holders(std::size_t a);
  void weigh_closed();
  void weigh_one_word();
  std::uint64_t marked_cover(const Word* s) const;
  std::uint64_t listed_cover(const Word* s);
  void add_heavy(const Word* m, Weight weight);
  void list_entry(Index h);

  // Gathering the result (closure_gathering.cpp)
  void emit_top(Index t);
  void emit_mask(const Word* s, std::size_t classes, Weight weight);
  void keep_for_later_stars(std::size_t a, std::size_t size, std::size_t pos);
  void flush(std::size_t a);
  WeightedCliques gather();

  const TopIncidence& inc_;
  InterruptPoll& poll_;
  TopIncidence* spent_;
  const bool small_stars_;
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

}  // namespace vexa::graph::closure
