// Weights by the closure of intersections, settled node by node.
//
// What it computes: for the family F of the top cliques and all their
// non-empty sub-cliques, weight(S) = 1 - (sum of the weights of the members
// of F strictly containing S), and returns the members of non-zero weight.
//
// Method.  Only intersections of top cliques can have a non-zero weight: if
// all top cliques containing S share a node v outside S, the members above S
// pair off as U and U + v and their weights cancel (the standard argument for
// the Moebius function of a lattice, Rota 1964).  So it suffices to weigh the
// closure of the top cliques under intersection, from the largest down.
// Every clique S is settled at its smallest node a, from the star of a (the
// top cliques holding a): all members above S hold a too.  Within a star,
//  - a node held by one top clique only (a private node) lies in no
//    intersection of two; a top clique with a private node is the only
//    member above its own shared part that holds that node, and has weight 1;
//  - the shared nodes held by exactly the same top cliques (twins) lie in the
//    same intersections, so they form one class, one bit of a mask;
//  - the shared parts of the top cliques are closed under intersection (each
//    new mask is intersected with every mask already present), and the closure
//    is weighed from the most classes down: S's cover is the sum of the
//    weights of the entries already weighed (top cliques with a private node,
//    and closure masks of non-zero weight) whose masks contain S; in a large
//    star only the entries holding S's rarest class are looked at.
// Masks are as wide as the star needs (any number of 64-bit words).
//
// Cost, for a star with t top cliques of total size z, c classes in w words
// and a closure of m masks: O(z log z) to find the classes, O(t m w) hash
// operations for the closure and at most O(m^2 w) for the weighing; summed
// over all nodes.  That is polynomial in the input and the closure, whatever
// the size of the cliques; expansion (weights_by_expansion.cpp) is
// exponential in it.
#include "weights_by_closure.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <new>
#include <span>

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
// Slots of the closure's hash set at least; it is kept at most half full.
constexpr std::size_t kMinClosureSlots = 64;
// The first entries weighed in a star are marked in one word per class, so
// that the entries containing a clique are the AND of its classes' words;
// beyond one word's worth, covers are summed over the entries listed under
// the rarest class of the clique weighed, which keeps large stars from
// turning quadratic in their entries.
constexpr std::size_t kMarkedEntries = kWordBits;
// Interrupt ticks are counted per unit of work; one call to tick() reports
// at most this much, well under a millisecond.
constexpr std::size_t kMaxTickCost = std::size_t{1} << 20;

std::uint32_t tick_cost(std::size_t units) {
  return static_cast<std::uint32_t>(std::min(units, kMaxTickCost) | 1);
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
  inc.star_off.assign(nodes + 2, 0);
  for (const SizeTable& table : tables) {
    if (table.width() == 0) continue;
    for (std::size_t e = 0; e < table.size(); ++e) {
      for (Node v : table.key(e)) {
        const Index b = dense(v);
        inc.top_nodes.push_back(b);
        ++inc.star_off[std::size_t{b} + 2];
      }
      inc.top_off.push_back(inc.top_nodes.size());
      poll.tick(tick_cost(table.width()));
    }
  }
  // Counting sort of (node, top) pairs by node: star_off[a + 1] is first
  // the start of a's run, then (after the fill) its end.
  for (std::size_t a = 0; a < nodes; ++a) inc.star_off[a + 2] += inc.star_off[a + 1];
  inc.star_tops.resize(total);
  for (std::size_t t = 0; t + 1 < inc.top_off.size(); ++t) {
    for (std::size_t i = inc.top_off[t]; i < inc.top_off[t + 1]; ++i)
      inc.star_tops[inc.star_off[std::size_t{inc.top_nodes[i]} + 1]++] = static_cast<Index>(t);
    poll.tick(tick_cost(inc.top_off[t + 1] - inc.top_off[t]));
  }
  inc.star_off.pop_back();
  return inc;
}

namespace {

// Settles, node by node, the cliques whose smallest node it is; buffers are
// reused from star to star.
class ClosureWeigher {
 public:
  ClosureWeigher(const TopIncidence& inc, InterruptPoll& poll) : inc_(inc), poll_(poll) {
    const std::size_t n = inc.node_count();
    count_.assign(n, 0);
    cls_.assign(n, 0);
    std::size_t largest = 0;
    for (std::size_t t = 0; t + 1 < inc.top_off.size(); ++t)
      largest = std::max(largest, inc.top_off[t + 1] - inc.top_off[t]);
    out_.resize(largest + 1);
  }

