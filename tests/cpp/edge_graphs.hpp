// Small graphs for the walk's tests, built from edge lists: planted cliques
// and random edges, turned into upper lists.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "graph/types.hpp"

namespace vexa::graph::test_support {

using Edges = std::vector<std::pair<Node, Node>>;

// The upper lists of the graph on n nodes with these edges (self-loops and
// repeats dropped).
inline std::vector<std::vector<Node>> upper_of(std::size_t n, const Edges& edges) {
  std::vector<std::set<Node>> up(n);
  for (auto [a, b] : edges)
    if (a != b) up[std::min(a, b)].insert(std::max(a, b));
  std::vector<std::vector<Node>> lists(n);
  for (std::size_t v = 0; v < n; ++v) lists[v].assign(up[v].begin(), up[v].end());
  return lists;
}

// Every pair of the members joined.
inline void add_clique(Edges& edges, const std::vector<Node>& members) {
  for (std::size_t i = 0; i < members.size(); ++i)
    for (std::size_t j = i + 1; j < members.size(); ++j) edges.emplace_back(members[i], members[j]);
}

// Each pair a < b of nodes in [from, to) joined with probability p.
inline void add_random_edges(Edges& edges, std::uint64_t seed, Node from, Node to, double p) {
  std::mt19937_64 rng(seed);
  std::bernoulli_distribution edge(p);
  for (Node a = from; a < to; ++a)
    for (Node b = a + 1; b < to; ++b)
      if (edge(rng)) edges.emplace_back(a, b);
}

}  // namespace vexa::graph::test_support
