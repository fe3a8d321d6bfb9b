// Making neighbour lists simple and symmetric.
//
// Each list is copied and checked in one pass (ascending, distinct, in
// range, no self-loop), and the lists together are checked for symmetry in
// one more pass; only lists that fail are sorted and cleaned, and only a
// graph that is not symmetric is merged with its reverse direction.  Cost,
// for n nodes and m entries: O(n + m) for lists that pass, O(n + m log m)
// otherwise.
#include "simple_graph.hpp"

#include <algorithm>
#include <iterator>

namespace vexa::graph {

// Every entry w < n, w != v of list v gives the edge v-w in both directions.
// Lists as the callers usually give them (ascending, symmetric, no loops) are
// only copied and checked; anything else is cleaned list by list and then
// merged with the reverse direction.
SimpleGraph symmetrize(const NeighbourLists& adj, InterruptPoll& poll) {
  const std::size_t n = adj.size();
  // The given direction: each list cleaned to ascending distinct w < n, w != v.
  SimpleGraph d;
  d.n = n;
  d.off.assign(n + 1, 0);
  d.nbr.resize(adj.total_nodes());
  std::size_t end = 0;
  for (std::size_t v = 0; v < n; ++v) {
    const auto list = adj[v];
    // Copied and checked in one branch-free pass: every entry below n, not
    // v, and above the one before (`next` is one past the previous entry).
    Index* out = d.nbr.data() + end;
    Node next = 0;
    bool clean = true;
    for (std::size_t i = 0; i < list.size(); ++i) {
      const Node w = list[i];
      clean &= (w < n) & (w != v) & (w >= next);
      next = w + 1;
      out[i] = static_cast<Index>(w);
    }
    std::size_t len = list.size();
    if (!clean) {
      len = 0;
      for (Node w : list)
        if (w < n && w != v) out[len++] = static_cast<Index>(w);
      std::sort(out, out + len);
      len = static_cast<std::size_t>(std::unique(out, out + len) - out);
    }
    end += len;
    d.off[v + 1] = end;
    poll.tick(tick_cost(list.size()));
  }
  d.nbr.resize(end);

  // Symmetric lists are the usual case: walking the nodes in ascending
  // order, the smaller entries of each list must be met in order, one per
  // list that names it.
  {
    std::vector<std::size_t> cursor(d.off.begin(), d.off.end() - 1);
    bool symmetric = true;
    for (std::size_t v = 0; v < n && symmetric; ++v) {
      for (Index w : d[v]) {
        if (w < v) continue;
        std::size_t& at = cursor[w];
        if (at == d.off[std::size_t{w} + 1] || d.nbr[at] != v) {
          symmetric = false;
          break;
        }
        ++at;
      }
      poll.tick(tick_cost(d.degree(v)));
    }
    for (std::size_t w = 0; w < n && symmetric; ++w)
      symmetric = cursor[w] == d.off[w + 1] || d.nbr[cursor[w]] > w;
    if (symmetric) return d;
  }

  // The reverse direction, ascending by construction.
  SimpleGraph t;
  t.n = n;
  t.off.assign(n + 1, 0);
  for (Index w : d.nbr) ++t.off[std::size_t{w} + 1];
  bool symmetric = true;
  for (std::size_t v = 0; v < n; ++v) {
    symmetric = symmetric && t.off[v + 1] == d.degree(v);
    t.off[v + 1] += t.off[v];
  }
  t.nbr.resize(t.off[n]);
  {
    std::vector<std::size_t> fill(t.off.begin(), t.off.end() - 1);
    for (std::size_t v = 0; v < n; ++v) {
      for (Index w : d[v]) t.nbr[fill[w]++] = static_cast<Index>(v);
      poll.tick(tick_cost(d.degree(v)));
    }
  }
  if (symmetric && t.nbr == d.nbr) return d;

  // Union of both directions, list by list.
  SimpleGraph g;
  g.n = n;
  g.off.assign(n + 1, 0);
  g.nbr.reserve(d.nbr.size() + t.nbr.size());
  for (std::size_t v = 0; v < n; ++v) {
    const auto x = d[v], y = t[v];
    std::set_union(x.begin(), x.end(), y.begin(), y.end(), std::back_inserter(g.nbr));
    g.off[v + 1] = g.nbr.size();
    poll.tick(tick_cost(x.size() + y.size()));
  }
  return g;
}

}  // namespace vexa::graph