  WeightedCliques run() {
    for (std::size_t a = 0; a < inc_.node_count(); ++a) settle(a);
    return gather();
  }

 private:
  struct Emitted {
    std::size_t start, size;
    Weight weight;
  };
  struct SizeGroup {
    std::vector<Node> nodes;
    WeightList weights;
  };

  std::span<const Index> top(Index t) const {
    return {inc_.top_nodes.data() + inc_.top_off[t], inc_.top_off[t + 1] - inc_.top_off[t]};
  }
  std::span<const Index> star(std::size_t a) const {
    return {inc_.star_tops.data() + inc_.star_off[a], inc_.star_size(a)};
  }
  Word* mask(std::vector<Word>& v, std::size_t i) const { return v.data() + i * words_; }

  // The cliques whose smallest node is a.
  void settle(std::size_t a) {
    const auto tops = star(a);
    if (tops.empty()) return;
    emitted_.clear();
    nodes_.clear();
    if (tops.size() == 1) {
      if (top(tops[0])[0] == a) emit_top(tops[0]);
    } else {
      find_shared_nodes(tops);
      split_into_classes(tops);
      build_masks(a, tops);
      if (words_ == 1) {
        close_one_word();
        weigh_closure<1>();
      } else {
        close_under_intersection();
        weigh_closure<0>();
      }
    }
    flush();
  }

  // Phase 1: the nodes held by two or more of the star's top cliques,
  // ascending.
  void find_shared_nodes(std::span<const Index> tops) {
    touched_.clear();
    std::size_t work = 0;
    for (Index t : tops) {
      for (Index b : top(t))
        if (count_[b]++ == 0) touched_.push_back(b);
      work += top(t).size();
    }
    shared_.clear();
    for (Index b : touched_)
      if (count_[b] >= 2) shared_.push_back(b);
    std::sort(shared_.begin(), shared_.end());
    poll_.tick(tick_cost(work + shared_.size()));
  }

  // Phase 2: twins (shared nodes held by the same top cliques) form one
  // class.  The classes come from splitting the shared nodes by each top
  // clique in turn; they are numbered in order of their smallest node.
  void split_into_classes(std::span<const Index> tops) {
    Index next = 1;
    for (Index b : shared_) cls_[b] = 0;
    for (Index t : tops) {
      for (Index b : top(t)) {
        if (count_[b] < 2) continue;
        const Index old = cls_[b];
        if (old >= split_.size()) split_.resize(std::max<std::size_t>(2 * split_.size(), old + 1), kNoIndex);
        if (split_[old] == kNoIndex) {
          split_[old] = next++;
          split_touched_.push_back(old);
        }
        cls_[b] = split_[old];
      }
      for (Index old : split_touched_) split_[old] = kNoIndex;
      split_touched_.clear();
    }
    if (next > split_.size()) split_.resize(next, kNoIndex);
    class_count_ = 0;
    class_off_.clear();
    class_nodes_.clear();
    // Renumber in order of first appearance in the ascending shared nodes;
    // then gather each class's nodes (ascending).
    for (Index b : shared_) {
      Index& c = split_[cls_[b]];
      if (c == kNoIndex) c = static_cast<Index>(class_count_++);
    }
    class_off_.assign(class_count_ + 1, 0);
    for (Index b : shared_) {
      cls_[b] = split_[cls_[b]];
      ++class_off_[std::size_t{cls_[b]} + 1];
    }
    for (std::size_t c = 0; c < class_count_; ++c) class_off_[c + 1] += class_off_[c];
    class_nodes_.resize(shared_.size());
    class_fill_.assign(class_off_.begin(), class_off_.end() - 1);
    for (Index b : shared_) class_nodes_[class_fill_[cls_[b]]++] = b;
    // Reset the renumbering table for the next star.
    std::fill(split_.begin(), split_.begin() + next, kNoIndex);
    split_touched_.clear();
    words_ = std::max<std::size_t>(1, (class_count_ + kWordBits - 1) / kWordBits);
  }

