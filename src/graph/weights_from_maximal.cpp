// Weights of the cliques below a family of top cliques.
//
// The weight of S is 1 minus the weights of the family members strictly
// containing S, so weights are settled from the largest cliques down: once
// every clique above S has its weight, S's cover (the sum of those weights)
// is complete.  Only intersections of top cliques can get a non-zero weight:
// if all the top cliques containing S share a node outside S, the family
// members above S pair off with and without that node and their weights
// cancel.  Two ways of computing the same result:
//
// - expand: every clique of non-zero weight passes its weight to all its
//   proper sub-cliques, held in one hash table per size.  Cheap when the top
//   cliques are small, however much they overlap.
// - star: node by node, the cliques whose smallest node it is are settled
//   from the top cliques around that node (see StarWeigher).  Cheap when the
//   top cliques are large but each node lies in few of them.
//
// A cost estimate picks one; both give identical results.
#include "weights_from_maximal.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <new>
#include <numeric>
#include <span>
#include <vector>

#include "bits.hpp"
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

// Ticks once per `step` passes of a loop over millions of items.
inline void tick_every(std::size_t i, InterruptPoll& poll) {
  constexpr std::size_t kStep = 4096;
  if ((i & (kStep - 1)) == kStep - 1) poll.tick(static_cast<std::uint32_t>(kStep));
}

// Copies [from, end) to out, ticking between blocks.
template <class T>
T* copy_with_ticks(const T* from, const T* end, T* out, InterruptPoll& poll) {
  constexpr std::ptrdiff_t kBlock = 1 << 14;
  while (end - from > kBlock) {
    out = std::copy(from, from + kBlock, out);
    from += kBlock;
    poll.tick(static_cast<std::uint32_t>(kBlock));
  }
  return std::copy(from, end, out);
}

