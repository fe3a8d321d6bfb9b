#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "graph/weights_from_maximal.hpp"
#include "weighted_result.hpp"

using namespace vexa::graph;
using namespace vexa::graph::test_support;
using detail::WeightMethod;

namespace {

Result run(const Lists& maxcliques, std::uint64_t maxrank, WeightMethod method = WeightMethod::automatic) {
  return result_of(detail::weights_from_maximal(make_lists(maxcliques), maxrank, method));
}

// The closed rule, straight from its statement: the family is every
// non-empty subset of every top clique; weights are settled from the largest
// down by summing over all strict supersets in the family.
Result closed_rule(const Lists& maxcliques, std::uint64_t maxrank) {
  std::set<std::vector<Node>> tops;
  for (const auto& m : maxcliques) {
    if (m.size() <= maxrank) {
      tops.insert(m);
      continue;
    }
    const std::size_t k = maxrank;
    for (std::uint64_t s = 0; s < (1ull << m.size()); ++s) {
      if (static_cast<std::size_t>(__builtin_popcountll(s)) != k) continue;
      std::vector<Node> t;
      for (std::size_t i = 0; i < m.size(); ++i)
        if (s >> i & 1) t.push_back(m[i]);
      tops.insert(t);
    }
  }
  std::set<std::vector<Node>> family;
  for (const auto& t : tops) {
    if (t.empty()) family.insert(t);
    for (std::uint64_t s = 1; s < (1ull << t.size()); ++s) {
      std::vector<Node> sub;
      for (std::size_t i = 0; i < t.size(); ++i)
        if (s >> i & 1) sub.push_back(t[i]);
      family.insert(sub);
    }
  }
  return weigh_from_supersets(Lists(family.begin(), family.end()));
}

struct Case {
  const char* name;
  Lists maxcliques;
  std::uint64_t maxrank;
  Lists cliques;
  WeightList weights;
};

}  // namespace

