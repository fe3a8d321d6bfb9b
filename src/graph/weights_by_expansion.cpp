// Weights by expansion: inclusion-exclusion (Moebius inversion over the
// subset order) computed directly from its definition.  Sizes are visited
// from the largest down; each entry's cover is complete when its size is
// reached, because only strictly larger cliques contribute to it.  An entry
// of non-zero weight w adds w to the cover of every proper non-empty
// sub-clique, entering the sub-clique in the table of its size if absent.
//
// Cost: one hash-table operation (O(k)) per proper sub-clique of every entry
// of non-zero weight, that is at most (2^k - 2) per such k-node entry.  It
// does not depend on how much the top cliques overlap, which makes it the
// method for many small overlapping cliques, and exponential in the size of
// the largest top clique, which rules it out for large ones.
#include "weights_by_expansion.hpp"

#include <vector>

#include "powerset.hpp"

namespace vexa::graph {

void weigh_by_expansion(Tables& tables, InterruptPoll& poll) {
  Subsequences subs;
  for (std::size_t k = tables.size(); k-- > 2;) {
    SizeTable& table = tables[k];
    for (std::size_t e = 0; e < table.size(); ++e) {
      const Weight w = wrap_sub(1, table.cover[e]);
      if (w == 0) continue;
      const auto q = table.key(e);
      for (std::size_t s = 1; s < k; ++s) {
        SizeTable& sub = tables[s];
        subs.each(q, s, [&](std::span<const Node> item) {
          const Index idx = sub.find_or_insert(item.data());
          sub.cover[idx] = wrap_add(sub.cover[idx], w);
          poll.tick();
        });
      }
    }
  }
}

}  // namespace vexa::graph
