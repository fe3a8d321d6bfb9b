// Node and edge cliques with edge-only weights: every node i is the clique
// [i] with weight 1 - len(adj[i]); every entry j > i of adj[i] is the clique
// [i, j] with weight 1, in list order.  The lists are used as given:
// repeats, self-loops, asymmetric lists and entries >= n are never checked
// and never fail.  One pass over the lists to count, one to build: the frame
// writes the result objects straight from these two helpers.
#pragma once

#include "interrupt.hpp"
#include "types.hpp"

namespace vexa::graph {

// The weight of the node clique [i]: 1 - len(adj[i]), wrapping.
inline Weight edgeonly_node_weight(const NeighbourLists& adj, std::size_t i) noexcept {
  return wrap_sub(1, static_cast<Weight>(adj.length(i)));
}

// Calls edge(i, j) for every entry j > i of adj[i], by i ascending and then
// in list order.  Every edge clique has weight 1.
template <class Edge>
void for_each_edge_clique(const NeighbourLists& adj, Edge&& edge) {
  InterruptPoll poll;
  for (std::size_t i = 0; i < adj.size(); ++i) {
    for (Node j : adj[i])
      if (j > i) edge(static_cast<Node>(i), j);
    poll.tick(static_cast<std::uint32_t>(adj.length(i) | 1));
  }
}

// The number of edge cliques for_each_edge_clique() yields.
inline std::size_t count_edge_cliques(const NeighbourLists& adj) {
  std::size_t edges = 0;
  for_each_edge_clique(adj, [&](Node, Node) { ++edges; });
  return edges;
}

}  // namespace vexa::graph