TEST(WeightsFromMaximal, KnownDecompositions) {
  const std::vector<Case> cases = {
      {"nothing", {}, 3, {}, {}},
      {"nothing, rank 0", {}, 0, {}, {}},
      {"rank 0", {{0, 1}, {2}}, 0, {{}}, {1}},
      {"isolated node", {{0}}, 1, {{0}}, {1}},
      {"isolated node, larger rank", {{0}}, 5, {{0}}, {1}},
      {"edge and node", {{0, 1}, {2}}, 2, {{0, 1}, {2}}, {1, 1}},
      {"edge and node, rank 1", {{0, 1}, {2}}, 1, {{0}, {1}, {2}}, {1, 1, 1}},
      {"path", {{0, 1}, {1, 2}}, 2, {{0, 1}, {1, 2}, {1}}, {1, 1, -1}},
      {"path, rank 1", {{0, 1}, {1, 2}}, 1, {{0}, {1}, {2}}, {1, 1, 1}},
      {"star", {{0, 1}, {0, 2}, {0, 3}}, 2, {{0, 1}, {0, 2}, {0, 3}, {0}}, {1, 1, 1, -2}},
      {"4-cycle", {{0, 1}, {0, 3}, {1, 2}, {2, 3}}, 9,
       {{0, 1}, {0, 3}, {1, 2}, {2, 3}, {0}, {1}, {2}, {3}}, {1, 1, 1, 1, -1, -1, -1, -1}},
      {"triangle", {{0, 1, 2}}, 3, {{0, 1, 2}}, {1}},
      {"triangle, rank 2", {{0, 1, 2}}, 2, {{0, 1}, {0, 2}, {1, 2}, {0}, {1}, {2}}, {1, 1, 1, -1, -1, -1}},
      {"two triangles", {{1, 2, 3}, {0, 1, 2}}, 3, {{0, 1, 2}, {1, 2, 3}, {1, 2}}, {1, 1, -1}},
      {"two triangles, rank 2", {{0, 1, 2}, {1, 2, 3}}, 2,
       {{0, 1}, {0, 2}, {1, 2}, {1, 3}, {2, 3}, {0}, {1}, {2}, {3}}, {1, 1, 1, 1, 1, -1, -2, -2, -1}},
      {"K4, rank 3", {{0, 1, 2, 3}}, 3,
       {{0, 1, 2}, {0, 1, 3}, {0, 2, 3}, {1, 2, 3}, {0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}, {0}, {1}, {2}, {3}},
       {1, 1, 1, 1, -1, -1, -1, -1, -1, -1, 1, 1, 1, 1}},
      {"K4, rank 2", {{0, 1, 2, 3}}, 2,
       {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}, {0}, {1}, {2}, {3}}, {1, 1, 1, 1, 1, 1, -2, -2, -2, -2}},
      {"K4 shortcut", {{0, 1, 2, 3}}, 4, {{0, 1, 2, 3}}, {1}},
      {"triangle strip", {{2, 3, 4}, {0, 1, 2}, {1, 2, 3}}, 3,
       {{0, 1, 2}, {1, 2, 3}, {2, 3, 4}, {1, 2}, {2, 3}}, {1, 1, 1, -1, -1}},
      {"two K4 sharing a triangle", {{0, 1, 2, 3}, {0, 1, 2, 4}}, 4,
       {{0, 1, 2, 3}, {0, 1, 2, 4}, {0, 1, 2}}, {1, 1, -1}},
      {"two K4 sharing a triangle, rank 3", {{0, 1, 2, 3}, {0, 1, 2, 4}}, 3,
       {{0, 1, 2}, {0, 1, 3}, {0, 1, 4}, {0, 2, 3}, {0, 2, 4}, {1, 2, 3}, {1, 2, 4},
        {0, 1}, {0, 2}, {0, 3}, {0, 4}, {1, 2}, {1, 3}, {1, 4}, {2, 3}, {2, 4},
        {0}, {1}, {2}, {3}, {4}},
       {1, 1, 1, 1, 1, 1, 1, -2, -2, -1, -1, -2, -1, -1, -1, -1, 2, 2, 2, 1, 1}},
      // Odd input: repeats count once, a contained clique has weight 0, an
      // empty clique is the empty top clique.
      {"listed twice", {{0, 1}, {1, 2}, {0, 1}}, 2, {{0, 1}, {1, 2}, {1}}, {1, 1, -1}},
      {"contained clique", {{0, 1}, {0, 1, 2}}, 3, {{0, 1, 2}}, {1}},
      {"empty clique", {{0, 1}, {}}, 5, {{0, 1}, {}}, {1, 1}},
      {"large node numbers", {{5, ~Node{0}}, {~Node{0}}}, 2, {{5, ~Node{0}}}, {1}},
      {"large node numbers, rank 1", {{5, ~Node{0}}, {~Node{0}}}, 1, {{5}, {~Node{0}}}, {1, 1}},
      {"empty clique, rank 1", {{2, 3}, {}, {0, 3}}, 1, {{0}, {2}, {3}, {}}, {1, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    const Result want{c.cliques, c.weights};
    EXPECT_EQ(run(c.maxcliques, c.maxrank), want) << c.name;
    EXPECT_EQ(run(c.maxcliques, c.maxrank, WeightMethod::expand), want) << c.name << " (expand)";
    EXPECT_EQ(run(c.maxcliques, c.maxrank, WeightMethod::star), want) << c.name << " (star)";
  }
}

TEST(WeightsFromMaximal, SequencesAreTakenAsWritten) {
  // Not the ascending form: each sequence is its own key, sub-cliques keep
  // the written order, and both methods treat it the same way.
  const Result want{{{0, 2}, {2, 0}, {0}, {2}}, {1, 1, -1, -1}};
  EXPECT_EQ(run({{2, 0}, {0, 2}}, 2), want);
  EXPECT_EQ(run({{2, 0}, {0, 2}}, 2, WeightMethod::star), want);
}

TEST(WeightsFromMaximal, RandomFamiliesFollowTheClosedRule) {
  std::mt19937_64 rng(2024);
  for (int round = 0; round < 300; ++round) {
    const std::size_t universe = 3 + rng() % 9;
    const std::size_t count = 1 + rng() % 7;
    Lists family;
    for (std::size_t c = 0; c < count; ++c) {
      std::vector<Node> m;
      for (Node v = 0; v < universe; ++v)
        if (rng() % 100 < 45) m.push_back(v * 3 + 1);
      if (m.empty()) m.push_back(rng() % universe);
      family.push_back(m);
    }
    const std::uint64_t maxrank = 1 + rng() % 7;
    const Result want = closed_rule(family, maxrank);
    ASSERT_EQ(run(family, maxrank, WeightMethod::expand), want) << "round " << round;
    ASSERT_EQ(run(family, maxrank, WeightMethod::star), want) << "round " << round;
    std::shuffle(family.begin(), family.end(), rng);
    ASSERT_EQ(run(family, maxrank), want) << "round " << round << " shuffled";
  }
}

TEST(WeightsFromMaximal, HubsAndLargeOverlaps) {
  // Node 0 lies in 70 edges, so its weight is 1 - 70; two 20-node cliques
  // sharing 19 nodes have a million sub-cliques, of which the methods must
  // keep the same three.
  Lists family;
  for (Node v = 1; v <= 70; ++v) family.push_back({0, v});
  Result got = run(family, 2);
  ASSERT_EQ(got.cliques.back(), (std::vector<Node>{0}));
  EXPECT_EQ(got.weights.back(), -69);
  Lists big;
  std::vector<Node> a, b;
  for (Node v = 0; v < 20; ++v) a.push_back(v);
  for (Node v = 1; v < 21; ++v) b.push_back(v);
  big = {a, b};
  const Result r = run(big, 20, WeightMethod::star);
  EXPECT_EQ(r.weights, (WeightList{1, 1, -1}));
  EXPECT_EQ(run(big, 20, WeightMethod::expand), r);
}

TEST(WeightsFromMaximal, CrowdedStarsAgreeWithExpansion) {
  std::mt19937_64 rng(99);
  // Node 0 in 70 cliques over 100 nodes: more shared nodes around it than a
  // 64-bit mask holds.
  Lists wide;
  for (int c = 0; c < 70; ++c) {
    std::set<Node> m{0};
    while (m.size() < 5) m.insert(1 + rng() % 100);
    wide.emplace_back(m.begin(), m.end());
  }
  EXPECT_EQ(run(wide, 64, WeightMethod::star), closed_rule(wide, 64));
  // Node 0 with every 6-node subset of 1 .. 14: the intersections around
  // node 0 (every smaller subset) are too many to weigh pairwise.
  Lists dense;
  std::vector<bool> pick(14, false);
  std::fill(pick.begin(), pick.begin() + 6, true);
  do {
    std::vector<Node> m{0};
    for (Node v = 0; v < 14; ++v)
      if (pick[v]) m.push_back(v + 1);
    dense.push_back(m);
  } while (std::prev_permutation(pick.begin(), pick.end()));
  std::shuffle(dense.begin(), dense.end(), rng);
  const Result expanded = run(dense, 64, WeightMethod::expand);
  EXPECT_EQ(run(dense, 64, WeightMethod::star), expanded);
  EXPECT_EQ(run(dense, 5, WeightMethod::star), run(dense, 5, WeightMethod::expand));
}

TEST(WeightsFromMaximal, LargeOverlappingCliques) {
  // Two 100-node cliques sharing 70 nodes: far too many sub-cliques to walk,
  // but the shared nodes are twins and fold into one mask bit.
  std::vector<Node> a, b;
  for (Node v = 0; v < 100; ++v) a.push_back(v);
  for (Node v = 30; v < 130; ++v) b.push_back(v);
  std::vector<Node> both(b.begin(), b.begin() + 70);
  const Result want{{a, b, both}, {1, 1, -1}};
  EXPECT_EQ(run({b, a}, 100), want);
  EXPECT_EQ(run({b, a}, 1000, WeightMethod::star), want);
}
