#include "edgeonly.hpp"

namespace vexa::graph {

std::size_t count_edge_cliques(const NeighbourLists& adj) {
  std::size_t edges = 0;
  for_each_edge_clique(adj, [&](Node, Node) { ++edges; });
  return edges;
}

WeightedCliques enumerate_cliques_edgeonly(const NeighbourLists& adj) {
  const std::size_t n = adj.size();
  const std::size_t edges = count_edge_cliques(adj);
  WeightedCliques out;
  out.cliques.reserve(n + edges, n + 2 * edges);
  out.weights.reserve(n + edges);
  for (std::size_t i = 0; i < n; ++i) {
    out.cliques.push_node(i);
    out.cliques.close_seq();
    out.weights.push_back(edgeonly_node_weight(adj, i));
  }
  for_each_edge_clique(adj, [&](Node i, Node j) {
    out.cliques.push_node(i);
    out.cliques.push_node(j);
    out.cliques.close_seq();
    out.weights.push_back(1);
  });
  return out;
}

}  // namespace vexa::graph
