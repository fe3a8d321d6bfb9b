#include "tree_weights.hpp"

#include <cstdint>
#include <vector>

#include "interrupt.hpp"

namespace vexa::graph {

std::optional<WeightList> calc_tree_weights(const CliqueTree& t) {
  if (!t.has_tree()) return std::nullopt;
  const std::size_t m = t.cliques.size();
  const std::size_t top = t.levels();
  if (top > 1 && !t.ascending) return std::nullopt;
  // Nothing contains a clique of the top level: they all get 1.
  WeightList w(m, 1);
  if (top <= 1) return w;

  const std::vector<std::size_t>& ls = t.level_start;
  const Index* const last = t.last.data();
  const Index* const fc = t.first_child.data();
  auto count = [&](std::size_t s) { return ls[s] - ls[s - 1]; };
  InterruptPoll poll;

  // Bottom up: the facets of every clique below the top.  facets[s] holds s
  // entries per clique of level s: entry p is the position of the clique
  // without its position p, so entry s-1 is the parent.  The children of a
  // clique P all share P's facets one level down, so the facets without
  // position q of P's children are the children of P's facet q that end in
  // the same nodes: one merge per facet of P.  The top level's facets are
  // only needed once, to count the top cliques into the level below, so
  // they are counted at once and never stored.
  std::vector<std::vector<Index>> facets(top + 1);
  // cnt[s]: (top - s + 1) counts per clique of level s; entry j gathers
  // j * cnt_j until it is divided.
  std::vector<std::vector<std::uint64_t>> cnt(top);
  cnt[top - 1].assign(count(top - 1) * 2, 0);
  std::vector<Index> found;
  for (std::size_t s = 2; s <= top; ++s) {
    const bool store = s < top;
    if (store) facets[s].resize(count(s) * s);
    Index* const fs = facets[s].data();
    std::uint64_t* const below = cnt[top - 1].data();
    for (std::size_t p = ls[s - 2]; p < ls[s - 1]; ++p) {
      const std::size_t b = fc[p];
      const std::size_t k = fc[p + 1] - b;
      if (k == 0) continue;
      const Index* const keys = last + b;
      found.resize(k);
      for (std::size_t q = 0; q + 1 < s; ++q) {
        const Index* pos;
        if (s == 2) {
          // [v, x] without v is [x], at position x.
          pos = keys;
        } else {
          const Index f = facets[s - 1][(p - ls[s - 2]) * (s - 1) + q];
          if (!locate_children(last, fc[f], fc[f + 1], keys, k, found.data())) return std::nullopt;
          pos = found.data();
        }
        if (store) {
          for (std::size_t i = 0; i < k; ++i) fs[(b + i - ls[s - 1]) * s + q] = pos[i];
        } else {
          for (std::size_t i = 0; i < k; ++i) below[(pos[i] - ls[s - 2]) * 2 + 1] += 1;
        }
      }
      if (store) {
        for (std::size_t i = 0; i < k; ++i) fs[(b + i - ls[s - 1]) * s + s - 1] = static_cast<Index>(p);
      } else {
        below[(p - ls[s - 2]) * 2 + 1] += k;
      }
      poll.tick(static_cast<std::uint32_t>(k * s));
    }
  }

  // Top down: finish each level's counts, weigh it, and pass its counts on
  // to the facets one level below.
  for (std::size_t s = top - 1; s >= 1; --s) {
    const std::size_t len = top - s + 1;
    std::uint64_t* const here = cnt[s].data();
    for (std::size_t i = ls[s - 1]; i < ls[s]; ++i) {
      std::uint64_t* v = here + (i - ls[s - 1]) * len;
      v[0] = 1;
      std::uint64_t sum = 1;
      for (std::size_t j = 1; j < len; ++j) {
        v[j] /= j;
        sum = (j & 1) ? sum - v[j] : sum + v[j];
      }
      w[i] = static_cast<Weight>(sum);
      poll.tick(static_cast<std::uint32_t>(len));
    }
    if (s == 1) break;
    cnt[s - 1].assign(count(s - 1) * (len + 1), 0);
    std::uint64_t* const below = cnt[s - 1].data();
    const Index* const fs = facets[s].data();
    for (std::size_t i = ls[s - 1]; i < ls[s]; ++i) {
      const std::uint64_t* v = here + (i - ls[s - 1]) * len;
      const Index* f = fs + (i - ls[s - 1]) * s;
      for (std::size_t q = 0; q < s; ++q) {
        std::uint64_t* dst = below + (f[q] - ls[s - 2]) * (len + 1) + 1;
        for (std::size_t j = 0; j < len; ++j) dst[j] += v[j];
      }
      poll.tick(static_cast<std::uint32_t>(s * len));
    }
    std::vector<std::uint64_t>().swap(cnt[s]);
    std::vector<Index>().swap(facets[s]);
  }
  return w;
}

}  // namespace vexa::graph
