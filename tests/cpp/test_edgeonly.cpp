#include <gtest/gtest.h>

#include "graph/edgeonly.hpp"

using namespace vexa::graph;
using Lists = std::vector<std::vector<Node>>;

namespace {

// The result as the frame assembles it from the two helpers.
WeightedCliques enumerate_cliques_edgeonly(const NeighbourLists& adj) {
  const std::size_t n = adj.size();
  const std::size_t edges = count_edge_cliques(adj);
  WeightedCliques out;
  out.cliques.reserve(n + edges, n + 2 * edges);
  for (std::size_t i = 0; i < n; ++i) {
    out.cliques.push_back({static_cast<Node>(i)});
    out.weights.push_back(edgeonly_node_weight(adj, i));
  }
  for_each_edge_clique(adj, [&](Node i, Node j) {
    out.cliques.push_back({i, j});
    out.weights.push_back(1);
  });
  return out;
}

struct Case {
  NeighbourLists adj;
  Lists cliques;
  WeightList weights;
};

void expect(const Case& c) {
  WeightedCliques r = enumerate_cliques_edgeonly(c.adj);
  EXPECT_EQ(r.cliques.to_vectors(), c.cliques);
  EXPECT_EQ(r.weights, c.weights);
}

}  // namespace

TEST(Edgeonly, EmptyAndSingle) {
  expect({{}, {}, {}});
  expect({{{}}, {{0}}, {1}});
}

TEST(Edgeonly, SymmetricGraphs) {
  expect({{{1, 2}, {0, 2}, {0, 1}}, {{0}, {1}, {2}, {0, 1}, {0, 2}, {1, 2}}, {-1, -1, -1, 1, 1, 1}});
  expect({{{1}, {0, 2}, {1}}, {{0}, {1}, {2}, {0, 1}, {1, 2}}, {0, -1, 0, 1, 1}});
}

TEST(Edgeonly, ListsAreTakenAsGiven) {
  // List order decides edge order.
  expect({{{2, 1}, {0}, {0}}, {{0}, {1}, {2}, {0, 2}, {0, 1}}, {-1, 0, 0, 1, 1}});
  // Repeats make repeated edges and count in the length.
  expect({{{1, 1}, {0}}, {{0}, {1}, {0, 1}, {0, 1}}, {-1, 0, 1, 1}});
  // Self-loops count in the length only.
  expect({{{0, 1}, {0}}, {{0}, {1}, {0, 1}}, {-1, 0, 1}});
  // Only the smaller node's list makes an edge.
  expect({{{}, {0}}, {{0}, {1}}, {1, 0}});
  expect({{{1}, {}}, {{0}, {1}, {0, 1}}, {0, 1, 1}});
  // Entries beyond the last list.
  expect({{{5}}, {{0}, {0, 5}}, {0, 1}});
  expect({{{~Node{0}}}, {{0}, {0, ~Node{0}}}, {0, 1}});
}

TEST(Edgeonly, WeightsSumToOnePerNode) {
  // K5, full symmetric lists.
  NeighbourLists adj;
  for (Node i = 0; i < 5; ++i) {
    for (Node j = 0; j < 5; ++j)
      if (j != i) adj.push_node(j);
    adj.close_seq();
  }
  WeightedCliques r = enumerate_cliques_edgeonly(adj);
  for (Node v = 0; v < 5; ++v) {
    Weight sum = 0;
    for (std::size_t i = 0; i < r.cliques.size(); ++i) {
      auto c = r.cliques[i];
      if (std::find(c.begin(), c.end(), v) != c.end()) sum += r.weights[i];
    }
    EXPECT_EQ(sum, 1) << "node " << v;
  }
}
