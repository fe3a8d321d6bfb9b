// The seed walk with a gate: what its count reports, and that going on
// after the count (at once, or after a count stopped at its cap) lists
// exactly what the plain walk lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <set>
#include <string>

#include "graph/seed_cliques.hpp"
#include "graph/upper_form.hpp"
#include "weighted_result.hpp"

using namespace vexa::graph;
using namespace vexa::graph::test_support;

namespace {

// Upper form of a random graph with a few planted cliques.
NeighbourLists planted(std::uint64_t seed, std::size_t n, double p, std::size_t cliques, std::size_t size) {
  std::mt19937_64 rng(seed);
  std::vector<std::set<Node>> up(n);
  std::uniform_real_distribution<double> u(0, 1);
  for (std::size_t a = 0; a < n; ++a)
    for (std::size_t b = a + 1; b < n; ++b)
      if (u(rng) < p) up[a].insert(b);
  std::vector<Node> order(n);
  for (std::size_t v = 0; v < n; ++v) order[v] = v;
  for (std::size_t c = 0; c < cliques; ++c) {
    std::shuffle(order.begin(), order.end(), rng);
    std::vector<Node> members(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(std::min(size, n)));
    std::sort(members.begin(), members.end());
    for (std::size_t i = 0; i < members.size(); ++i)
      for (std::size_t j = i + 1; j < members.size(); ++j) up[members[i]].insert(members[j]);
  }
  Lists lists(n);
  for (std::size_t v = 0; v < n; ++v) lists[v].assign(up[v].begin(), up[v].end());
  return make_lists(lists);
}

// The count's figures, from the plain walk's full list.
SeedCount expected_count(const NeighbourLists& upper, std::uint64_t maxrank) {
  const WeightedCliques all = *enumerate_seed_cliques(upper, maxrank);
  SeedCount c;
  c.cliques = all.cliques.size();
  std::vector<std::uint64_t> tops(upper.size(), 0);
  for (std::size_t i = 0; i < all.cliques.size(); ++i) {
    c.largest = std::max<std::uint64_t>(c.largest, all.cliques.length(i));
    if (all.cliques.length(i) == maxrank) ++tops[static_cast<std::size_t>(all.cliques[i][0])];
  }
  for (std::uint64_t t : tops) c.seed_ends += std::max<std::uint64_t>(t, 1);
  return c;
}

struct GateCase {
  const char* name;
  std::uint64_t seed;
  std::size_t n;
  double p;
  std::size_t cliques, size;
};

const GateCase kCases[] = {
    {"sparse", 1, 300, 0.03, 0, 0},
    {"dense", 2, 40, 0.6, 0, 0},
    {"planted 12-cliques", 3, 120, 0.05, 4, 12},
    {"planted 70-clique (two mask words)", 4, 90, 0.02, 1, 70},
};

class WalkGate : public ::testing::TestWithParam<GateCase> {};

}  // namespace

TEST_P(WalkGate, CountsWhatThePlainWalkLists) {
  const GateCase& c = GetParam();
  const NeighbourLists upper = planted(c.seed, c.n, c.p, c.cliques, c.size);
  for (std::uint64_t k : {2, 3, 4, 6, 13}) {
    if (c.size >= 70 && k > 4) continue;  // 2^70 cliques
    const SeedCount want = expected_count(upper, k);
    const WeightedCliques plain = *enumerate_seed_cliques(upper, k, SeedOutput::nonzero_largest_first);
    for (bool go : {true, false}) {
      int asked = 0;
      SeedCount got;
      const SeedGate gate = [&](const SeedCount& count) {
        ++asked;
        got = count;
        return go;
      };
      const auto out = enumerate_seed_cliques(upper, k, SeedOutput::nonzero_largest_first, 0, gate);
      ASSERT_EQ(asked, 1) << k;
      EXPECT_TRUE(got.complete) << k;
      EXPECT_EQ(got.cliques, want.cliques) << k;
      EXPECT_EQ(got.largest, want.largest) << k;
      EXPECT_EQ(got.seed_ends, want.seed_ends) << k;
      ASSERT_EQ(out.has_value(), go) << k;
      if (go) {
        EXPECT_EQ(result_of(*out), result_of(plain)) << k;
      }
    }
  }
}

TEST_P(WalkGate, ACountStoppedAtItsCapIsTakenAgainWhenTheWalkGoesOn) {
  const GateCase& c = GetParam();
  const NeighbourLists upper = planted(c.seed, c.n, c.p, c.cliques, c.size);
  const std::uint64_t k = c.size >= 70 ? 4 : 6;
  const SeedCount want = expected_count(upper, k);
  const WeightedCliques plain = *enumerate_seed_cliques(upper, k, SeedOutput::nonzero_largest_first);
  // Caps below the count, one clique short of it, and at it.
  for (std::uint64_t cap : {std::uint64_t{1}, c.n / 2 + 1, want.cliques - 1, want.cliques}) {
    SeedCount got;
    const SeedGate gate = [&](const SeedCount& count) {
      got = count;
      return true;
    };
    const auto out = enumerate_seed_cliques(upper, k, SeedOutput::nonzero_largest_first, cap, gate);
    EXPECT_EQ(got.complete, cap >= want.cliques) << "cap " << cap;
    if (got.complete) {
      EXPECT_EQ(got.cliques, want.cliques) << "cap " << cap;
    } else {
      EXPECT_GT(got.cliques, cap) << "cap " << cap;
    }
    ASSERT_TRUE(out.has_value()) << "cap " << cap;
    EXPECT_EQ(result_of(*out), result_of(plain)) << "cap " << cap;
  }
}

INSTANTIATE_TEST_SUITE_P(Graphs, WalkGate, ::testing::ValuesIn(kCases),
                         [](const auto& test_info) {
                           std::string s = test_info.param.name;
                           for (char& ch : s)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return s;
                         });

TEST(WalkGate, ListsTheWalkCannotTakeAreNeverCounted) {
  // A list out of order: the walk declines before it counts.
  bool asked = false;
  const SeedGate gate = [&](const SeedCount&) {
    asked = true;
    return true;
  };
  EXPECT_FALSE(enumerate_seed_cliques(make_lists({{2, 1}, {2}, {}}), 3, SeedOutput::nonzero_largest_first, 0, gate));
  EXPECT_FALSE(asked);
}

TEST(WalkGate, AHugeSeedStopsAtTheCapWithoutListingItsLevels) {
  // K48: one seed alone has 2^47 cliques; the count must stop at the level
  // that passes the cap instead of making that level's candidates.
  Lists k48(48);
  for (Node v = 0; v < 48; ++v)
    for (Node w = v + 1; w < 48; ++w) k48[v].push_back(w);
  SeedCount got;
  const SeedGate gate = [&](const SeedCount& count) {
    got = count;
    return false;
  };
  EXPECT_FALSE(enumerate_seed_cliques(make_lists(k48), 0, SeedOutput::nonzero_largest_first, 100000, gate));
  EXPECT_FALSE(got.complete);
  EXPECT_GT(got.cliques, 100000u);
}