  // Phase 3: each top clique's shared part as a mask.  Those with a private
  // node have weight 1 and are the first entries of the weighing; all are
  // generators of the closure.  Also the mask of the classes that hold a
  // node smaller than a: a clique meeting one of them is settled elsewhere.
  void build_masks(std::size_t a, std::span<const Index> tops) {
    gens_.assign(tops.size() * words_, 0);
    heavy_.clear();
    heavy_weight_.clear();
    if (listed_) {
      for (std::size_t c = 0; c < lists_.size(); ++c) lists_[c].clear();
      listed_ = false;
    }
    if (lists_.size() < class_count_) lists_.resize(class_count_);
    holders_.assign(class_count_, 0);
    for (std::size_t i = 0; i < tops.size(); ++i) {
      Word* m = mask(gens_, i);
      const auto q = top(tops[i]);
      std::size_t held = 0;
      for (Index b : q) {
        if (count_[b] >= 2) {
          m[cls_[b] / kWordBits] |= Word{1} << (cls_[b] % kWordBits);
          ++held;
        }
      }
      if (held < q.size()) {
        add_heavy(m, 1);
        if (q[0] == a) emit_top(tops[i]);
      }
    }
    for (Index b : touched_) count_[b] = 0;
    below_.assign(words_, 0);
    for (std::size_t c = 0; c < class_count_; ++c)
      if (class_nodes_[class_off_[c]] < a) below_[c / kWordBits] |= Word{1} << (c % kWordBits);
    poll_.tick(tick_cost(gens_.size()));
  }

  // Phase 4, one-word masks: the same with the masks as their own keys in
  // the slots (0 marks an empty slot: no mask is empty), placed by a
  // multiplicative hash with the process's odd key.
  void close_one_word() {
    items_.clear();
    slots_.assign(kMinClosureSlots, 0);
    slot_shift_ = kWordBits - static_cast<std::size_t>(std::countr_zero(kMinClosureSlots));
    for (const Word m : gens_) {
      const std::size_t before = items_.size();
      if (!add_word(m)) continue;
      for (std::size_t j = 0; j < before; ++j) {
        const Word x = items_[j];
        // x inside m meets it in x, m inside x in m: both present.
        if ((x & ~m) != 0 && (m & ~x) != 0 && (x & m) != 0) add_word(x & m);
      }
      poll_.tick(tick_cost(before));
    }
  }

  bool add_word(Word x) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t pos = static_cast<std::size_t>((x * odd_key_) >> slot_shift_);
    for (; slots_[pos] != 0; pos = (pos + 1) & mask)
      if (slots_[pos] == x) return false;
    slots_[pos] = x;
    grow_checked(items_, 1);
    items_.push_back(x);
    if (2 * items_.size() > slots_.size()) double_word_slots();
    return true;
  }

  [[gnu::noinline]] void double_word_slots() {
    std::vector<Word> fresh;
    reserve_checked(fresh, 2 * slots_.size());
    fresh.assign(2 * slots_.size(), 0);
    slots_.swap(fresh);
    --slot_shift_;
    const std::size_t mask = slots_.size() - 1;
    for (Word y : items_) {
      std::size_t pos = static_cast<std::size_t>((y * odd_key_) >> slot_shift_);
      while (slots_[pos] != 0) pos = (pos + 1) & mask;
      slots_[pos] = y;
    }
    poll_.tick(tick_cost(items_.size()));
  }

  // Phase 4, masks of several words: the closure of the generators under
  // intersection.  A new generator m adds m and m & x for every x present
  // but inside m; a generator already present adds nothing (the set is
  // closed).  Masks are kept by index + 1 in the slots, their hashes beside.
  void close_under_intersection() {
    const std::size_t w = words_;
    items_.clear();
    hashes_.clear();
    slots_.assign(kMinClosureSlots, 0);
    meet_.resize(w);
    const std::size_t gens = gens_.size() / w;
    for (std::size_t g = 0; g < gens; ++g) {
      const Word* m = gens_.data() + g * w;
      const std::size_t before = items_.size() / w;
      if (!insert(m)) continue;
      for (std::size_t j = 0; j < before; ++j) {
        const Word* x = items_.data() + j * w;
        Word any = 0, outside = 0;
        for (std::size_t i = 0; i < w; ++i) {
          any |= meet_[i] = m[i] & x[i];
          outside |= x[i] & ~m[i];
        }
        if (any != 0 && outside != 0) insert(meet_.data());
      }
      poll_.tick(tick_cost(before * w));
    }
  }

