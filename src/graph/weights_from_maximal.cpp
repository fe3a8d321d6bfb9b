// Weights of the cliques below a family of top cliques.
//
// The weight of S is 1 minus the weights of the family members strictly
// containing S, so weights are settled from the largest cliques down, one
// size at a time: once every clique of size > k has its weight, the cover
// (sum of those weights over the strict supersets) of every clique of size k
// is complete.  Two ways of finding, for a clique U of non-zero weight, the
// cliques that receive its weight:
//
// - expand: every proper sub-clique of U, entered into the table of its size.
//   Cheap when the top cliques are small, whatever the overlap between them.
// - intersect: only the intersections of top cliques.  A clique that is not
//   such an intersection always gets weight 0 (all its supersets in the
//   family contain a common node outside it, and the alternating sum over
//   them vanishes), so leaving it out changes no other weight.  For each top
//   clique Q, its traces (Q meet T over the other top cliques T) are taken as
//   bit masks over Q's positions and closed under intersection; that closure
//   holds every intersection below Q.  Cheap when the top cliques are large
//   but each node lies in few of them.
//
// Both fill one table per size, keyed by node sequence, and give identical
// results; the cost estimate at the end picks one.
#include "weights_from_maximal.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <new>
#include <numeric>
#include <span>
#include <vector>

#include "interrupt.hpp"
#include "powerset.hpp"

namespace vexa::graph {
namespace {

using Word = std::uint64_t;
using Index = std::uint32_t;
constexpr Index kNoIndex = std::numeric_limits<Index>::max();

std::uint64_t hash_key(const Node* key, std::size_t k) noexcept {
  std::uint64_t h = 0x243F6A8885A308D3ull ^ k;
  for (std::size_t i = 0; i < k; ++i) {
    h = std::rotl(h, 23) ^ key[i];
    h *= 0x9E3779B97F4A7C15ull;
  }
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  return h;
}

// The cliques of one size k with their covers: an open-addressing hash table
// over a flat key array.  Entries keep their insertion order (index), which
// is the order in which they are later weighed.
class SizeTable {
 public:
  explicit SizeTable(std::size_t k) : k_(k) {}

  std::size_t width() const noexcept { return k_; }
  std::size_t size() const noexcept { return cover.size(); }
  std::span<const Node> key(std::size_t i) const noexcept { return {keys_.data() + i * k_, k_}; }

  // The index of `key` (k nodes), entered with cover 0 if it was absent.
  Index find_or_insert(const Node* key, bool& fresh) {
    if (2 * (size() + 1) > slots_.size()) rehash();
    const std::uint64_t h = hash_key(key, k_);
    const std::uint32_t tag = static_cast<std::uint32_t>(h >> 32);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t pos = tag & mask;; pos = (pos + 1) & mask) {
      const std::uint64_t slot = slots_[pos];
      if (slot == 0) {
        if (size() >= kNoIndex) throw std::bad_alloc();
        const Index idx = static_cast<Index>(size());
        slots_[pos] = (std::uint64_t{tag} << 32) | (std::uint64_t{idx} + 1);
        keys_.insert(keys_.end(), key, key + k_);
        cover.push_back(0);
        owner.push_back(kNoIndex);
        owner_mask.push_back(0);
        fresh = true;
        return idx;
      }
      if (static_cast<std::uint32_t>(slot >> 32) == tag) {
        const Index idx = static_cast<Index>((slot & 0xFFFFFFFFu) - 1);
        if (std::equal(key, key + k_, keys_.data() + std::size_t{idx} * k_)) {
          fresh = false;
          return idx;
        }
      }
    }
  }

  std::vector<Weight> cover;
  // Intersect method only: a top clique containing the entry, and the entry's
  // positions within it.
  std::vector<Index> owner;
  std::vector<Word> owner_mask;

 private:
  void rehash() {
    std::size_t cap = std::max<std::size_t>(16, slots_.size() * 2);
    while (2 * (size() + 1) > cap) cap *= 2;
    slots_.assign(cap, 0);
    const std::size_t mask = cap - 1;
    for (std::size_t i = 0; i < size(); ++i) {
      const std::uint32_t tag = static_cast<std::uint32_t>(hash_key(keys_.data() + i * k_, k_) >> 32);
      std::size_t pos = tag & mask;
      while (slots_[pos] != 0) pos = (pos + 1) & mask;
      slots_[pos] = (std::uint64_t{tag} << 32) | (i + 1);
    }
  }