// Sorts the n elements at v as std::sort would, in steps with a tick
// between them: slices sorted one by one, then merged pairwise pass by pass.
// `less` must never find two different elements equivalent; then the order
// is the only one.
template <class T, class Less>
void sort_with_ticks(T* v, std::size_t n, Less less, InterruptPoll& poll) {
  constexpr std::size_t kSlice = std::size_t{1} << 13;
  for (std::size_t b = 0; b < n; b += kSlice) {
    const std::size_t e = std::min(n, b + kSlice);
    std::sort(v + b, v + e, less);
    poll.tick(static_cast<std::uint32_t>(e - b) | 1);
  }
  if (n <= kSlice) return;
  std::vector<T> buf(n);
  T* from = v;
  T* to = buf.data();
  for (std::size_t width = kSlice; width < n; width *= 2) {
    for (std::size_t lo = 0; lo < n; lo += 2 * width) {
      const T* a = from + lo;
      const T* const a_end = from + std::min(n, lo + width);
      const T* b = a_end;
      const T* const b_end = from + std::min(n, lo + 2 * width);
      T* out = to + lo;
      while (a != a_end && b != b_end) {
        for (std::size_t step = 0; step < 4096 && a != a_end && b != b_end; ++step)
          *out++ = less(*b, *a) ? *b++ : *a++;
        poll.tick(4096);
      }
      out = copy_with_ticks(a, a_end, out, poll);
      copy_with_ticks(b, b_end, out, poll);
    }
    std::swap(from, to);
  }
  if (from != v) copy_with_ticks<T>(from, from + n, v, poll);
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

  // Room for `count` entries without rehashing.
  void reserve(std::size_t count) {
    keys_.reserve(count * k_);
    cover.reserve(count);
    std::size_t cap = std::max<std::size_t>(16, slots_.size());
    while (2 * (count + 1) > cap) cap *= 2;
    if (cap > slots_.size()) rehash_to(cap);
  }

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
        fresh = true;
        return idx;
      }
      if (static_cast<std::uint32_t>(slot >> 32) == tag) {
        const Index idx = static_cast<Index>((slot & 0xFFFFFFFFu) - 1);
        if (same_key(key, keys_.data() + std::size_t{idx} * k_)) {
          fresh = false;
          return idx;
        }
      }
    }
  }

  std::vector<Weight> cover;

 private:
  // Keys are short: an inline loop beats a library call.
  bool same_key(const Node* x, const Node* y) const noexcept {
    for (std::size_t i = 0; i < k_; ++i)
      if (x[i] != y[i]) return false;
    return true;
  }

  void rehash() {
    std::size_t cap = std::max<std::size_t>(16, slots_.size() * 2);
    while (2 * (size() + 1) > cap) cap *= 2;
    rehash_to(cap);
  }

  void rehash_to(std::size_t cap) {
    slots_.assign(cap, 0);
    // Re-entering millions of keys takes long enough to need its own checks.
    InterruptPoll poll;
    const std::size_t mask = cap - 1;
    for (std::size_t i = 0; i < size(); ++i) {
      const std::uint32_t tag = static_cast<std::uint32_t>(hash_key(keys_.data() + i * k_, k_) >> 32);
      std::size_t pos = tag & mask;
      while (slots_[pos] != 0) pos = (pos + 1) & mask;
      slots_[pos] = (std::uint64_t{tag} << 32) | (i + 1);
      poll.tick();
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

// The top cliques, each once, with cover 0, in the table of their size.
Tables enter_top_cliques(const CliqueList& maxcliques, std::uint64_t maxrank, InterruptPoll& poll) {
  Tables tables;
  // Size the tables for the cliques kept whole (split ones are counted as
  // one, a lower bound).
  {
    std::vector<std::size_t> count;
    for (std::size_t c = 0; c < maxcliques.size(); ++c) {
      const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(maxcliques.length(c), maxrank));
      if (count.size() <= k) count.resize(k + 1, 0);
      ++count[k];
    }
    grow_tables(tables, count.size());
    for (std::size_t k = 0; k < count.size(); ++k) tables[k].reserve(count[k]);
  }
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

// The expand method: every clique of non-zero weight, largest first, passes
// its weight to all its proper non-empty sub-cliques.
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

std::vector<TopRef> list_tops(const Tables& tables, InterruptPoll& poll) {
  std::vector<TopRef> tops;
  for (std::size_t k = tables.size(); k-- > 0;) {
    for (std::size_t i = 0; i < tables[k].size(); ++i) {
      tops.push_back({k, static_cast<Index>(i)});
      tick_every(i, poll);
    }
  }
  return tops;
}

// Node numbers made dense (0 .. count-1), keeping their order, so that they
// can index arrays.
class DenseNodes {
 public:
  DenseNodes(const Tables& tables, const std::vector<TopRef>& tops, InterruptPoll& poll) {
    Node max = 0;
    std::size_t total = 0;
    for (std::size_t i = 0; i < tops.size(); ++i) {
      for (Node v : tables[tops[i].k].key(tops[i].idx)) max = std::max(max, v);
      total += tops[i].k;
      tick_every(i, poll);
    }
    if (max < (Node{1} << 31) && max <= 4 * total + 1024) {
      count_ = static_cast<std::size_t>(max) + 1;
      return;
    }
    sorted_.reserve(total);
    for (std::size_t i = 0; i < tops.size(); ++i) {
      for (Node v : tables[tops[i].k].key(tops[i].idx)) sorted_.push_back(v);
      tick_every(i, poll);
    }
    sort_with_ticks(sorted_.data(), sorted_.size(), std::less<Node>(), poll);
    sorted_.erase(std::unique(sorted_.begin(), sorted_.end()), sorted_.end());
    count_ = sorted_.size();
    remapped_ = true;
  }
  std::size_t count() const noexcept { return count_; }
  Node node(std::size_t b) const { return remapped_ ? sorted_[b] : static_cast<Node>(b); }
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

Incidence build_incidence(const Tables& tables, const std::vector<TopRef>& tops, const DenseNodes& dense,
                          InterruptPoll& poll) {
  Incidence inc;
  inc.off.assign(dense.count() + 1, 0);
  for (std::size_t ti = 0; ti < tops.size(); ++ti) {
    for (Node v : tables[tops[ti].k].key(tops[ti].idx)) ++inc.off[dense(v) + 1];
    tick_every(ti, poll);
  }
  for (std::size_t a = 0; a < dense.count(); ++a) inc.off[a + 1] += inc.off[a];
  inc.tops.resize(inc.off.back());
  std::vector<std::size_t> fill(inc.off.begin(), inc.off.end() - 1);
  for (std::size_t ti = 0; ti < tops.size(); ++ti) {
    for (Node v : tables[tops[ti].k].key(tops[ti].idx)) inc.tops[fill[dense(v)]++] = static_cast<Index>(ti);
    tick_every(ti, poll);
  }
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
  // Room for `count` items in all, so that insert() need not check.
  void reserve(std::size_t count) {
    if (2 * count <= slots_.size()) return;
    std::size_t cap = std::max<std::size_t>(64, slots_.size());
    while (2 * count > cap) cap *= 2;
    rehash(cap);
  }
  // Adds m (non-zero, with room reserved); false if it was there.
  bool insert(Word m) {
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

// The star method.  Every clique of the family that contains node a lies
// inside the top cliques holding a (a's star), and so do all the cliques
// above it; its weight is therefore settled by a's star alone.  Each node a
// settles the cliques whose smallest node is a.
//
// Within a star, a node held by one top clique only (a private node) lies in
// no intersection of two of them.  The candidates are: the top cliques with a
// private node (each of weight 1, as nothing else in the star contains its
// private node), and the intersection closure of the shared parts of all the
// star's top cliques, held as bit masks over the shared nodes (twins, held by
// the same top cliques, share a bit).  Every intersection of the star's top
// cliques is among them, so weighing the candidates from the largest down
// gives every weight exactly.
class StarWeigher {
 public:
  StarWeigher(const Tables& tables, InterruptPoll& poll)
      : tables_(tables), poll_(poll), tops_(list_tops(tables, poll)), dense_(tables, tops_, poll),
        inc_(build_incidence(tables, tops_, dense_, poll)), count_(dense_.count(), 0), bit_(dense_.count(), 0),
        cls_(dense_.count(), 0) {
    out_.resize(tables.size());
    top_off_.reserve(tops_.size() + 1);
    top_off_.push_back(0);
    for (std::size_t i = 0; i < tops_.size(); ++i) {
      for (Node v : tables_[tops_[i].k].key(tops_[i].idx)) top_dense_.push_back(static_cast<Index>(dense_(v)));
      top_off_.push_back(top_dense_.size());
      tick_every(i, poll_);
    }
  }

  WeightedCliques run() {
    for (std::size_t a = 0; a < dense_.count(); ++a) settle(a);
    WeightedCliques result;
    for (std::size_t k = out_.size(); k-- > 0;) {
      for (std::size_t i = 0; i < out_[k].cliques.size(); ++i) {
        result.cliques.push_back(out_[k].cliques[i]);
        tick_every(i, poll_);
      }
      result.weights.insert(result.weights.end(), out_[k].weights.begin(), out_[k].weights.end());
    }
    // An empty top clique is in no star; it has weight 1.
    if (!tables_.empty() && tables_[0].size() != 0) {
      result.cliques.push_back(std::span<const Node>{});
      result.weights.push_back(1);
    }
    return result;
  }

 private:
  struct Emitted {
    std::size_t start, size;
    Weight weight;
  };

  std::span<const Node> top(Index t) const { return tables_[tops_[t].k].key(tops_[t].idx); }
  // The same top clique as dense node numbers.
  std::span<const Index> top_dense(Index t) const {
    return {top_dense_.data() + top_off_[t], top_off_[t + 1] - top_off_[t]};
  }

  void settle(std::size_t a) {
    const auto star = inc_[a];
    if (star.empty()) return;
    emitted_.clear();
    nodes_.clear();
    if (star.size() == 1) {
      if (top_dense(star[0])[0] == a) emit(top(star[0]), 1);
      flush();
      return;
    }
    // Shared nodes: held by two or more of the star's top cliques.
    touched_.clear();
    std::size_t work = 0;
    for (Index t : star) {
      for (Index b : top_dense(t))
        if (count_[b]++ == 0) touched_.push_back(b);
      work += tops_[t].k;
    }
    shared_.clear();
    for (std::size_t b : touched_)
      if (count_[b] >= 2) shared_.push_back(b);
    std::sort(shared_.begin(), shared_.end());
    if (!group_shared_nodes(star)) {
      for (std::size_t b : touched_) count_[b] = 0;
      settle_by_expansion(a, star);
      return;
    }

    closure_.clear();
    groups_.clear();
    generators_.clear();
    for (Index t : star) {
      const auto q = top_dense(t);
      Word m = 0;
      std::size_t held = 0;
      for (Index b : q) {
        if (count_[b] >= 2) {
          m |= Word{1} << bit_[b];
          ++held;
        }
      }
      if (held < q.size()) {
        groups_.push_back(m);
        if (q[0] == a) emit(top(t), 1);
      }
      generators_.push_back(m);
    }
    std::sort(generators_.begin(), generators_.end());
    generators_.erase(std::unique(generators_.begin(), generators_.end()), generators_.end());
    // Weighing the closure is quadratic in its size; when many top cliques
    // overlap in many ways, expanding the star's sub-cliques is cheaper.
    double expand_cost = 0;
    for (Index t : star) expand_cost += std::ldexp(1.0, static_cast<int>(std::min<std::size_t>(tops_[t].k, 1000)));
    const double closure_limit = std::max(1024.0, 4 * std::sqrt(expand_cost));
    bool too_large = false;
    for (Word m : generators_) {
      if (closure_.contains(m)) continue;
      const std::size_t before = closure_.items.size();
      closure_.reserve(2 * before + 1);
      closure_.insert(m);
      for (std::size_t j = 0; j < before; ++j) closure_.insert(closure_.items[j] & m);
      poll_.tick(static_cast<std::uint32_t>(std::min<std::size_t>(before, 1u << 20) | 1));
      if (static_cast<double>(closure_.items.size()) > closure_limit) {
        too_large = true;
        break;
      }
    }
    for (std::size_t b : touched_) count_[b] = 0;
    if (too_large) {
      emitted_.clear();
      nodes_.clear();
      settle_by_expansion(a, star);
      return;
    }

    // Private top cliques with the same shared part count together.
    std::sort(groups_.begin(), groups_.end());
    group_count_.clear();
    std::size_t g = 0;
    for (std::size_t i = 0; i < groups_.size(); ++i) {
      if (i > 0 && groups_[i] == groups_[g - 1]) {
        ++group_count_[g - 1];
      } else {
        groups_[g++] = groups_[i];
        group_count_.push_back(1);
      }
    }
    groups_.resize(g);

    // Weigh the shared-part candidates from the largest down, that is by the
    // number of classes (a counting sort on the bit count): a candidate
    // strictly inside another has fewer.
    const auto& items = closure_.items;
    std::size_t level_start[66] = {};
    for (Word m : items) ++level_start[popcount64(m)];
    for (std::size_t c = 64, total = 0; c + 1 > 0; --c) {
      const std::size_t here = level_start[c];
      level_start[c] = total;
      total += here;
    }
    level_start[65] = 0;
    keyed_.resize(items.size());
    {
      std::size_t fill[65];
      std::copy_n(level_start, 65, fill);
      for (Word m : items) keyed_[fill[popcount64(m)]++] = m;
    }
    // A candidate is settled here when its smallest node is a: when it has
    // no class holding a smaller node.
    Word below_a = 0;
    for (std::size_t c = 0; c < class_count_; ++c)
      if (class_nodes_[class_off_[c]] < a) below_a |= Word{1} << c;
    heavy_mask_.clear();
    heavy_weight_.clear();
    std::size_t level = 65, level_heavy = 0;
    for (std::size_t i = 0; i < keyed_.size(); ++i) {
      const Word s = keyed_[i];
      const std::size_t size = static_cast<std::size_t>(popcount64(s));
      if (size != level) {
        level = size;
        level_heavy = heavy_mask_.size();
      }
      Weight cover = 0;
      for (std::size_t j = 0; j < groups_.size(); ++j)
        cover = wrap_add(cover, (groups_[j] & s) == s ? static_cast<Weight>(group_count_[j]) : 0);
      // Only the larger candidates can contain s.
      const Word* hm = heavy_mask_.data();
      const Weight* hw = heavy_weight_.data();
      std::uint64_t sum = 0;
      for (std::size_t j = 0; j < level_heavy; ++j)
        sum += static_cast<std::uint64_t>(hw[j]) & (std::uint64_t{0} - static_cast<std::uint64_t>((hm[j] & s) == s));
      cover = wrap_add(cover, static_cast<Weight>(sum));
      poll_.tick(static_cast<std::uint32_t>(std::min<std::size_t>(level_heavy + groups_.size(), 1u << 20) | 1));
      const Weight w = wrap_sub(1, cover);
      if (w == 0) continue;
      heavy_mask_.push_back(s);
      heavy_weight_.push_back(w);
      if ((s & below_a) == 0) {
        const std::size_t start = nodes_.size();
        for (Word bits = s; bits != 0; bits &= bits - 1) {
          const std::size_t c = static_cast<std::size_t>(std::countr_zero(bits));
          for (std::size_t r = class_off_[c]; r < class_off_[c + 1]; ++r) nodes_.push_back(node_of(class_nodes_[r]));
        }
        // Classes interleave in node order only when one holds several.
        if (nodes_.size() - start > static_cast<std::size_t>(popcount64(s)))
          std::sort(nodes_.begin() + static_cast<std::ptrdiff_t>(start), nodes_.end());
        emitted_.push_back({start, nodes_.size() - start, w});
      }
    }
    poll_.tick(static_cast<std::uint32_t>(std::min<std::size_t>(work, 1u << 20) | 1));
    flush();
  }

  // Shared nodes held by exactly the same top cliques of the star (twins)
  // lie in the same intersections, so they share one bit of the masks.  The
  // classes come from splitting the shared nodes by each top clique in turn,
  // and are numbered by their smallest node.  False when there are more than
  // 64 classes.
  bool group_shared_nodes(std::span<const Index> star) {
    std::size_t next = 1;
    for (std::size_t b : shared_) cls_[b] = 0;
    for (Index t : star) {
      for (Index b : top_dense(t)) {
        if (count_[b] < 2) continue;
        const Index old = cls_[b];
        if (old >= split_.size()) split_.resize(std::max<std::size_t>(2 * split_.size(), old + 1), kNoIndex);
        if (split_[old] == kNoIndex) {
          split_[old] = static_cast<Index>(next++);
          split_touched_.push_back(old);
        }
        cls_[b] = split_[old];
      }
      for (Index old : split_touched_) split_[old] = kNoIndex;
      split_touched_.clear();
    }
    // Number the classes in order of their smallest node, and list each
    // class's nodes (ascending, as shared_ is).
    class_count_ = 0;
    for (std::size_t b : shared_) {
      const Index c = cls_[b];
      if (c >= split_.size()) split_.resize(std::max<std::size_t>(2 * split_.size(), c + 1), kNoIndex);
      if (split_[c] == kNoIndex) {
        if (class_count_ == 64) {
          for (std::size_t b2 : shared_) split_[cls_[b2]] = kNoIndex;
          return false;
        }
        split_[c] = static_cast<Index>(class_count_++);
      }
      bit_[b] = static_cast<std::uint8_t>(split_[c]);
    }
    for (std::size_t b : shared_) split_[cls_[b]] = kNoIndex;
    class_off_.assign(class_count_ + 1, 0);
    for (std::size_t b : shared_) ++class_off_[bit_[b] + 1];
    for (std::size_t c = 0; c < class_count_; ++c) class_off_[c + 1] += class_off_[c];
    class_nodes_.resize(shared_.size());
    class_fill_.assign(class_off_.begin(), class_off_.end() - 1);
    for (std::size_t b : shared_) class_nodes_[class_fill_[bit_[b]]++] = b;
    return true;
  }

  // A star whose shared nodes do not fit a mask: weigh every sub-clique of
  // its top cliques, and keep those whose smallest node is a.
  void settle_by_expansion(std::size_t a, std::span<const Index> star) {
    Tables local;
    bool fresh = false;
    for (Index t : star) {
      const auto q = top(t);
      grow_tables(local, q.size() + 1);
      local[q.size()].find_or_insert(q.data(), fresh);
    }
    weigh_by_expansion(local, poll_);
    for (std::size_t k = local.size(); k-- > 1;) {
      for (std::size_t e = 0; e < local[k].size(); ++e) {
        const Weight w = wrap_sub(1, local[k].cover[e]);
        const auto q = local[k].key(e);
        if (w != 0 && dense_(q[0]) == a) emit(q, w);
      }
    }
    flush();
  }

  Node node_of(std::size_t b) const { return dense_.node(b); }

  void emit(std::span<const Node> q, Weight w) {
    const std::size_t start = nodes_.size();
    nodes_.insert(nodes_.end(), q.begin(), q.end());
    emitted_.push_back({start, q.size(), w});
  }

  // Appends this node's cliques to the size groups, each group ascending.
  void flush() {
    std::sort(emitted_.begin(), emitted_.end(), [&](const Emitted& x, const Emitted& y) {
      if (x.size != y.size) return x.size > y.size;
      return std::lexicographical_compare(nodes_.begin() + static_cast<std::ptrdiff_t>(x.start),
                                          nodes_.begin() + static_cast<std::ptrdiff_t>(x.start + x.size),
                                          nodes_.begin() + static_cast<std::ptrdiff_t>(y.start),
                                          nodes_.begin() + static_cast<std::ptrdiff_t>(y.start + y.size));
    });
    for (const Emitted& e : emitted_) {
      out_[e.size].cliques.push_back(std::span<const Node>(nodes_.data() + e.start, e.size));
      out_[e.size].weights.push_back(e.weight);
    }
  }

  const Tables& tables_;
  InterruptPoll& poll_;
  std::vector<TopRef> tops_;
  DenseNodes dense_;
  Incidence inc_;
  std::vector<std::uint32_t> count_;
  std::vector<std::uint8_t> bit_;     // shared node -> its class's bit
  std::vector<Index> cls_;             // shared node -> class while splitting
  std::vector<Index> split_, split_touched_;
  std::size_t class_count_ = 0;
  std::vector<std::size_t> class_off_, class_fill_, class_nodes_;
  std::vector<std::size_t> touched_, shared_;
  MaskSet closure_;
  std::vector<Word> groups_, generators_;
  std::vector<Index> top_dense_;
  std::vector<std::size_t> top_off_;
  std::vector<std::size_t> group_count_;
  std::vector<Word> keyed_;
  std::vector<Word> heavy_mask_;
  std::vector<Weight> heavy_weight_;
  std::vector<Node> nodes_;
  std::vector<Emitted> emitted_;
  std::vector<WeightedCliques> out_;  // by size
};

// The star method works on node sets: it needs every top clique written in
// ascending order, so that a node set has one key.
bool star_possible(const Tables& tables, InterruptPoll& poll) {
  for (const SizeTable& table : tables) {
    for (std::size_t e = 0; e < table.size(); ++e) {
      const auto q = table.key(e);
      for (std::size_t i = 1; i < q.size(); ++i)
        if (!(q[i - 1] < q[i])) return false;
      tick_every(e, poll);
    }
  }
  return true;
}

// Rough costs of the two methods, in comparable units.  Hash operations on
// sub-cliques cost several times an array step of the trace computation.
bool prefer_star(const Tables& tables, InterruptPoll& poll) {
  constexpr double kHashCost = 8.0;
  double expand = 0;
  std::vector<TopRef> tops = list_tops(tables, poll);
  for (std::size_t i = 0; i < tops.size(); ++i) {
    expand += std::ldexp(1.0, static_cast<int>(tops[i].k));
    tick_every(i, poll);
  }
  const DenseNodes dense(tables, tops, poll);
  std::vector<std::size_t> count(dense.count(), 0);
  for (std::size_t i = 0; i < tops.size(); ++i) {
    for (Node v : tables[tops[i].k].key(tops[i].idx)) ++count[dense(v)];
    tick_every(i, poll);
  }
  double star = 0;
  for (std::size_t i = 0; i < count.size(); ++i) {
    star += static_cast<double>(count[i]) * static_cast<double>(count[i]);
    tick_every(i, poll);
  }
  return star < kHashCost * expand;
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
  // Sort records carry the first two nodes, which settle most comparisons
  // without touching the key array.
  struct Item {
    Node first, second;
    Index idx;
  };
  std::vector<Item> order, sorted;
  std::vector<std::size_t> bucket_start, bucket_fill;
  for (std::size_t k = tables.size(); k-- > 0;) {
    const SizeTable& table = tables[k];
    order.clear();
    Node max_first = 0;
    for (std::size_t e = 0; e < table.size(); ++e) {
      tick_every(e, poll);
      if (table.cover[e] == 1) continue;
      const auto key = table.key(e);
      const Node first = k > 0 ? key[0] : 0;
      max_first = std::max(max_first, first);
      order.push_back({first, k > 1 ? key[1] : 0, static_cast<Index>(e)});
    }
    auto less = [&](const Item& x, const Item& y) {
      if (x.first != y.first) return x.first < y.first;
      if (x.second != y.second) return x.second < y.second;
      const auto kx = table.key(x.idx), ky = table.key(y.idx);
      for (std::size_t i = 2; i < k; ++i)
        if (kx[i] != ky[i]) return kx[i] < ky[i];
      return false;
    };
    // Node numbers are usually small: bucket by the first node (a counting
    // sort), then sort the short buckets.
    if (order.size() > 64 && max_first <= 4 * order.size() + 1024) {
      bucket_start.assign(static_cast<std::size_t>(max_first) + 2, 0);
      for (std::size_t i = 0; i < order.size(); ++i) {
        ++bucket_start[static_cast<std::size_t>(order[i].first) + 1];
        tick_every(i, poll);
      }
      for (std::size_t f = 0; f + 1 < bucket_start.size(); ++f) {
        bucket_start[f + 1] += bucket_start[f];
        tick_every(f, poll);
      }
      sorted.resize(order.size());
      bucket_fill.assign(bucket_start.begin(), bucket_start.end() - 1);
      for (std::size_t i = 0; i < order.size(); ++i) {
        sorted[bucket_fill[static_cast<std::size_t>(order[i].first)]++] = order[i];
        tick_every(i, poll);
      }
      for (std::size_t f = 0; f + 1 < bucket_start.size(); ++f) {
        const std::size_t b = bucket_start[f], e = bucket_start[f + 1];
        if (e - b > 1) {
          sort_with_ticks(sorted.data() + b, e - b, less, poll);
        } else {
          tick_every(f, poll);
        }
      }
      order.swap(sorted);
    } else {
      sort_with_ticks(order.data(), order.size(), less, poll);
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
      out.cliques.push_back(table.key(order[i].idx));
      out.weights.push_back(wrap_sub(1, table.cover[order[i].idx]));
      tick_every(i, poll);
    }
    poll.tick(static_cast<std::uint32_t>(order.size() | 1));
  }
  return out;
}

// maxrank 1: the top cliques are the single nodes, none inside another, so
// every node of every clique is returned once with weight 1.
WeightedCliques single_nodes(const CliqueList& maxcliques, InterruptPoll& poll) {
  const auto& all = maxcliques.nodes();
  bool has_empty = false;
  for (std::size_t c = 0; c < maxcliques.size() && !has_empty; ++c) has_empty = maxcliques.length(c) == 0;
  Node max = 0;
  for (Node v : all) max = std::max(max, v);
  std::vector<Node> nodes;
  if (!all.empty() && max < (Node{1} << 31) && max <= 4 * all.size() + 1024) {
    std::vector<std::uint8_t> seen(static_cast<std::size_t>(max) + 1, 0);
    for (Node v : all) seen[static_cast<std::size_t>(v)] = 1;
    for (std::size_t v = 0; v < seen.size(); ++v)
      if (seen[v] != 0) nodes.push_back(v);
  } else {
    nodes = all;
    std::sort(nodes.begin(), nodes.end());
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  }
  poll.tick(static_cast<std::uint32_t>(std::min<std::size_t>(all.size(), 1u << 20) | 1));
  WeightedCliques out;
  out.cliques.reserve(nodes.size() + 1, nodes.size());
  for (Node v : nodes) {
    out.cliques.push_node(v);
    out.cliques.close_seq();
  }
  out.weights.assign(nodes.size(), 1);
  if (has_empty) {
    out.cliques.close_seq();
    out.weights.push_back(1);
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
  if (maxrank == 1) return single_nodes(maxcliques, poll);
  Tables tables = enter_top_cliques(maxcliques, maxrank, poll);
  if (method != WeightMethod::expand && !star_possible(tables, poll)) method = WeightMethod::expand;
  if (method == WeightMethod::automatic)
    method = prefer_star(tables, poll) ? WeightMethod::star : WeightMethod::expand;
  if (method == WeightMethod::star) return StarWeigher(tables, poll).run();
  weigh_by_expansion(tables, poll);
  return collect(tables, poll);
}

}  // namespace detail

WeightedCliques calc_clique_weights_from_maximal(const CliqueList& maxcliques, std::uint64_t maxrank) {
  return detail::weights_from_maximal(maxcliques, maxrank, detail::WeightMethod::automatic);
}

}  // namespace vexa::graph
