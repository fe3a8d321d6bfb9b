// Listing the closed sets of a star: the intersections of two or more of the
// top cliques holding node a whose smallest node is a, each once.
//
// The star's shared nodes are grouped into classes of twins (nodes held by
// exactly the same top cliques), each top clique becomes a mask over the
// classes, and the closed sets of these masks are listed by prefix-
// preserving closure extension, the method of Uno, Asai, Uchida and Arimura
// for closed itemsets (LCM, 2004): from the intersection of all masks, a
// closed set P is extended by one class i at a time, and the closure of
// P + i is kept only if it adds no class before i.  Each closed set has one
// such parent, so it is listed once, without a hash set; sets meeting a
// class below a are never reached.
//
// Cost, for a star of t top cliques of total size z with c classes (masks
// of w words, holder sets of v words) and m closed sets listed: O(z + c v)
// for the classes (hashing the holder sets), O(t w) for the masks, and
// O(m c (v + t w)) at most for the listing; the holders of all extensions of
// a set are dealt out in one pass over its own holders, so a set costs the
// part of the star above it.
#include "closure_weigher.hpp"

#include <algorithm>
#include <bit>
#include <new>

#include "bits.hpp"
#include "memory_room.hpp"

namespace vexa::graph::closure {

// Phases 1 and 2: the shared nodes (held by two or more of the star's top
// cliques) and their classes: twins, shared nodes held by exactly the same
// top cliques, lie in the same intersections and form one class.  Each
// node's holders are a bit set over the star's top cliques; the classes
// are the distinct bit sets among the shared nodes, found by hashing and
// numbered in order of their smallest node.  Nodes that are not shared
// keep the class kNoIndex.
template <std::size_t kT>
void ClosureWeigher::find_classes_of_width(std::span<const Index> tops) {
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

void ClosureWeigher::find_classes(std::span<const Index> tops) {
  if (occ_words_ == 1)
    find_classes_of_width<1>(tops);
  else
    find_classes_of_width<0>(tops);
}

// Phase 3: each top clique's shared part as a mask over the classes (the
// generators).  The classes are numbered by their smallest node, so those
// holding a node smaller than a (a clique meeting one of them is settled
// elsewhere) are the first `below_count_`.  The cliques of non-zero weight
// holding a that were settled at a smaller node enter the weighing first,
// as masks.
void ClosureWeigher::build_masks(std::size_t a, std::span<const Index> tops) {
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
void ClosureWeigher::enumerate_closed() {
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
void ClosureWeigher::open_frame(Index item, std::size_t from, std::size_t count, std::size_t next) {
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
void ClosureWeigher::enumerate_closed_one_word() {
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
bool ClosureWeigher::keep_closed(const Word* m, std::size_t holders) {
  if (support_.size() + 1 >= kNoIndex) throw std::bad_alloc();
  grow_checked(items_, words_);
  for (std::size_t j = 0; j < words_; ++j) items_.push_back(m[j]);
  grow_checked(support_, 1);
  support_.push_back(static_cast<Index>(holders));
  return true;
}
}  // namespace vexa::graph::closure