  std::size_t k_;
  std::vector<Node> keys_;
  std::vector<std::uint64_t> slots_;  // 0 empty, else tag << 32 | (index + 1)
};

using Tables = std::vector<SizeTable>;

void grow_tables(Tables& tables, std::size_t count) {
  while (tables.size() < count) tables.emplace_back(tables.size());
}

// Step 1: every top clique, once, with cover 0.
Tables enter_top_cliques(const CliqueList& maxcliques, std::uint64_t maxrank, InterruptPoll& poll) {
  Tables tables;
  bool fresh = false;
  std::vector<Node> item;
  Combinations comb(0, 0);
  for (std::size_t c = 0; c < maxcliques.size(); ++c) {
    const auto m = maxcliques[c];
    if (m.size() > maxrank) {
      const std::size_t k = static_cast<std::size_t>(maxrank);
      grow_tables(tables, k + 1);
      item.resize(k);
      comb.reset(m.size(), k);
      while (comb.next()) {
        const auto pos = comb.positions();
        for (std::size_t i = 0; i < k; ++i) item[i] = m[pos[i]];
        tables[k].find_or_insert(item.data(), fresh);
        poll.tick();
      }
    } else {
      grow_tables(tables, m.size() + 1);
      tables[m.size()].find_or_insert(m.data(), fresh);
      poll.tick();
    }
  }
  return tables;
}

// Step 2 for the expand method: every clique of non-zero weight passes its
// weight to all its proper non-empty sub-cliques.
void weigh_by_expansion(Tables& tables, InterruptPoll& poll) {
  std::vector<Node> item;
  Combinations comb(0, 0);
  bool fresh = false;
  for (std::size_t k = tables.size(); k-- > 2;) {
    SizeTable& table = tables[k];
    for (std::size_t e = 0; e < table.size(); ++e) {
      const Weight w = wrap_sub(1, table.cover[e]);
      if (w == 0) continue;
      const auto q = table.key(e);
      for (std::size_t s = 1; s < k; ++s) {
        SizeTable& sub = tables[s];
        item.resize(s);
        comb.reset(k, s);
        while (comb.next()) {
          const auto pos = comb.positions();
          for (std::size_t i = 0; i < s; ++i) item[i] = q[pos[i]];
          const Index idx = sub.find_or_insert(item.data(), fresh);
          sub.cover[idx] = wrap_add(sub.cover[idx], w);
          poll.tick();
        }
      }
    }
  }
}

// The top cliques, by (size, index) in the tables, largest size first.
struct TopRef {
  std::size_t k;
  Index idx;
};

std::vector<TopRef> list_tops(const Tables& tables) {
  std::vector<TopRef> tops;
  for (std::size_t k = tables.size(); k-- > 0;)
    for (std::size_t i = 0; i < tables[k].size(); ++i) tops.push_back({k, static_cast<Index>(i)});
  return tops;
}

// Node numbers made dense (0 .. count-1), keeping their order, so that they
// can index arrays.
class DenseNodes {
 public:
  DenseNodes(const Tables& tables, const std::vector<TopRef>& tops) {
    Node max = 0;
    std::size_t total = 0;
    for (const TopRef& t : tops) {
      for (Node v : tables[t.k].key(t.idx)) max = std::max(max, v);
      total += t.k;
    }
    if (max < (Node{1} << 31) && max <= 4 * total + 1024) {
      count_ = static_cast<std::size_t>(max) + 1;
      return;
    }
    sorted_.reserve(total);
    for (const TopRef& t : tops)
      for (Node v : tables[t.k].key(t.idx)) sorted_.push_back(v);
    std::sort(sorted_.begin(), sorted_.end());
    sorted_.erase(std::unique(sorted_.begin(), sorted_.end()), sorted_.end());
    count_ = sorted_.size();
    remapped_ = true;
  }
  std::size_t count() const noexcept { return count_; }
  std::size_t operator()(Node v) const {
    if (!remapped_) return static_cast<std::size_t>(v);
    return static_cast<std::size_t>(std::lower_bound(sorted_.begin(), sorted_.end(), v) - sorted_.begin());
  }

