// The step of the seed walk's weights that crosses seeds: b_0 = b_1 minus
// b_1 of every clique that is the clique with one node put in front
// (seed_walk.cpp holds the b_l).
//
// The tail of a clique (the clique without its seed) is a child of its
// parent's tail, so the tails of one parent's children are found together
// among the children of one clique: by marking where each of those ends, or
// by a galloping search (Bentley and Yao 1976) when the parent has far fewer
// children than its tail.  Level by level from the bottom, so that every
// weight read still holds b_1.  Cost: O(1) per clique with a seed and at
// least one node more, plus the galloping searches' logarithms; memory: the
// tails of two consecutive levels and one entry per node.
#include <vector>

#include "prefetch.hpp"
#include "seed_tree.hpp"
#include "sorted.hpp"
#include "tree_weights.hpp"

namespace vexa::graph::seed {

bool subtract_tails(SeedTree& tree, std::size_t n, InterruptPoll& poll) {
  const std::vector<std::size_t>& start = tree.level_start;
  const std::size_t levels = start.size() - 1;
  if (levels < 2) return true;
  Weight* const w = tree.w;
  const Index* const last = tree.last.data();
  const Index* const fc = tree.first_child.data();
  RawArray<Index> prev, cur;  // every entry is stored before it is read
  std::vector<Index> where(n, 0);
  prev.resize(start[2] - start[1]);
  for_chunks(poll, start[2] - start[1], [&](std::size_t lo, std::size_t hi) {
    for (std::size_t i = lo; i < hi; ++i) {
      const std::size_t g = start[1] + i;
      const Index t = last[g];  // [v, x] without v is [x], at place x
      prev[i] = t;
      w[t] = wrap_sub(w[t], w[g]);
    }
  });
  for (std::size_t k = 2; k < levels; ++k) {
    cur.resize(start[k + 1] - start[k]);
    const std::size_t lo = start[k - 1], hi = start[k];
    // The children of this level are [fc[lo], fc[hi]); the cliques
    // without children are passed over in a loop of their own.
    const std::size_t end = fc[hi];
    std::size_t p = lo;
    for (std::size_t b = fc[lo]; b < end; ++p) {
      while (fc[p + 1] == b) ++p;
      const std::size_t e = fc[p + 1];
      // The tails sit anywhere in the list: fetch the first-child entry
      // of a tail a few parents ahead, and the children of a nearer one.
      // Only parents with children look ahead (most cliques of a sparse
      // graph have none, and skipping them is then the whole loop).
      if (p + 16 < hi) prefetch(fc + prev[p + 16 - lo]);
      if (p + 8 < hi) {
        const Index ahead = fc[prev[p + 8 - lo]];
        prefetch(last + ahead);
        prefetch(w + ahead);
      }
      const Index t = prev[p - lo];
      Index* tails = cur.data() + (b - start[k]);
      const std::size_t tb = fc[t], te = fc[t + 1];
      if (gallop_pays(te - tb, e - b)) {
        if (!locate_children(last, tb, te, last + b, e - b, tails)) return false;
      } else {
        // Mark where each child of t ends, then read the keys off; a stale
        // or missing mark fails the check below.
        for (std::size_t c = tb; c < te; ++c) where[last[c]] = static_cast<Index>(c);
        for (std::size_t i = 0; i < e - b; ++i) {
          const Index c = where[last[b + i]];
          if (c < tb || c >= te || last[c] != last[b + i]) return false;
          tails[i] = c;
        }
      }
      for (std::size_t i = 0; i < e - b; ++i) w[tails[i]] = wrap_sub(w[tails[i]], w[b + i]);
      poll.tick(static_cast<std::uint32_t>(e - b));
      b = e;
    }
    prev.swap(cur);
  }
  return true;
}

}  // namespace vexa::graph::seed
