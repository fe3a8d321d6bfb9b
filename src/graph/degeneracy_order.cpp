// A degeneracy order: every node has at most d neighbours later in the
// order, d being the graph's degeneracy (the largest k for which the graph
// has a k-core, a subgraph of minimum degree k).
//
// Method: peel off a node of least remaining degree, over and over (the
// smallest-last order of Matula and Beck 1983), with the remaining degrees
// counted no lower than the level reached so far, so that the nodes leave in
// order of their core numbers (Batagelj and Zaversnik 2003): a node then has
// at most its core number of later neighbours.  The nodes sit in one array
// sorted by remaining degree, with the start of each degree's bucket; taking
// a node lowers each later neighbour above the level by swapping it to the
// front of its bucket and moving the bucket's start past it.  Cost: O(n + m)
// for n nodes and m list entries.
#include "degeneracy_order.hpp"

#include <algorithm>

namespace vexa::graph {

std::vector<Index> degeneracy_order(const SimpleGraph& g, std::vector<Index>& rank, InterruptPoll& poll) {
  const std::size_t n = g.n;
  std::vector<Index> deg(n);
  std::size_t maxdeg = 0;
  for (std::size_t v = 0; v < n; ++v) {
    deg[v] = static_cast<Index>(g.degree(v));
    maxdeg = std::max<std::size_t>(maxdeg, deg[v]);
  }
  std::vector<std::size_t> bin(maxdeg + 2, 0);
  for (std::size_t v = 0; v < n; ++v) ++bin[deg[v] + 1];
  for (std::size_t d = 0; d <= maxdeg; ++d) bin[d + 1] += bin[d];
  std::vector<Index> order(n);
  rank.assign(n, 0);
  for (std::size_t v = 0; v < n; ++v) {
    rank[v] = static_cast<Index>(bin[deg[v]]++);
    order[rank[v]] = static_cast<Index>(v);
  }
  // bin[d] now holds the end of bucket d; shift so it holds the start.
  for (std::size_t d = maxdeg + 1; d > 0; --d) bin[d] = bin[d - 1];
  bin[0] = 0;

  for (std::size_t i = 0; i < n; ++i) {
    const Index v = order[i];
    for (Index u : g[v]) {
      // deg[v] is the level: a neighbour at it keeps its count there.
      if (deg[u] > deg[v]) {
        // Move u to the front of its bucket, then shrink that bucket by one.
        const Index du = deg[u];
        const std::size_t pu = rank[u];
        const std::size_t pw = bin[du];
        const Index w = order[pw];
        if (u != w) {
          order[pu] = w;
          rank[w] = static_cast<Index>(pu);
          order[pw] = u;
          rank[u] = static_cast<Index>(pw);
        }
        ++bin[du];
        --deg[u];
      }
    }
    poll.tick(tick_cost(g.degree(v)));
  }
  return order;
}

}  // namespace vexa::graph