 private:
  std::vector<Node> sorted_;
  std::size_t count_ = 0;
  bool remapped_ = false;
};

// For each dense node, the top cliques that hold it (ascending top number).
struct Incidence {
  std::vector<std::size_t> off;
  std::vector<Index> tops;
  std::span<const Index> operator[](std::size_t a) const { return {tops.data() + off[a], off[a + 1] - off[a]}; }
};

Incidence build_incidence(const Tables& tables, const std::vector<TopRef>& tops, const DenseNodes& dense) {
  Incidence inc;
  inc.off.assign(dense.count() + 1, 0);
  for (const TopRef& t : tops)
    for (Node v : tables[t.k].key(t.idx)) ++inc.off[dense(v) + 1];
  for (std::size_t a = 0; a < dense.count(); ++a) inc.off[a + 1] += inc.off[a];
  inc.tops.resize(inc.off.back());
  std::vector<std::size_t> fill(inc.off.begin(), inc.off.end() - 1);
  for (std::size_t ti = 0; ti < tops.size(); ++ti)
    for (Node v : tables[tops[ti].k].key(tops[ti].idx)) inc.tops[fill[dense(v)]++] = static_cast<Index>(ti);
  return inc;
}

// A set of bit masks with insertion order, cleared cheaply between uses.
class MaskSet {
 public:
  void clear() {
    for (std::size_t pos : used_) slots_[pos] = 0;
    used_.clear();
    items.clear();
  }
  // Adds m (non-zero); false if it was there.
  bool insert(Word m) {
    if (2 * (items.size() + 1) > slots_.size()) rehash(std::max<std::size_t>(64, 4 * slots_.size()));
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t pos = mix(m) & mask;; pos = (pos + 1) & mask) {
      if (slots_[pos] == m) return false;
      if (slots_[pos] == 0) {
        slots_[pos] = m;
        used_.push_back(pos);
        items.push_back(m);
        return true;
      }
    }
  }
  bool contains(Word m) const {
    if (slots_.empty()) return false;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t pos = mix(m) & mask;; pos = (pos + 1) & mask) {
      if (slots_[pos] == m) return true;
      if (slots_[pos] == 0) return false;
    }
  }
  std::vector<Word> items;

 private:
  static std::size_t mix(Word m) {
    m ^= m >> 29;
    m *= 0xBF58476D1CE4E5B9ull;
    m ^= m >> 32;
    return static_cast<std::size_t>(m);
  }
  void rehash(std::size_t cap) {
    slots_.assign(cap, 0);
    used_.clear();
    const std::size_t mask = cap - 1;
    for (Word m : items) {
      std::size_t pos = mix(m) & mask;
      while (slots_[pos] != 0) pos = (pos + 1) & mask;
      slots_[pos] = m;
      used_.push_back(pos);
    }
  }
  std::vector<Word> slots_;
  std::vector<std::size_t> used_;
};

// Step 2 for the intersect method.
void weigh_by_intersection(Tables& tables, InterruptPoll& poll) {
  const std::vector<TopRef> tops = list_tops(tables);
  const DenseNodes dense(tables, tops);
  const Incidence inc = build_incidence(tables, tops, dense);

  // below[ti]: the intersections inside top ti, as (mask over ti's positions,
  // index in the table of size popcount(mask)).
  std::vector<std::size_t> below_off(tops.size() + 1, 0);
  std::vector<Word> below_mask;
  std::vector<Index> below_idx;

  std::vector<Index> stamp(tops.size(), kNoIndex);
  std::vector<Word> trace(tops.size(), 0);
  std::vector<Index> touched;
  MaskSet closure;
  std::vector<Node> item;
  bool fresh = false;

  for (std::size_t ti = 0; ti < tops.size(); ++ti) {
    const TopRef top = tops[ti];
    const auto q = tables[top.k].key(top.idx);
    const std::size_t k = top.k;
    closure.clear();
    if (k > 0) {
      touched.clear();
      for (std::size_t i = 0; i < k; ++i) {
        const auto holders = inc[dense(q[i])];
        for (Index t : holders) {
          if (t == ti) continue;
          if (stamp[t] != ti) {
            stamp[t] = static_cast<Index>(ti);
            trace[t] = 0;
            touched.push_back(t);
          }
          trace[t] |= Word{1} << i;
        }
        poll.tick(static_cast<std::uint32_t>(holders.size() | 1));
      }
      const Word full = k == 64 ? ~Word{0} : (Word{1} << k) - 1;
      for (Index t : touched) {
        const Word m = trace[t];
        if (m == full || closure.contains(m)) continue;
        const std::size_t before = closure.items.size();
        closure.insert(m);
        for (std::size_t j = 0; j < before; ++j) {
          const Word x = closure.items[j] & m;
          if (x != 0) closure.insert(x);
        }
        poll.tick(static_cast<std::uint32_t>(before | 1));
      }
      closure.insert(full);
    }
    // An empty top clique has nothing below it and needs no owner.
    for (Word m : closure.items) {
      const std::size_t s = static_cast<std::size_t>(std::popcount(m));
      item.clear();
      for (Word bits = m; bits != 0; bits &= bits - 1) item.push_back(q[static_cast<std::size_t>(std::countr_zero(bits))]);
      SizeTable& table = tables[s];
      const Index idx = table.find_or_insert(item.data(), fresh);
      if (table.owner[idx] == kNoIndex) {
        table.owner[idx] = static_cast<Index>(ti);
        table.owner_mask[idx] = m;
      }
      below_mask.push_back(m);
      below_idx.push_back(idx);
    }
    below_off[ti + 1] = below_mask.size();
  }

  // Weigh from the largest size down; a clique passes its weight to the
  // intersections strictly inside it, found among those of its owner.
  for (std::size_t k = tables.size(); k-- > 2;) {
    SizeTable& table = tables[k];
    for (std::size_t e = 0; e < table.size(); ++e) {
      const Weight w = wrap_sub(1, table.cover[e]);
      if (w == 0) continue;
      const std::size_t ti = table.owner[e];
      const Word mu = table.owner_mask[e];
      const std::size_t end = below_off[ti + 1];
      for (std::size_t j = below_off[ti]; j < end; ++j) {
        const Word m = below_mask[j];
        if ((m & ~mu) != 0 || m == mu) continue;
        SizeTable& sub = tables[static_cast<std::size_t>(std::popcount(m))];
        sub.cover[below_idx[j]] = wrap_add(sub.cover[below_idx[j]], w);
      }
      poll.tick(static_cast<std::uint32_t>((end - below_off[ti]) | 1));
    }
  }
}

