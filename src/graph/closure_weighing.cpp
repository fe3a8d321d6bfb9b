// Weighing the closed sets of a star: from the most classes down, each gets
// 1 minus its cover, the number of top cliques holding it plus the weights
// of the sets of non-zero weight strictly containing it, those settled at a
// smaller node (entered first) and those of this star weighed before it.
// A set strictly contains another exactly when its holders are a subset of
// the other's (a closed set is the intersection of its holders).
//
// Cost, for m sets listed at the star and e earlier ones: O((m + e) m w)
// at most on masks of w words; with one word of holders a cover is one pass
// over the sets weighed so far; in wide stars, beyond kMarkedEntries, only
// the sets holding the rarest class of the set weighed are looked at.
#include "closure_weigher.hpp"

#include <bit>
#include <new>

#include "bits.hpp"
#include "memory_room.hpp"

namespace vexa::graph::closure {

// The cliques of non-zero weight holding a that were settled at a smaller
// node, as the first entries of the weighing, by their masks.
void ClosureWeigher::enter_earlier_masks(std::size_t a) {
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
void ClosureWeigher::enter_earlier_holders(std::size_t a) {
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

// Phase 5: weigh the closed sets from the most classes down (a counting
// sort by class count: a set strictly inside another has fewer classes).
// The cover of S is the number of top cliques holding it (each has weight
// 1 and strictly contains S) plus the weights of the cliques of non-zero
// weight strictly containing it: those settled at smaller nodes, and
// those of this star weighed before it.
void ClosureWeigher::weigh_closed() {
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
void ClosureWeigher::weigh_one_word() {
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
std::uint64_t ClosureWeigher::marked_cover(const Word* s) const {
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
std::uint64_t ClosureWeigher::listed_cover(const Word* s) {
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

void ClosureWeigher::add_heavy(const Word* m, Weight weight) {
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

void ClosureWeigher::list_entry(Index h) {
  const Word* m = heavy_.data() + std::size_t{h} * words_;
  for (std::size_t j = 0; j < words_; ++j)
    for (Word bits = m[j]; bits != 0; bits &= bits - 1)
      lists_[j * kWordBits + static_cast<std::size_t>(std::countr_zero(bits))].push_back(h);
}
}  // namespace vexa::graph::closure
