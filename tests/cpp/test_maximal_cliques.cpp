#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "graph/maximal_cliques.hpp"
#include "weighted_result.hpp"

using namespace vexa::graph;
using test_support::Lists;
using test_support::make_lists;

namespace {

Lists sorted_cliques(const NeighbourLists& adj) {
  Lists out = enumerate_maximal_cliques(adj).to_vectors();
  std::sort(out.begin(), out.end());
  return out;
}

// Maximal cliques by brute force over all node subsets of the graph in which
// v-w is an edge when either list names the other (v != w, both < n).
Lists brute_force(const Lists& lists) {
  const std::size_t n = lists.size();
  std::vector<std::uint32_t> nb(n, 0);
  for (std::size_t v = 0; v < n; ++v)
    for (Node w : lists[v])
      if (w < n && w != v) {
        nb[v] |= 1u << w;
        nb[w] |= 1u << v;
      }
  auto is_clique = [&](std::uint32_t s) {
    for (std::size_t v = 0; v < n; ++v)
      if ((s >> v & 1) && (s & ~nb[v] & ~(1u << v))) return false;
    return true;
  };
  Lists out;
  for (std::uint32_t s = 1; s < (1u << n); ++s) {
    if (!is_clique(s)) continue;
    bool maximal = true;
    for (std::size_t v = 0; v < n && maximal; ++v)
      if (!(s >> v & 1) && is_clique(s | 1u << v)) maximal = false;
    if (!maximal) continue;
    std::vector<Node> c;
    for (std::size_t v = 0; v < n; ++v)
      if (s >> v & 1) c.push_back(v);
    out.push_back(c);
  }
  std::sort(out.begin(), out.end());
  return out;
}

struct Case {
  const char* name;
  Lists adj;
  Lists cliques;
};

}  // namespace

TEST(MaximalCliques, SmallGraphs) {
  const std::vector<Case> cases = {
      {"triangle", {{1, 2}, {0, 2}, {0, 1}}, {{0, 1, 2}}},
      {"path", {{1}, {0, 2}, {1}}, {{0, 1}, {1, 2}}},
      {"4-cycle", {{1, 3}, {0, 2}, {1, 3}, {0, 2}}, {{0, 1}, {0, 3}, {1, 2}, {2, 3}}},
      {"K4", {{1, 2, 3}, {0, 2, 3}, {0, 1, 3}, {0, 1, 2}}, {{0, 1, 2, 3}}},
      {"bowtie", {{1, 2}, {0, 2}, {0, 1, 3, 4}, {2, 4}, {2, 3}}, {{0, 1, 2}, {2, 3, 4}}},
      {"K4 minus an edge", {{1, 2}, {0, 2, 3}, {0, 1, 3}, {1, 2}}, {{0, 1, 2}, {1, 2, 3}}},
      {"isolated node", {{}}, {{0}}},
      {"two isolated nodes", {{}, {}}, {{0}, {1}}},
      {"no nodes", {}, {}},
      // A node is never its own neighbour.
      {"self-loop alone", {{0}}, {{0}}},
      {"triangle with a self-loop", {{0, 1, 2}, {0, 2}, {0, 1}}, {{0, 1, 2}}},
      {"path with a looped middle", {{1}, {0, 1, 2}, {1}}, {{0, 1}, {1, 2}}},
      {"every node looped", {{0, 1}, {0, 1}, {2}}, {{0, 1}, {2}}},
      // Repeats and numbers beyond the last list change nothing.
      {"out of range", {{1, 7}, {0, 9}, {}}, {{0, 1}, {2}}},
      {"largest numbers", {{~Node{0}, 1}, {0, ~Node{0} - 1}}, {{0, 1}}},
      {"repeats", {{1, 1, 2}, {0, 2, 2}, {0, 1}}, {{0, 1, 2}}},
      {"unsorted lists", {{2, 1}, {2, 0}, {1, 0}}, {{0, 1, 2}}},
      // An edge named by one end only is an edge.
      {"one-way edge", {{1}, {}}, {{0, 1}}},
      {"one-way triangle", {{1, 2}, {2}, {}}, {{0, 1, 2}}},
  };
  for (const Case& c : cases) EXPECT_EQ(sorted_cliques(make_lists(c.adj)), c.cliques) << c.name;
}

TEST(MaximalCliques, EntriesAreAscendingAndOrderIsStable) {
  const NeighbourLists adj = make_lists({{3, 1, 2}, {2, 0, 3}, {1, 0, 3}, {2, 1, 0}, {}});
  const Lists first = enumerate_maximal_cliques(adj).to_vectors();
  EXPECT_EQ(enumerate_maximal_cliques(adj).to_vectors(), first);
  for (const auto& c : first) EXPECT_TRUE(std::is_sorted(c.begin(), c.end()));
}

TEST(MaximalCliques, RandomGraphsMatchBruteForce) {
  std::mt19937_64 rng(12345);
  for (int round = 0; round < 400; ++round) {
    const std::size_t n = 1 + rng() % 14;
    const double p = std::uniform_real_distribution<double>(0.05, 0.95)(rng);
    const bool symmetric = round % 2 == 0;
    Lists lists(n);
    for (std::size_t v = 0; v < n; ++v) {
      for (std::size_t w = symmetric ? v + 1 : 0; w < n; ++w) {
        if (w == v || std::bernoulli_distribution(p)(rng) == false) continue;
        lists[v].push_back(w);
        if (symmetric) lists[w].push_back(v);
      }
    }
    if (!symmetric) {
      // Junk that must not matter: loops, repeats, numbers >= n, shuffles.
      for (auto& l : lists) {
        if (rng() % 3 == 0) l.push_back(l.empty() ? n + 3 : l.front());
        if (rng() % 4 == 0) l.push_back(&l - lists.data());
        if (rng() % 5 == 0) l.push_back(n + rng() % 100);
        std::shuffle(l.begin(), l.end(), rng);
      }
    }
    const NeighbourLists adj = make_lists(lists);
    const CliqueList got = enumerate_maximal_cliques(adj);
    Lists cliques = got.to_vectors();
    std::sort(cliques.begin(), cliques.end());
    ASSERT_EQ(cliques, brute_force(lists)) << "round " << round;
    EXPECT_EQ(enumerate_maximal_cliques(adj).to_vectors(), got.to_vectors());
  }
}

TEST(MaximalCliques, HubsAndLargeCliques) {
  // A star with a long list at the centre, a K40 (more than 64 candidates
  // after the first node would need several bit-row words) and a K70 that
  // shares one node with the K40.
  Lists lists(300);
  auto edge = [&](std::size_t a, std::size_t b) {
    lists[a].push_back(b);
    lists[b].push_back(a);
  };
  for (std::size_t v = 1; v < 150; ++v) edge(0, v);
  for (std::size_t a = 150; a < 190; ++a)
    for (std::size_t b = a + 1; b < 190; ++b) edge(a, b);
  for (std::size_t a = 189; a < 259; ++a)
    for (std::size_t b = a + 1; b < 259; ++b) edge(a, b);
  Lists want;
  for (Node v = 1; v < 150; ++v) want.push_back({0, v});
  std::vector<Node> k40, k70;
  for (Node v = 150; v < 190; ++v) k40.push_back(v);
  for (Node v = 189; v < 259; ++v) k70.push_back(v);
  want.push_back(k40);
  want.push_back(k70);
  for (Node v = 259; v < 300; ++v) want.push_back({v});
  std::sort(want.begin(), want.end());
  EXPECT_EQ(sorted_cliques(make_lists(lists)), want);
}