// The intersect method works on node sets held as 64-bit masks: it needs
// top cliques of at most 64 distinct nodes, each written in ascending order
// (so that a node set has one key).
bool intersection_possible(const Tables& tables) {
  for (std::size_t k = 65; k < tables.size(); ++k)
    if (tables[k].size() != 0) return false;
  for (const SizeTable& table : tables) {
    for (std::size_t e = 0; e < table.size(); ++e) {
      const auto q = table.key(e);
      for (std::size_t i = 1; i < q.size(); ++i)
        if (!(q[i - 1] < q[i])) return false;
    }
  }
  return true;
}

// Rough costs of the two methods, in comparable units.  Hash operations on
// sub-cliques cost several times an array step of the trace computation.
bool prefer_intersection(const Tables& tables) {
  constexpr double kHashCost = 8.0;
  double expand = 0;
  std::vector<TopRef> tops = list_tops(tables);
  for (const TopRef& t : tops) expand += std::ldexp(1.0, static_cast<int>(t.k));
  const DenseNodes dense(tables, tops);
  std::vector<std::size_t> count(dense.count(), 0);
  for (const TopRef& t : tops)
    for (Node v : tables[t.k].key(t.idx)) ++count[dense(v)];
  double intersect = 0;
  for (std::size_t c : count) intersect += static_cast<double>(c) * static_cast<double>(c);
  return intersect < kHashCost * expand;
}

// The cliques of non-zero weight, largest size first, each size ascending.
WeightedCliques collect(const Tables& tables, InterruptPoll& poll) {
  WeightedCliques out;
  std::size_t entries = 0, nodes = 0;
  for (const SizeTable& t : tables) {
    entries += t.size();
    nodes += t.size() * t.width();
  }
  out.cliques.reserve(entries, nodes);
  out.weights.reserve(entries);
  std::vector<Index> order;
  for (std::size_t k = tables.size(); k-- > 0;) {
    const SizeTable& table = tables[k];
    order.clear();
    for (std::size_t e = 0; e < table.size(); ++e)
      if (table.cover[e] != 1) order.push_back(static_cast<Index>(e));
    std::sort(order.begin(), order.end(), [&](Index a, Index b) {
      const auto ka = table.key(a), kb = table.key(b);
      return std::lexicographical_compare(ka.begin(), ka.end(), kb.begin(), kb.end());
    });
    for (Index e : order) {
      out.cliques.push_back(table.key(e));
      out.weights.push_back(wrap_sub(1, table.cover[e]));
    }
    poll.tick(static_cast<std::uint32_t>(order.size() | 1));
  }
  return out;
}

}  // namespace

namespace detail {

WeightedCliques weights_from_maximal(const CliqueList& maxcliques, std::uint64_t maxrank,
                                     WeightMethod method) {
  if (maxcliques.empty()) return {};
  // One clique of exactly maxrank nodes is its own (only) top clique.
  if (maxcliques.size() == 1 && maxcliques.length(0) == maxrank) {
    WeightedCliques out;
    out.cliques.push_back(maxcliques[0]);
    out.weights.push_back(1);
    return out;
  }
  InterruptPoll poll;
  Tables tables = enter_top_cliques(maxcliques, maxrank, poll);
  if (method != WeightMethod::expand && !intersection_possible(tables)) method = WeightMethod::expand;
  if (method == WeightMethod::automatic)
    method = prefer_intersection(tables) ? WeightMethod::intersect : WeightMethod::expand;
  if (method == WeightMethod::intersect) {
    weigh_by_intersection(tables, poll);
  } else {
    weigh_by_expansion(tables, poll);
  }
  return collect(tables, poll);
}

}  // namespace detail

WeightedCliques calc_clique_weights_from_maximal(const CliqueList& maxcliques, std::uint64_t maxrank) {
  return detail::weights_from_maximal(maxcliques, maxrank, detail::WeightMethod::automatic);
}

}  // namespace vexa::graph