  // Adds mask m to the closure; false if it was there.
  bool insert(const Word* m) {
    const std::size_t w = words_;
    std::size_t mask = slots_.size() - 1;
    const std::uint64_t h = hash_nodes(m, w, seed_);
    std::size_t pos = h & mask;
    for (; slots_[pos] != 0; pos = (pos + 1) & mask) {
      const std::size_t i = static_cast<std::size_t>(slots_[pos] - 1);
      if (hashes_[i] == h && std::equal(m, m + w, items_.data() + i * w)) return false;
    }
    const std::size_t count = items_.size() / w;
    if (count + 1 >= kNoIndex) throw std::bad_alloc();
    grow_checked(items_, w);
    items_.insert(items_.end(), m, m + w);
    grow_checked(hashes_, 1);
    hashes_.push_back(h);
    slots_[pos] = count + 1;
    if (2 * (count + 1) > slots_.size()) {
      std::vector<Word> fresh;
      reserve_checked(fresh, 2 * slots_.size());
      fresh.assign(2 * slots_.size(), 0);
      slots_.swap(fresh);
      mask = slots_.size() - 1;
      for (std::size_t i = 0; i <= count; ++i) {
        for (pos = hashes_[i] & mask; slots_[pos] != 0; pos = (pos + 1) & mask) {
        }
        slots_[pos] = i + 1;
      }
      poll_.tick(tick_cost(count));
    }
    return true;
  }

  // Phase 5: weigh the closure from the most classes down (a counting sort
  // by class count: a mask strictly inside another has fewer classes), and
  // emit the cliques of non-zero weight that meet no class below a.
  template <std::size_t kW>
  void weigh_closure() {
    const std::size_t w = kW != 0 ? kW : words_;
    const std::size_t m = items_.size() / w;
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
      const std::uint64_t cover = listed_ ? listed_cover<kW>(s) : marked_cover(s);
      const Weight weight = wrap_sub(1, static_cast<Weight>(cover));
      if (weight == 0) continue;
      add_heavy(s, weight);
      bool mine = true;
      for (std::size_t j = 0; j < w; ++j) mine = mine && (s[j] & below_[j]) == 0;
      if (mine) emit_mask(s, bits_[i], weight);
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
  template <std::size_t kW>
  std::uint64_t listed_cover(const Word* s) {
    const std::size_t w = kW != 0 ? kW : words_;
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
    for (Index b : top(t)) nodes_.push_back(inc_.node(b));
    emitted_.push_back({start, nodes_.size() - start, 1});
  }

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
    for (std::size_t r = start; r < nodes_.size(); ++r) nodes_[r] = inc_.node(static_cast<std::size_t>(nodes_[r]));
    emitted_.push_back({start, nodes_.size() - start, weight});
  }

  // Appends this node's cliques to their size groups.  All start with the
  // node, and nodes are settled in ascending order, so sorting them here
  // keeps every size group ascending.
  void flush() {
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
      result.cliques.nodes().insert(result.cliques.nodes().end(), g.nodes.begin(), g.nodes.end());
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
  const std::uint64_t seed_ = hash_seed();
  const std::uint64_t odd_key_ = hash_seed() | 1;
  std::size_t slot_shift_ = 0;
  std::vector<std::uint32_t> count_;  // node -> top cliques of the star holding it
  std::vector<Index> cls_;            // shared node -> its class
  std::vector<Index> touched_, shared_, split_, split_touched_;
  std::size_t class_count_ = 0, words_ = 1;
  std::vector<std::size_t> class_off_, class_fill_;
  std::vector<Index> class_nodes_;
  std::vector<Word> gens_, below_;
  // The closure: masks, their hashes, and a hash set of indices + 1.
  std::vector<Word> items_;
  std::vector<std::uint64_t> hashes_;
  std::vector<Word> slots_, meet_;
  std::vector<Index> bits_, order_;
  std::vector<std::size_t> level_;
  // Entries weighed so far with a non-zero weight, and per class the
  // entries holding it.
  std::vector<Word> heavy_;
  WeightList heavy_weight_;
  std::vector<std::vector<Index>> lists_;
  bool listed_ = false;
  std::vector<Word> holders_;  // class -> the first kMarkedEntries entries holding it
  std::vector<Node> nodes_;
  std::vector<Emitted> emitted_;
  std::vector<SizeGroup> out_;  // by size
};

}  // namespace

WeightedCliques weigh_by_closure(const TopIncidence& tops, InterruptPoll& poll) {
  return ClosureWeigher(tops, poll).run();
}

}  // namespace vexa::graph
