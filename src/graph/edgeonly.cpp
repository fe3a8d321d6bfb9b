#include "edgeonly.hpp"

#include "interrupt.hpp"

namespace vexa::graph {

WeightedCliques enumerate_cliques_edgeonly(const NeighbourLists& adj) {
  const std::size_t n = adj.size();
  InterruptPoll poll;

  // Count the edge cliques first so that both lists are allocated once.
  std::size_t edges = 0;
  for (std::size_t i = 0; i < n; ++i) {
    for (Node j : adj[i]) edges += j > i;
    poll.tick(static_cast<std::uint32_t>(adj.length(i) | 1));
  }

  WeightedCliques out;
  out.cliques.reserve(n + edges, n + 2 * edges);
  out.weights.reserve(n + edges);
  for (std::size_t i = 0; i < n; ++i) {
    out.cliques.push_node(i);
    out.cliques.close_seq();
    // 1 - len, wrapping like every other weight.
    out.weights.push_back(wrap_sub(1, static_cast<Weight>(adj.length(i))));
  }
  for (std::size_t i = 0; i < n; ++i) {
    for (Node j : adj[i]) {
      if (j <= i) continue;
      out.cliques.push_node(i);
      out.cliques.push_node(j);
      out.cliques.close_seq();
      out.weights.push_back(1);
    }
    poll.tick(static_cast<std::uint32_t>(adj.length(i) | 1));
  }
  return out;
}

}  // namespace vexa::graph
